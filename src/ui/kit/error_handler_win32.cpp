#include "ui/kit/error_handler_win32.h"

#include <windows.h>

namespace tonvane {

namespace {

void ShowPlainErrorBox(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), nullptr, MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

// Set on the thread that makes the windows, before any of them exists.
TErrorHandler errorHandler = &ShowPlainErrorBox;

}  // namespace

void SetErrorHandler(TErrorHandler handler) { errorHandler = handler ? handler : &ShowPlainErrorBox; }

void ReportError(const std::string& text) { errorHandler(text); }

}  // namespace tonvane
