#include <windows.h>

#include "base/module_path_win32.h"
#include "file_system.h"

namespace tonvane {

const char kPathSeparator = '\\';

// The probe is an EXE: the module holding this code is the program.
std::string ProgramDirectory() { return ThisModuleDirectory(); }

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& folder) {
  const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + (separated ? "*" : "\\*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<TFolderEntry> entries;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const bool folderEntry = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    // Junctions and links to folders can lead back up the tree.
    if (folderEntry && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    entries.push_back({name, folderEntry});
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return entries;
}

}  // namespace tonvane
