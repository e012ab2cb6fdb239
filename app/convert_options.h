// The command line of one conversion: the input media file and the output file.
#pragma once

#include "afx/cstring.h"

class CConvertOptions {
 public:
  CConvertOptions();

  // Visits argv[1] .. argv[argc-1]; an argument that begins with a minus sign is an option.
  BOOL ParseCommandLine(int argc, char* argv[]);

  // One argument: an option's text after its minus sign (bFlag true), or a plain value.
  void ParseParam(const char* pszParam, bool bFlag);

  CString m_strInFileName;
  CString m_strOutFileName;
};
