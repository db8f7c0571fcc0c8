#pragma once

#include <exception>
#include <string>

namespace tonvane {

// The plug-in's modal error box: error icon, one OK button, owned by the main
// window while it exists so that it stays above it.
void ShowErrorBox(const std::string& text);

// Runs body and shows whatever it throws in the error box. Used wherever the system or
// the host calls in (window procedures, interface calls), which must never see a C++
// exception: the call then returns normally.
template <typename F>
void ShowingErrors(F&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  } catch (...) {
    ShowErrorBox("Unexpected error");
  }
}

}  // namespace tonvane
