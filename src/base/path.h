#pragma once

#include <string>

namespace tonvane {

// Windows paths as the host, the registry and the module's own name give them.

// Dir and Name joined with exactly one backslash; an empty Dir gives Name alone.
// A Dir that already ends in a backslash or a slash gets no second delimiter.
std::string JoinPath(const std::string& dir, const std::string& name);

// Directory part of a path: everything up to and including the last backslash or
// drive colon; empty when there is neither.
std::string DirectoryOf(const std::string& path);

}  // namespace tonvane
