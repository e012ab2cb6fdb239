#include "convert/convert_file.h"

#include "afx/cstring.h"
#include "com/com_runtime.h"
#include "console/console_input.h"
#include "console/screen_buffer.h"
#include "console/standard_output.h"
#include "convert/step_texts.h"
#include "media/media_interfaces.h"
#include "text/narrow_wide.h"
#include "text/tchar.h"

namespace {

// Runs a step; on failure, names it for the report and goes there.
#define JIF(call, text)        \
  if (FAILED(hr = (call))) {   \
    lpszFailedStep = _T(text); \
    goto failed;               \
  }

#define SAFE_RELEASE(p) \
  if (p) {              \
    (p)->Release();     \
    (p) = NULL;         \
  }

// Polls the running graph every 10 ms, rewriting the progress line at column 0 of the cursor's row,
// until the graph no longer answers E_ABORT or a key is pressed. Returns the wait's last status.
HRESULT ShowProgressUntilDone(IMediaEvent* pEvent, IMediaSeeking* pSeeking, REFERENCE_TIME rtDuration, LONG* pEvCode) {
  HANDLE hConsole = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO csbi;
  REFERENCE_TIME rtCurrent = 0;

  CString strDuration;
  const MediaTimeFields duration = FormatMediaTime(rtDuration);
  strDuration.Format(_T("%02d:%02d:%02d.%02d "), duration.nHours, duration.nMinutes, duration.nSeconds,
                     duration.nTicks);

  HRESULT hr = pEvent->WaitForCompletion(10, pEvCode);
  while (hr == E_ABORT) {
    pSeeking->GetCurrentPosition(&rtCurrent);

    GetConsoleScreenBufferInfo(hConsole, &csbi);
    COORD pos = {0, csbi.dwCursorPosition.Y};
    SetConsoleCursorPosition(hConsole, pos);

    const MediaTimeFields current = FormatMediaTime(rtCurrent);
    _tprintf(_T("%02d:%02d:%02d.%02d / %s"), current.nHours, current.nMinutes, current.nSeconds, current.nTicks,
             static_cast<LPCTSTR>(strDuration));

    if (_kbhit()) break;

    hr = pEvent->WaitForCompletion(10, pEvCode);
  }
  return hr;
}

}  // namespace

int ConvertFile(LPCTSTR lpszInFileName, LPCTSTR lpszOutFileName) {
  USES_CONVERSION;
  HRESULT hr = S_OK;
  LPCTSTR lpszFailedStep = NULL;
  int nResult = -1;

  IGraphBuilder* pGraph = NULL;
  ICaptureGraphBuilder2* pBuild = NULL;
  IBaseFilter* pSrc = NULL;
  IBaseFilter* pAsfWriter = NULL;
  IMediaFilter* pMediaFilter = NULL;
  IMediaSeeking* pSeeking = NULL;
  IMediaControl* pMediaControl = NULL;
  IMediaEvent* pEvent = NULL;

  REFERENCE_TIME rtDuration = 0;
  LONG evCode = 0;

  JIF(CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC, IID_IGraphBuilder, (void**)&pGraph), STEP_CREATE_GRAPH)
  JIF(CoCreateInstance(CLSID_CaptureGraphBuilder2, NULL, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                       (void**)&pBuild),
      STEP_CREATE_BUILDER)
  JIF(pBuild->SetFiltergraph(pGraph), STEP_SET_FILTERGRAPH)
  JIF(pGraph->AddSourceFilter(T2W(lpszInFileName), u"Source Filter", &pSrc), STEP_ADD_SOURCE_FILTER)
  JIF(pBuild->SetOutputFileName(&MEDIASUBTYPE_Asf, T2W(lpszOutFileName), &pAsfWriter, NULL), STEP_SET_OUTPUT_FILE_NAME)
  // One stream each time: the writer takes a video and an audio stream of the source.
  JIF(pBuild->RenderStream(NULL, NULL, pSrc, NULL, pAsfWriter), STEP_RENDER_STREAM)
  JIF(pBuild->RenderStream(NULL, NULL, pSrc, NULL, pAsfWriter), STEP_RENDER_STREAM)

  // With no reference clock the graph runs as fast as its filters allow.
  JIF(pGraph->QueryInterface(IID_IMediaFilter, (void**)&pMediaFilter), STEP_QUERY_MEDIA_FILTER)
  JIF(pMediaFilter->SetSyncSource(NULL), STEP_SET_SYNC_SOURCE)

  JIF(pGraph->QueryInterface(IID_IMediaSeeking, (void**)&pSeeking), STEP_QUERY_MEDIA_SEEKING)
  JIF(pSeeking->GetDuration(&rtDuration), STEP_GET_DURATION)

  JIF(pGraph->QueryInterface(IID_IMediaControl, (void**)&pMediaControl), STEP_QUERY_MEDIA_CONTROL)
  JIF(pGraph->QueryInterface(IID_IMediaEvent, (void**)&pEvent), STEP_QUERY_MEDIA_EVENT)

  JIF(pMediaControl->Run(), STEP_RUN)

  hr = ShowProgressUntilDone(pEvent, pSeeking, rtDuration, &evCode);
  if (FAILED(hr) && hr != E_ABORT) {
    // Streaming failed: the output is not a conversion, whatever Stop() then makes of it.
    pMediaControl->Stop();
    lpszFailedStep = _T(STEP_WAIT_FOR_COMPLETION);
    goto failed;
  }

  JIF(pMediaControl->Stop(), STEP_STOP)
  nResult = 0;
  goto release;

failed:
  _tprintf(_T("%s! hr=0x%x\r\n"), lpszFailedStep, static_cast<unsigned int>(hr));
  _gettchar();
  nResult = -1;

release:
  SAFE_RELEASE(pEvent)
  SAFE_RELEASE(pMediaControl)
  SAFE_RELEASE(pSeeking)
  SAFE_RELEASE(pMediaFilter)
  SAFE_RELEASE(pAsfWriter)
  SAFE_RELEASE(pSrc)
  SAFE_RELEASE(pBuild)
  SAFE_RELEASE(pGraph)
  return nResult;
}
