#include "afx/win_app.h"

#include <unistd.h>

#include <clocale>
#include <fstream>
#include <iterator>
#include <string>

#include "afx/afx_testing.h"

// The module a handle stands for: the path of the running executable.
struct HINSTANCE__ {
  std::string path;
};

namespace {

CWinApp* g_app = nullptr;
bool g_failWinInit = false;

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  for (char c : arg) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

CWinApp::CWinApp(LPCTSTR lpszAppName) : m_pszAppName(lpszAppName) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

void AfxFailWinInitForTesting() { g_failWinInit = true; }

HINSTANCE GetModuleHandle(LPCTSTR lpModuleName) {
  if (lpModuleName != nullptr) return nullptr;  // only the program's own module is known
  static HINSTANCE__ self = [] {
    HINSTANCE__ module;
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n > 0 && static_cast<size_t>(n) < sizeof buffer) module.path.assign(buffer, static_cast<size_t>(n));
    return module;
  }();
  return self.path.empty() ? nullptr : &self;
}

LPTSTR GetCommandLine() {
  static std::string commandLine;
  static const bool read = [] {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    if (!in) return false;
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t start = 0;
    while (start < raw.size()) {
      size_t end = raw.find('\0', start);
      if (end == std::string::npos) end = raw.size();
      if (!commandLine.empty()) commandLine += ' ';
      commandLine += QuoteArgument(raw.substr(start, end - start));
      start = end + 1;
    }
    return true;
  }();
  return read ? commandLine.data() : nullptr;
}

BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPTSTR lpCmdLine, int nCmdShow) {
  std::setlocale(LC_ALL, "");
  if (g_failWinInit || hInstance == nullptr || lpCmdLine == nullptr) return FALSE;
  if (CWinApp* app = AfxGetApp()) {
    app->m_hInstance = hInstance;
    app->m_lpCmdLine = lpCmdLine;
    app->m_nCmdShow = nCmdShow;
  }
  return TRUE;
}
