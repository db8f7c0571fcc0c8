#include <windows.h>

#include "base/file_exists.h"
#include "base/utf8_name_win32.h"

namespace tonvane {

bool FileExists(const std::string& fileName) {
  if (fileName.empty()) return false;
  DWORD attributes = GetFileAttributesA(fileName.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const std::wstring wide = WideFromUtf8Name(fileName);
    if (!wide.empty()) attributes = GetFileAttributesW(wide.c_str());
  }
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace tonvane
