#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "prefs/ini_file.h"

namespace tonvane {

// Typed values in one section of one INI file. Writes go to the file at once and
// throw tonvane::Exception when they cannot; destruction writes nothing.
class TIni {
 public:
  explicit TIni(const std::string& fileName);
  virtual ~TIni() = default;
  TIni(const TIni&) = delete;
  TIni& operator=(const TIni&) = delete;

  // An empty name selects "Preferences".
  void SetSection(const std::string& name);
  const std::string& Section() const { return section_; }
  const std::string& FileName() const { return fileName_; }

  // A value that is not a whole decimal number reads as the default.
  std::int32_t ReadInteger(const std::string& key, std::int32_t defaultValue);
  std::string ReadString(const std::string& key, const std::string& defaultValue);
  void WriteInteger(const std::string& key, std::int32_t value);
  void WriteString(const std::string& key, const std::string& value);

 private:
  std::string fileName_;
  std::string section_;
  std::unique_ptr<IIniFile> file_;
};

}  // namespace tonvane
