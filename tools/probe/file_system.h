#pragma once

// The few file-system questions tonvane-probe asks beyond opening files: where the
// program is, and what a folder holds. Windows' side uses the ANSI functions, as the
// plug-in does for the names it opens, so every name found is one the stream can open.

#include <optional>
#include <string>
#include <vector>

namespace tonvane {

// The separator of the names the probe makes: '\' on Windows, '/' elsewhere.
extern const char kPathSeparator;

// The running program's folder, with its trailing separator; empty when it cannot
// be told.
std::string ProgramDirectory();

bool IsFolder(const std::string& path);

struct TFolderEntry {
  std::string Name;
  bool Folder = false;
};

// A folder's files and subfolders, without "." and "..", in no particular order. A
// link to a folder is left out, so that no search can go round in a circle. Nothing
// when the folder cannot be read.
std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& folder);

}  // namespace tonvane
