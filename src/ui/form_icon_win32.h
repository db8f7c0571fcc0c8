#pragma once

#include <windows.h>

namespace tonvane {

// The window's own icon, drawn at run time so the plug-in needs no image files.
class TFormIcon {
 public:
  // size: width and height in pixels (the caption's small icon or the large one).
  explicit TFormIcon(int size);
  ~TFormIcon();
  TFormIcon(const TFormIcon&) = delete;
  TFormIcon& operator=(const TFormIcon&) = delete;
  HICON Get() const { return icon_; }

 private:
  HICON icon_;
};

}  // namespace tonvane
