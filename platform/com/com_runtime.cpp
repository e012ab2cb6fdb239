#include "com/com_runtime.h"

#include "com/class_table.h"

namespace {
// How many CoInitialize calls this thread has not yet undone.
thread_local int t_initCount = 0;
}  // namespace

HRESULT CoInitialize(void* /*pvReserved*/) { return t_initCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (t_initCount > 0) --t_initCount;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (t_initCount == 0) return CO_E_NOTINITIALIZED;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  const com::ClassFactory factory = com::FindClass(rclsid);
  if (!factory) return REGDB_E_CLASSNOTREG;
  const HRESULT hr = factory(riid, ppv);
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}
