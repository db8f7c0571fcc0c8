#pragma once

#include <exception>
#include <string>

namespace tonvane {

// Where the controls send a failure of their own message handling: the window system
// must never see a C++ exception, and the controls do not know whose window they are
// in. The program that owns the windows installs its handler when it starts; until
// then a failure is shown in a plain error box of no owner.
using TErrorHandler = void (*)(const std::string& text);
// A null handler brings back the plain box.
void SetErrorHandler(TErrorHandler handler);
// Hands the text to the installed handler, which may run a message loop.
void ReportError(const std::string& text);

// Runs body and reports whatever it throws. Used wherever the system or a host calls
// in (window procedures, interface calls), which must never see a C++ exception: the
// call then returns normally.
template <typename F>
void ShowingErrors(F&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    ReportError(e.what());
  } catch (...) {
    ReportError("Unexpected error");
  }
}

}  // namespace tonvane
