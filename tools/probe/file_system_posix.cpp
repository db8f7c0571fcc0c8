#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_system.h"

namespace tonvane {

const char kPathSeparator = '/';

std::string ProgramDirectory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path) return {};
  const std::string full(path, static_cast<std::size_t>(n));
  const std::size_t slash = full.find_last_of('/');
  return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0 || IsFolder(path); }

bool MoveFileTo(const std::string& from, const std::string& to) {
  // link and unlink: rename would replace a file already at `to`.
  return link(from.c_str(), to.c_str()) == 0 && unlink(from.c_str()) == 0;
}

bool DeleteFileAt(const std::string& path) { return unlink(path.c_str()) == 0; }

void RemoveEmptyFolder(const std::string& path) { rmdir(path.c_str()); }

std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::nullopt;
  std::vector<TFolderEntry> entries;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + '/';
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (lstat((prefix + name).c_str(), &st) != 0) continue;
    if (S_ISLNK(st.st_mode) && (stat((prefix + name).c_str(), &st) != 0 || S_ISDIR(st.st_mode))) continue;
    entries.push_back({name, S_ISDIR(st.st_mode)});
  }
  closedir(dir);
  return entries;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

std::string ForConsole(const std::string& line) { return line; }

}  // namespace tonvane
