#pragma once

// Finding and reading the plug-in's windows from a test. Tests run side by side, so
// a window is looked up among this thread's own, never system-wide.

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <algorithm>
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

// The direct children of a class, in z-order. A null parent has none: asking the
// system for children of null would search every top-level window.
inline std::vector<HWND> Children(HWND parent, const char* className) {
  std::vector<HWND> found;
  if (!parent) return found;
  for (HWND child = FindWindowExA(parent, nullptr, className, nullptr); child;
       child = FindWindowExA(parent, child, className, nullptr)) {
    found.push_back(child);
  }
  return found;
}

// Siblings in the order they stand in their parent: their z-order says nothing about
// where they stand.
inline void SortLeftToRight(std::vector<HWND>& windows) {
  std::sort(windows.begin(), windows.end(),
            [](HWND a, HWND b) { return InParent(a).left < InParent(b).left; });
}
inline void SortTopToBottom(std::vector<HWND>& windows) {
  std::sort(windows.begin(), windows.end(), [](HWND a, HWND b) { return InParent(a).top < InParent(b).top; });
}

// A list's items, in its order.
inline std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> items;
  const int n = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    char text[256] = {};
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items.push_back(text);
  }
  return items;
}

// The text of a status bar's first (or only) part.
inline std::string StatusBarText(HWND bar) {
  char text[256] = {};
  SendMessageA(bar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
  return text;
}

struct ThreadWindowQuery {
  const char* className;
  bool visibleOnly;
  HWND found;
};

inline BOOL CALLBACK MatchThreadWindow(HWND hwnd, LPARAM param) {
  auto& query = *reinterpret_cast<ThreadWindowQuery*>(param);
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (std::string(cls) != query.className || (query.visibleOnly && !IsWindowVisible(hwnd))) return TRUE;
  query.found = hwnd;
  return FALSE;
}

// The first top-level window of a class that a thread made, or null.
inline HWND ThreadsWindow(DWORD thread, const char* className, bool visibleOnly) {
  ThreadWindowQuery query{className, visibleOnly, nullptr};
  EnumThreadWindows(thread, &MatchThreadWindow, reinterpret_cast<LPARAM>(&query));
  return query.found;
}
inline HWND ThisThreadsWindow(const char* className, bool visibleOnly) {
  return ThreadsWindow(GetCurrentThreadId(), className, visibleOnly);
}

// The plug-in's main window that this thread made, or null.
inline HWND ThisThreadsMainForm() { return ThisThreadsWindow("TonvaneMainForm", false); }

// The main window's parts: the panel along its top that holds the lists, and the
// column of channel strips under it.
inline HWND TopPanel(HWND form) { return FindWindowExA(form, nullptr, "TonvanePanel", nullptr); }
inline HWND ChannelColumn(HWND form) { return FindWindowExA(form, nullptr, "TonvaneScrollBox", nullptr); }

// The lists in the main window's panel, left to right: the device list, then the rate list.
inline std::vector<HWND> PanelLists(HWND form) {
  std::vector<HWND> lists = Children(TopPanel(form), "ComboBox");
  SortLeftToRight(lists);
  return lists;
}

// The channel strips of the main window, top to bottom (channel 1 first while the
// column is scrolled to its top).
inline std::vector<HWND> ChannelStrips(HWND form) {
  std::vector<HWND> strips;
  const HWND column = ChannelColumn(form);
  if (!column) return strips;
  for (HWND child = GetWindow(column, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    strips.push_back(child);
  SortTopToBottom(strips);
  return strips;
}

// A strip's control by the left edge the strip's layout gives it: its two buttons
// share a class, so their place tells them apart.
inline HWND StripControlAt(HWND strip, int left) {
  for (HWND child = GetWindow(strip, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (InParent(child).left == left) return child;
  return nullptr;
}
inline HWND StripGauge(HWND strip) { return StripControlAt(strip, 33); }
inline HWND StripPlayButton(HWND strip) { return StripControlAt(strip, 149); }

// The dialog box on this thread (the open-file dialog, while it runs modal), or null;
// it shows only once it is ready for input.
inline HWND ThisThreadsOpenDialog() { return ThisThreadsWindow("#32770", true); }

// The dialog's file name box: the Explorer-style dialog's combo box, else the older
// dialog's edit box.
inline HWND FileNameBox(HWND dialog) {
  const HWND combo = GetDlgItem(dialog, cmb13);
  return combo ? combo : GetDlgItem(dialog, edt1);
}

// The file types the dialog offers, in its list's order.
inline std::vector<std::string> FileTypes(HWND dialog) { return ComboItems(GetDlgItem(dialog, cmb1)); }

// The user's answers to a dialog, posted so that they reach it from its own message loop.
inline void PressOk(HWND dialog) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}
inline void PressCancel(HWND dialog) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

}  // namespace tonvane::testing
