// What the Win32 backends that use COM share: the apartment, interface pointers, BSTRs made
// from UTF-8, and errors from HRESULTs.
#pragma once

#include "platform/win32/windows_api.h"
// After windows.h, which they rely on.
#include <objbase.h>
#include <oleauto.h>

#include <string>

#include "platform/platform_error.h"
#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_error.h"

namespace netvane::platform {

// Balances a successful CoInitialize on this thread; a thread already in another apartment
// keeps it and is not uninitialized here.
class ComScope {
 public:
  ComScope() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComScope() {
    if (initialized_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialized_;
};

// Owns one interface pointer; released before the ComScope declared ahead of it ends.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T** out() { return &p_; }
  void** void_out() { return reinterpret_cast<void**>(&p_); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// A BSTR made from UTF-8 (through UTF-16, so no character is lost to the ANSI code page) or
// UTF-16.
class Bstr {
 public:
  explicit Bstr(const std::string& utf8) : Bstr(WideFromUtf8(utf8)) {}
  explicit Bstr(const std::wstring& text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_ = nullptr;
};

// The PlatformError for a failed HRESULT, with the system's text for it.
inline PlatformError ComError(HRESULT hr, const std::string& source) {
  return PlatformError(static_cast<int32_t>(hr), SystemMessage(static_cast<uint32_t>(hr)), source);
}

}  // namespace netvane::platform
