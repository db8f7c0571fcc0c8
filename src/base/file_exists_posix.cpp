#include <sys/stat.h>

#include "base/file_exists.h"

namespace tonvane {

bool FileExists(const std::string& fileName) {
  struct stat st {};
  return !fileName.empty() && stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace tonvane
