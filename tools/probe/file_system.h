#pragma once

// The few file-system questions tonvane-probe asks beyond opening files: where the
// program is, and what a folder holds. On Windows a name found is given in the code
// page when the code page can spell it, and in UTF-8 when it cannot, as a host that
// sends UTF-8 would: either way a name the plug-in opens (base/utf8_name_win32.h).

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
bool IsFile(const std::string& path);
// Makes the folder unless it is there; false when it is not there afterwards.
bool MakeFolder(const std::string& path);
// Moves a file within one volume; never over another file.
bool MoveFileTo(const std::string& from, const std::string& to);
bool DeleteFileAt(const std::string& path);
// Removes the folder when it is empty; leaves it, and anything in it, otherwise.
void RemoveEmptyFolder(const std::string& path);

struct TFolderEntry {
  std::string Name;
  bool Folder = false;
};

// A folder's files and subfolders, without "." and "..", in no particular order. A
// link to a folder is left out, so that no search can go round in a circle. Nothing
// when the folder cannot be read.
std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& folder);

// The program's arguments, argv[0] first; on Windows as the names above, so that a
// name beyond the code page reaches the probe whole.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// A line of the report as the console shows it: on Windows the names in it, in the
// code page or in UTF-8, are written in the console's own code page ('?' for what it
// cannot show); elsewhere the line as it is.
std::string ForConsole(const std::string& line);

}  // namespace tonvane
