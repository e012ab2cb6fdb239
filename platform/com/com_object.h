// A base for COM objects: one reference count and one identity for all the interfaces it answers.
//
// Each interface names its IID as `static constexpr const IID& iid`. The object starts with a count of
// one, held by its creator, and deletes itself when the last reference is released.
#pragma once

#include <atomic>
#include <tuple>

#include "com/unknown.h"

template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppvObject = Identity();
    } else {
      ((IsEqualIID(riid, Interfaces::iid) && *ppvObject == nullptr ? (*ppvObject = static_cast<Interfaces*>(this), true)
                                                                   : false),
       ...);
    }
    if (*ppvObject == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

  ULONG Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  // The IUnknown that stands for the object as a whole.
  IUnknown* Identity() { return static_cast<std::tuple_element_t<0, std::tuple<Interfaces...>>*>(this); }

 protected:
  virtual ~ComObject() = default;

 private:
  std::atomic<ULONG> refs_{1};
};
