#pragma once

#include <string>

namespace tonvane {

// The plug-in's modal error box: error icon, one OK button, owned by the main
// window while it exists so that it stays above it. The plug-in installs it as the
// controls' error handler (ui/kit/error_handler_win32.h) when it is loaded.
void ShowErrorBox(const std::string& text);

}  // namespace tonvane
