#pragma once

#include <string>

namespace tonvane {

// The plug-in's modal error box: error icon, one OK button, owned by the main
// window while it exists so that it stays above it. The plug-in installs it as the
// controls' error handler (ui/kit/error_handler_win32.h) when it is loaded.
// With the boxes off (SetErrorBoxes(false)), the text goes to the main window's
// status bar instead, and nothing waits for anyone.
void ShowErrorBox(const std::string& text);

// Boxes on (the default) or off for a show, as the preferences say.
void SetErrorBoxes(bool shown);
bool ErrorBoxesShown();

}  // namespace tonvane
