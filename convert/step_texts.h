// What a failure report names: each step of a conversion written as the call it makes.
#pragma once

// clang-format off
#define STEP_CREATE_GRAPH         "FAILED in CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC, IID_IGraphBuilder, (void **)&pGraph)"
#define STEP_CREATE_BUILDER       "FAILED in CoCreateInstance(CLSID_CaptureGraphBuilder2, NULL, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2, (void **)&pBuild)"
#define STEP_SET_FILTERGRAPH      "FAILED in pBuild->SetFiltergraph(pGraph)"
#define STEP_ADD_SOURCE_FILTER    "FAILED in pGraph->AddSourceFilter(T2W(lpszInFileName), L\"Source Filter\", &pSrc)"
#define STEP_SET_OUTPUT_FILE_NAME "FAILED in pBuild->SetOutputFileName(&MEDIASUBTYPE_Asf, T2W(lpszOutFileName), &pAsfWriter, NULL)"
#define STEP_RENDER_STREAM        "FAILED in pBuild->RenderStream(NULL, NULL, pSrc, NULL, pAsfWriter)"
#define STEP_QUERY_MEDIA_FILTER   "FAILED in pGraph->QueryInterface(IID_IMediaFilter, (void**)&pMediaFilter)"
#define STEP_SET_SYNC_SOURCE      "FAILED in pMediaFilter->SetSyncSource(NULL)"
#define STEP_QUERY_MEDIA_SEEKING  "FAILED in pGraph->QueryInterface(IID_IMediaSeeking, (void**)&pSeeking)"
#define STEP_GET_DURATION         "FAILED in pSeeking->GetDuration( &rtDuration )"
#define STEP_QUERY_MEDIA_CONTROL  "FAILED in pGraph->QueryInterface(IID_IMediaControl, (void **)&pMediaControl)"
#define STEP_QUERY_MEDIA_EVENT    "FAILED in pGraph->QueryInterface(IID_IMediaEvent, (void **)&pEvent)"
#define STEP_RUN                  "FAILED in pMediaControl->Run()"
#define STEP_WAIT_FOR_COMPLETION  "FAILED in pEvent->WaitForCompletion(10, &evCode)"
#define STEP_STOP                 "FAILED in pMediaControl->Stop()"
// clang-format on
