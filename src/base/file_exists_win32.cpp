#include <windows.h>

#include "base/file_exists.h"

namespace tonvane {

bool FileExists(const std::string& fileName) {
  if (fileName.empty()) return false;
  const DWORD attributes = GetFileAttributesA(fileName.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace tonvane
