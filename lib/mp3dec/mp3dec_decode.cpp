// mp3dec-decode: decodes an MPEG audio file through mp3dec the way the plug-in's
// stream does (1,024-byte input blocks, 16,384-byte output, drained with null input)
// and writes the PCM, or times the decoding to compare decoder builds:
//
//   mp3dec-decode FILE [OUT.pcm]           raw 16-bit PCM to OUT.pcm (or nowhere)
//   mp3dec-decode --time N FILE            decode N times, print the best pass
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mp3dec.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool DecodeFile(const Bytes& file, Bytes& pcm) {
  std::vector<std::uint8_t> block(MP3DEC_STATE_SIZE);
  if (InitMP3(block.data()) == 0) return false;
  std::vector<std::uint8_t> out(16384);
  pcm.clear();
  for (std::size_t at = 0; at < file.size(); at += 1024) {
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(1024, file.size() - at));
    std::int32_t produced = 0;
    for (std::int32_t status = decodeMP3(block.data(), file.data() + at, n, out.data(), 16384, &produced);
         status == 0; status = decodeMP3(block.data(), nullptr, 0, out.data(), 16384, &produced)) {
      pcm.insert(pcm.end(), out.begin(), out.begin() + produced);
    }
  }
  ExitMP3(block.data());
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: mp3dec-decode FILE [OUT.pcm] | mp3dec-decode --time N FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 0;
  int first = 1;
  if (argc >= 2 && std::strcmp(argv[1], "--time") == 0) {
    if (argc != 4) return Usage();
    repeat = std::atoi(argv[2]);
    first = 3;
    if (repeat <= 0) return Usage();
  } else if (argc != 2 && argc != 3) {
    return Usage();
  }
  std::ifstream in(argv[first], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "mp3dec-decode: cannot read %s\n", argv[first]);
    return 1;
  }
  const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Bytes pcm;
  if (repeat == 0) {
    if (!DecodeFile(file, pcm)) return 1;
    if (argc == 3) {
      std::ofstream(argv[2], std::ios::binary)
          .write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
    }
    std::printf("%zu bytes\n", pcm.size());
    return 0;
  }
  double best = 1e30;
  for (int i = 0; i < repeat; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!DecodeFile(file, pcm)) return 1;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    best = std::min(best, took.count());
  }
  std::printf("%zu bytes of PCM in %.3f ms (best of %d)\n", pcm.size(), best * 1e3, repeat);
  return 0;
}
