#pragma once

// Finding and reading the plug-in's windows from a test. Tests run side by side, so
// a window is looked up among this thread's own, never system-wide.

#include <windows.h>

#include <string>
#include <vector>

namespace tonvane::testing {

// Bounds of a window in its parent's client coordinates.
inline RECT InParent(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

inline int WidthOf(const RECT& r) { return r.right - r.left; }
inline int HeightOf(const RECT& r) { return r.bottom - r.top; }
inline LONG Style(HWND hwnd) { return GetWindowLongA(hwnd, GWL_STYLE); }
inline LONG ExStyle(HWND hwnd) { return GetWindowLongA(hwnd, GWL_EXSTYLE); }

inline std::string TextOf(HWND hwnd) {
  char text[256] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

// The direct children of a class, in z-order.
inline std::vector<HWND> Children(HWND parent, const char* className) {
  std::vector<HWND> found;
  for (HWND child = FindWindowExA(parent, nullptr, className, nullptr); child;
       child = FindWindowExA(parent, child, className, nullptr)) {
    found.push_back(child);
  }
  return found;
}

inline BOOL CALLBACK FindMainFormOfThread(HWND hwnd, LPARAM param) {
  char cls[32] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (std::string(cls) != "TonvaneMainForm") return TRUE;
  *reinterpret_cast<HWND*>(param) = hwnd;
  return FALSE;
}

// The plug-in's main window that this thread made, or null.
inline HWND ThisThreadsMainForm() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindMainFormOfThread, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace tonvane::testing
