// INI access over the Windows private-profile functions.
#include <windows.h>

#include <vector>

#include "base/exception.h"
#include "prefs/ini_file.h"

namespace tonvane {
namespace {

class TWin32IniFile final : public IIniFile {
 public:
  explicit TWin32IniFile(std::string fileName) : fileName_(std::move(fileName)) {}

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) override {
    // The function truncates silently; a result that fills the buffer may have been cut.
    for (DWORD size = 256;; size *= 4) {
      std::vector<char> buffer(size);
      const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                               buffer.data(), size, fileName_.c_str());
      if (n < size - 1 || size >= (1u << 20)) return std::string(buffer.data(), n);
    }
  }

  void WriteString(const std::string& section, const std::string& key, const std::string& value) override {
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), fileName_.c_str()))
      throw Exception("Unable to write to " + fileName_);
  }

 private:
  std::string fileName_;
};

}  // namespace

std::unique_ptr<IIniFile> CreateIniFile(const std::string& fileName) {
  return std::make_unique<TWin32IniFile>(fileName);
}

}  // namespace tonvane
