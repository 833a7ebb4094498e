// Helpers of the Windows tests that open real windows in this process: finding a field's control,
// posting input to it, and taking the window model's next event under a watchdog, so that a lost
// event fails the test instead of hanging it. Used by win32_window_test and win32_list_test.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/runtime.h"
#include "runtime/window.h"
#include "runtime/win32/win32_backend.h"
#include "runtime/win32/win32_peer.h"

namespace win32_test {

using rt::Event;
using rt::win32::kFirstControlId;

inline std::wstring Text(HWND hwnd) {
  wchar_t buffer[512] = L"";
  GetWindowTextW(hwnd, buffer, 512);
  return buffer;
}

inline std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[128] = L"";
  GetClassNameW(hwnd, buffer, 128);
  return buffer;
}

inline LONG Style(HWND hwnd) { return GetWindowLongW(hwnd, GWL_STYLE); }

inline std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    out.push_back(child);
  return out;
}

inline HWND ControlOf(HWND top, int field) { return GetDlgItem(top, kFirstControlId + field); }

inline RECT ClientRectIn(HWND top, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

inline void Click(HWND hwnd, int x, int y) {
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

inline void PostKey(HWND hwnd, UINT virtual_key) {
  PostMessageW(hwnd, WM_KEYDOWN, virtual_key, 1);
  PostMessageW(hwnd, WM_KEYUP, virtual_key, 0xC0000001);
}

// The tooltip window that the peer of `top` keeps for its controls' tips and its lists' cell tips.
inline HWND PeerTooltip(HWND top) {
  struct Search {
    HWND top, found;
  } search{top, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM param) {
        auto* s = reinterpret_cast<Search*>(param);
        if (ClassOf(hwnd) == TOOLTIPS_CLASSW && GetWindow(hwnd, GW_OWNER) == s->top) s->found = hwnd;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Closes `window` through its close box when the test has waited `ms` for an event that did not
// come, so that Accept() returns and the test fails on its expectations.
class Watchdog {
 public:
  Watchdog(HWND window, UINT ms) {
    target_ = window;
    id_ = SetTimer(nullptr, 0, ms, &Watchdog::Fire);
  }
  ~Watchdog() { KillTimer(nullptr, id_); }

 private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD) {
    ADD_FAILURE() << "the watchdog had to close the window";
    PostMessageW(target_, WM_CLOSE, 0, 0);
  }
  static inline HWND target_ = nullptr;
  UINT_PTR id_ = 0;
};

// Takes the next event, with the watchdog's protection.
inline Event Next(rt::Window& window, HWND hwnd) {
  Watchdog watchdog(hwnd, 5000);
  if (!window.Accept()) return {};
  return window.event();
}

class Win32Window : public ::testing::Test {
 protected:
  std::unique_ptr<rt::Backend> backend_ = MakeWin32Backend();
  rt::Runtime runtime_{*backend_};
};

}  // namespace win32_test
