#pragma once

#include <string>

namespace tonvane {

// Dir and Name joined with exactly one backslash; an empty Dir gives Name alone.
// A Dir that already ends in a backslash or a slash gets no second delimiter.
std::string JoinPath(const std::string& dir, const std::string& name);

inline bool StrIsEmpty(const std::string& s) { return s.empty(); }
inline bool StrNotEmpty(const std::string& s) { return !s.empty(); }

}  // namespace tonvane
