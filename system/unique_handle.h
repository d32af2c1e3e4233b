// Move-only owners of Windows handles, one type per kind of handle, each
// naming its close function once. Closing keeps GetLastError() intact.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace orvane {

template <class Traits>
class unique_handle {
 public:
  using pointer = typename Traits::pointer;

  unique_handle() noexcept = default;
  explicit unique_handle(pointer h) noexcept : h_(h) {}
  unique_handle(unique_handle&& o) noexcept : h_(o.release()) {}
  unique_handle& operator=(unique_handle&& o) noexcept {
    reset(o.release());
    return *this;
  }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  ~unique_handle() { reset(); }

  pointer get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
  [[nodiscard]] pointer release() noexcept { return std::exchange(h_, Traits::invalid()); }
  // For out-parameters: closes the current handle and hands out the slot.
  pointer* put() noexcept {
    reset();
    return &h_;
  }
  void reset(pointer h = Traits::invalid()) noexcept {
    if (*this) {
      const DWORD error = GetLastError();
      Traits::close(h_);
      SetLastError(error);
    }
    h_ = h;
  }

 private:
  pointer h_ = Traits::invalid();
};

template <class T, auto Close>
struct null_traits {
  using pointer = T;
  static constexpr T invalid() noexcept { return nullptr; }
  static void close(T h) noexcept { Close(h); }
};

struct file_traits {
  using pointer = HANDLE;
  static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { CloseHandle(h); }
};

using unique_hkey = unique_handle<null_traits<HKEY, &RegCloseKey>>;
using unique_handle_t = unique_handle<null_traits<HANDLE, &CloseHandle>>;
using unique_file = unique_handle<file_traits>;
using unique_hicon = unique_handle<null_traits<HICON, &DestroyIcon>>;
using unique_hrgn = unique_handle<null_traits<HRGN, &DeleteObject>>;
using unique_sc_handle = unique_handle<null_traits<SC_HANDLE, &CloseServiceHandle>>;

// UTF-16 text as the wide platform calls take it (wchar_t is 16 bits on
// Windows).
inline const wchar_t* AsWide(const std::u16string& text) noexcept {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace orvane
