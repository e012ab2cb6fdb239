// vidmill: converts one media file into an ASF (Windows Media) file.

#include "afx/win_app.h"
#include "app/convert_options.h"
#include "com/com_runtime.h"
#include "console/standard_output.h"
#include "convert/convert_file.h"
#include "text/tchar.h"

namespace {

// "致命的なエラー : MFC の初期化ができませんでした。\n", kept as its Shift-JIS (code page 932) bytes.
constexpr char kFatalInitMessage[] =
    "\x92\x76\x96\xbd\x93\x49\x82\xc8\x83\x47\x83\x89\x81\x5b\x20\x3a\x20\x4d\x46\x43\x20\x82\xcc\x8f\x89"
    "\x8a\xfa\x89\xbb\x82\xaa\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42\n";
constexpr UINT kShiftJisCodePage = 932;

}  // namespace

// The one application object.
CWinApp theApp;

int main(int argc, char* argv[], char* /*envp*/[]) {
  int nRetCode = 0;

  if (!AfxWinInit(::GetModuleHandle(NULL), NULL, ::GetCommandLine(), 0)) {
    PrintCodePageText(kShiftJisCodePage, kFatalInitMessage);
    return 1;
  }

  CConvertOptions options;
  options.ParseCommandLine(argc, argv);

  if (!options.m_strInFileName.IsEmpty()) {
    CoInitialize(NULL);
    nRetCode = ConvertFile(options.m_strInFileName, options.m_strOutFileName);
    CoUninitialize();
  } else {
    _tprintf(_T("USAGE : vidmill.exe [-i] <input avi file name> [-o <output wmv file name>]\n"));
    nRetCode = -1;
  }

  return nRetCode;
}
