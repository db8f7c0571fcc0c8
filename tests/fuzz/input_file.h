#pragma once

// The parsers read files by name, so each input goes through a file of this process
// alone: fuzzers running side by side never read each other's inputs.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tonvane::fuzz {

class InputFile {
 public:
  // The extension matters: the audio stream picks its reader by it.
  explicit InputFile(const char* name, const char* extension = ".mp3")
      : path_("/tmp/tonvane-fuzz-" + std::string(name) + "-" + std::to_string(::getpid()) + extension) {}
  ~InputFile() { std::remove(path_.c_str()); }

  const std::string& Write(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    if (std::fclose(f) != 0) std::abort();
    return path_;
  }

 private:
  std::string path_;
};

}  // namespace tonvane::fuzz
