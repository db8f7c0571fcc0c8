#include "prefs/misc.h"

namespace tonvane {

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  const char last = dir.back();
  if (last == '\\' || last == '/') return dir + name;
  return dir + '\\' + name;
}

}  // namespace tonvane
