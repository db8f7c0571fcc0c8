#include "base/utf8_name_win32.h"

#include <windows.h>

#include <algorithm>

namespace tonvane {

std::wstring WideFromUtf8Name(const std::string& name) {
  if (name.empty() || std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; }))
    return {};
  const int size = static_cast<int>(name.size());
  const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, nullptr, 0);
  if (count <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, wide.data(), count) != count)
    return {};
  return wide;
}

std::string Utf8FromWide(const std::wstring& name) {
  if (name.empty()) return {};
  const int size = static_cast<int>(name.size());
  const int count = WideCharToMultiByte(CP_UTF8, 0, name.data(), size, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return {};
  std::string text(static_cast<std::size_t>(count), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, name.data(), size, text.data(), count, nullptr, nullptr) != count)
    return {};
  return text;
}

}  // namespace tonvane
