#pragma once

#include <string>

namespace tonvane {

// The plug-in's modal error box: error icon, one OK button, owned by the main
// window while it exists so that it stays above it.
void ShowErrorBox(const std::string& text);

}  // namespace tonvane
