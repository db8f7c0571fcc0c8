#pragma once

#include <string>

namespace tonvane {

// True when the name, resolved against the current directory if it is relative,
// names an existing file. A directory is not a file.
bool FileExists(const std::string& fileName);

}  // namespace tonvane
