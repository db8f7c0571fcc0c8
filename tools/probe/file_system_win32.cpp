#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "base/module_path_win32.h"
#include "base/utf8_name_win32.h"
#include "file_system.h"

namespace tonvane {
namespace {

std::wstring WideFrom(const std::string& text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int count = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(count > 0 ? count : 0), L'\0');
  if (count > 0) MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), count);
  return wide;
}

// A name as the plug-in would be sent it: in the code page when it spells the name
// exactly (no best fit: "?" or a look-alike names another file, or none), else UTF-8.
std::string NameFromWide(const std::wstring& wide) {
  const int size = static_cast<int>(wide.size());
  BOOL lossy = FALSE;
  const int count =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, nullptr, &lossy);
  if (count > 0 && !lossy) {
    std::string text(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, text.data(), count, nullptr, &lossy);
    if (!lossy) return text;
  }
  return Utf8FromWide(wide);
}

// The wide form of a name the probe was given or made: UTF-8 when the code page names
// nothing there and it reads as UTF-8, as the plug-in tries it.
std::wstring WideName(const std::string& name) {
  if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::wstring wide = WideFromUtf8Name(name);
    if (!wide.empty()) return wide;
  }
  return WideFrom(name, CP_ACP);
}

}  // namespace

const char kPathSeparator = '\\';

// The probe is an EXE: the module holding this code is the program.
std::string ProgramDirectory() { return ThisModuleDirectory(); }

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WideName(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WideName(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolder(const std::string& path) {
  return CreateDirectoryW(WideName(path).c_str(), nullptr) || IsFolder(path);
}

bool MoveFileTo(const std::string& from, const std::string& to) {
  return MoveFileW(WideName(from).c_str(), WideName(to).c_str()) != FALSE;
}

bool DeleteFileAt(const std::string& path) { return DeleteFileW(WideName(path).c_str()) != FALSE; }

void RemoveEmptyFolder(const std::string& path) { RemoveDirectoryW(WideName(path).c_str()); }

std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& folder) {
  const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((WideName(folder) + (separated ? L"*" : L"\\*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<TFolderEntry> entries;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool folderEntry = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    // Junctions and links to folders can lead back up the tree.
    if (folderEntry && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    entries.push_back({NameFromWide(name), folderEntry});
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  // argv holds the code page's spelling, with '?' for what it cannot spell.
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide || count != argc) {
    if (wide) LocalFree(wide);
    return {argv, argv + argc};
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(NameFromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::string ForConsole(const std::string& line) {
  if (std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; })) return line;
  // UTF-8 where the line reads as UTF-8; a code page's text beyond ASCII rarely does.
  std::wstring wide = WideFromUtf8Name(line);
  if (wide.empty()) wide = WideFrom(line, CP_ACP);
  const UINT console = GetConsoleOutputCP();
  const UINT codePage = console != 0 ? console : CP_ACP;
  const int size = static_cast<int>(wide.size());
  const int count = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return line;
  std::string text(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), count, nullptr, nullptr);
  return text;
}

}  // namespace tonvane
