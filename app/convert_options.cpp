#include "app/convert_options.h"

#include "text/tchar.h"

CConvertOptions::CConvertOptions() {}

BOOL CConvertOptions::ParseCommandLine(int argc, char* argv[]) {
  for (int i = 1; i < argc; i++) {
    const char* pszParam = argv[i];
    if (pszParam[0] == '-')
      ParseParam(pszParam + 1, true);
    else
      ParseParam(pszParam, false);
  }
  return TRUE;
}

void CConvertOptions::ParseParam(const char* pszParam, bool bFlag) {
  // The pending option, shared by every call for the life of the process.
  static CString s_strOption;

  if (bFlag) {
    s_strOption = pszParam;
    s_strOption.MakeLower();
    if (s_strOption == _T("d")) s_strOption = _T("");  // accepted, and has no effect
    return;
  }

  if (s_strOption.IsEmpty() || s_strOption == _T("i")) {
    m_strInFileName = pszParam;
    if (m_strOutFileName.IsEmpty()) m_strOutFileName = m_strInFileName + _T(".wmv");
  }
  if (s_strOption == _T("o")) m_strOutFileName = pszParam;
  s_strOption = _T("");  // an option applies to exactly one value
}
