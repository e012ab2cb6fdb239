// An owning interface pointer for the platform's own code: releases what it holds.
#pragma once

#include <utility>

#include "com/unknown.h"

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes over a reference the caller already holds.
  static ComPtr Attach(T* p) {
    ComPtr ptr;
    ptr.p_ = p;
    return ptr;
  }
  // Adds a reference of its own.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Hands the reference to the caller.
  T* Detach() { return std::exchange(p_, nullptr); }
  // For out-parameters: releases what is held and exposes the slot.
  T** Put() {
    Reset();
    return &p_;
  }

  template <class U>
  ComPtr<U> As() const {
    ComPtr<U> other;
    if (p_) p_->QueryInterface(U::iid, reinterpret_cast<void**>(other.Put()));
    return other;
  }

 private:
  T* p_ = nullptr;
};
