#include "ui/error_box_win32.h"

#include <windows.h>

#include "base/modal_loop_win32.h"
#include "ui/main_form_win32.h"

namespace tonvane {
namespace {
bool errorBoxes = true;
}  // namespace

void SetErrorBoxes(bool shown) { errorBoxes = shown; }

bool ErrorBoxesShown() { return errorBoxes; }

void ShowErrorBox(const std::string& text) {
  if (!errorBoxes) {
    if (MainForm) MainForm->ShowFault(text);
    return;
  }
  HWND owner = MainForm ? MainForm->Handle() : nullptr;
  TModalLoop loop;
  MessageBoxA(owner, text.c_str(), "Tonvane", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace tonvane
