// The class table: which factory makes an object of each CLSID.
//
// Libraries that provide classes register them with a ClassRegistration at static initialisation.
// Tests put their own factory in place of a class for the span of a test with ScopedClassOverride.
#pragma once

#include <functional>

#include "com/unknown.h"

namespace com {

// Makes a new object and answers the requested interface of it; *ppv is null on failure.
using ClassFactory = std::function<HRESULT(REFIID riid, void** ppv)>;

void RegisterClass(REFCLSID clsid, ClassFactory factory);
void UnregisterClass(REFCLSID clsid);

// The factory for clsid, or an empty function when the class is not registered.
ClassFactory FindClass(REFCLSID clsid);

struct ClassRegistration {
  ClassRegistration(REFCLSID clsid, ClassFactory factory) { RegisterClass(clsid, std::move(factory)); }
};

// Replaces (or adds) one class while it lives, then puts back what was there.
class ScopedClassOverride {
 public:
  ScopedClassOverride(REFCLSID clsid, ClassFactory factory);
  ~ScopedClassOverride();
  ScopedClassOverride(const ScopedClassOverride&) = delete;
  ScopedClassOverride& operator=(const ScopedClassOverride&) = delete;

 private:
  CLSID clsid_;
  ClassFactory previous_;
};

}  // namespace com
