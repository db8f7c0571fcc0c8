#include "prefs/ini.h"

#include "base/str_to_int.h"

namespace tonvane {

TIni::TIni(const std::string& fileName) : fileName_(fileName), file_(CreateIniFile(fileName)) {
  SetSection("");
}

void TIni::SetSection(const std::string& name) { section_ = name.empty() ? "Preferences" : name; }

std::int32_t TIni::ReadInteger(const std::string& key, std::int32_t defaultValue) {
  return TryStrToInt(file_->ReadString(section_, key, "")).value_or(defaultValue);
}

std::string TIni::ReadString(const std::string& key, const std::string& defaultValue) {
  return file_->ReadString(section_, key, defaultValue);
}

void TIni::WriteInteger(const std::string& key, std::int32_t value) {
  file_->WriteString(section_, key, std::to_string(value));
}

void TIni::WriteString(const std::string& key, const std::string& value) {
  file_->WriteString(section_, key, value);
}

}  // namespace tonvane
