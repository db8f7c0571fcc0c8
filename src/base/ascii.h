#pragma once

// Case folding for the ASCII letters alone. File names, extensions and keywords are
// compared this way, so that no locale, code page or C-runtime table can change
// what ".WAV" means.
#include <string_view>

namespace tonvane {

constexpr char ToUpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
  return true;
}

// The extension with its dot (".wav"), or empty. A dot in a folder's name is not an
// extension; Windows names separate folders with either slash and drives with ':'.
constexpr std::string_view FileExtension(std::string_view fileName) {
  const auto dot = fileName.find_last_of('.');
  const auto separator = fileName.find_last_of("\\/:");
  if (dot == std::string_view::npos || (separator != std::string_view::npos && dot < separator)) return {};
  return fileName.substr(dot);
}

// extension with its dot, in any case.
constexpr bool HasExtension(std::string_view fileName, std::string_view extension) {
  return EqualsIgnoringAsciiCase(FileExtension(fileName), extension);
}

}  // namespace tonvane
