#pragma once

#include <memory>
#include <string>

namespace tonvane {

// The platform's access to one INI file: the seam under TIni.
//
// Reads never fail: a missing file, section or key gives the default, and a value
// comes back without the blanks around it. Section and key names match without
// regard to letter case. A write reaches the file before it returns; when the file
// cannot be written it throws tonvane::Exception ("Unable to write to <file>").
//
// Windows: the private-profile functions (ini_file_win32.cpp). Native: a plain text
// reader and writer of the same format (ini_file_posix.cpp).
class IIniFile {
 public:
  virtual ~IIniFile() = default;
  virtual std::string ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) = 0;
  virtual void WriteString(const std::string& section, const std::string& key, const std::string& value) = 0;
};

std::unique_ptr<IIniFile> CreateIniFile(const std::string& fileName);

}  // namespace tonvane
