// IUnknown, the root of every COM interface.
#pragma once

#include "com/guid.h"
#include "com/hresult.h"

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // objects end through Release, never through delete
};
