// Native INI access: the same text format that the Windows private-profile
// functions read and write, so the portable code can be tested without Windows.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

#include "base/exception.h"
#include "prefs/ini_file.h"

namespace tonvane {
namespace {

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// "[name]" gives name; any other line gives nothing.
bool SectionHeader(const std::string& line, std::string& name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const auto close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

bool KeyLine(const std::string& line, std::string& key, std::string& value) {
  const auto eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return true;
}

class TPosixIniFile final : public IIniFile {
 public:
  explicit TPosixIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) override {
    const auto lines = ReadLines();
    bool inSection = false;
    for (const auto& line : lines) {
      std::string name, k, v;
      if (SectionHeader(line, name)) {
        inSection = SameName(name, section);
      } else if (inSection && KeyLine(line, k, v) && SameName(k, key)) {
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
          v = v.substr(1, v.size() - 2);
        return v;
      }
    }
    return defaultValue;
  }

  void WriteString(const std::string& section, const std::string& key, const std::string& value) override {
    auto lines = ReadLines();
    const std::string entry = key + "=" + value;
    bool inSection = false;
    std::size_t insertAt = lines.size();
    bool sectionFound = false;
    bool written = false;
    for (std::size_t i = 0; i < lines.size() && !written; ++i) {
      std::string name, k, v;
      if (SectionHeader(lines[i], name)) {
        if (inSection) break;
        inSection = SameName(name, section);
        if (inSection) {
          sectionFound = true;
          insertAt = i + 1;
        }
      } else if (inSection && KeyLine(lines[i], k, v)) {
        if (SameName(k, key)) {
          lines[i] = entry;
          written = true;
        } else {
          insertAt = i + 1;
        }
      }
    }
    if (!written) {
      if (sectionFound) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
      } else {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
      }
    }
    std::ofstream out(fileName_, std::ios::binary | std::ios::trunc);
    for (const auto& line : lines) out << line << "\r\n";
    out.flush();
    if (!out) throw Exception("Unable to write to " + fileName_);
  }

 private:
  std::vector<std::string> ReadLines() const {
    std::vector<std::string> lines;
    std::ifstream in(fileName_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  std::string fileName_;
};

}  // namespace

std::unique_ptr<IIniFile> CreateIniFile(const std::string& fileName) {
  return std::make_unique<TPosixIniFile>(fileName);
}

}  // namespace tonvane
