#include "base/path.h"

namespace tonvane {

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  const char last = dir.back();
  if (last == '\\' || last == '/') return dir + name;
  return dir + '\\' + name;
}

std::string DirectoryOf(const std::string& path) {
  const auto last = path.find_last_of("\\:");
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

}  // namespace tonvane
