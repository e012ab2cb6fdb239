// The application framework's application object and its console start-up.
#pragma once

#include "com/types.h"

class CWinApp {
 public:
  explicit CWinApp(LPCTSTR lpszAppName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  LPCTSTR m_pszAppName = nullptr;
  HINSTANCE m_hInstance = nullptr;
  LPTSTR m_lpCmdLine = nullptr;
  int m_nCmdShow = 0;
};

// The one application object of the process, or null before it is constructed.
CWinApp* AfxGetApp();

// Records the start-up values in the application object and takes the process locale from the
// environment. FALSE when the program's own executable or command line cannot be read.
BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);

// The program's own executable (null when it cannot be read), and its command line as one text
// (null when it cannot be read).
HINSTANCE GetModuleHandle(LPCTSTR lpModuleName);
LPTSTR GetCommandLine();
