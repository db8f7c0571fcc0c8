#pragma once

// What the timing tools share of their command lines.
#include <string>

namespace tonvane::bench {

// A whole number from 1 to 999,999 written in digits alone, into out.
inline bool ParsePositive(const std::string& text, int& out) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  out = std::stoi(text);
  return out > 0;
}

}  // namespace tonvane::bench
