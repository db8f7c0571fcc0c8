// How the stream finds its decoder library: by bare name, once per process. This
// program lives in a folder of its own that the library search reaches (the program's
// folder: Windows' search order, and natively the program's $ORIGIN run path), so
// the test decides whether the library is there by copying it in or moving it away.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "audio/audio_stream.h"

namespace tonvane {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kLibraryName[] = "mp3dec.dll";
fs::path ProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return fs::path(std::string(path, n)).parent_path();
}
#else
constexpr char kLibraryName[] = "libmp3dec.so";
fs::path ProgramFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }
#endif

TEST(Mp3DecoderLoading, MissingRefusesMp3sTriedAgainThenKeptForTheProcess) {
  const fs::path library = ProgramFolder() / kLibraryName;
  const fs::path movedAway = ProgramFolder() / (std::string(kLibraryName) + ".moved");
  // Left behind by an earlier run that ended while the library was loaded.
  fs::remove(library);
  fs::remove(movedAway);
  const std::string mp3 = std::string(MP3_TEST_DATA) + "/mono48k-cbr128.mp3";
  const std::string wav = std::string(STREAM_TEST_DATA) + "/mono16-48k.wav";

  TAudioStream stream;
  WAVEFORMATEX format{};
  std::uint8_t sample[2];
  // No decoder: every MP3 is refused, WAV files are not affected.
  EXPECT_FALSE(stream.Open(mp3, format));
  EXPECT_EQ(stream.Read(sample, 2), 0);
  EXPECT_FALSE(stream.Open(mp3, format)) << "still missing";
  EXPECT_TRUE(stream.Open(wav, format));

  // A load that failed is tried again at the next MP3 open.
  fs::copy_file(DECODER_LIBRARY, library);
  ASSERT_TRUE(stream.Open(mp3, format));
  EXPECT_EQ(stream.Read(sample, 2), 2);

  // Once loaded it stays: moving the file away changes nothing for this process.
  fs::rename(library, movedAway);
  ASSERT_FALSE(fs::exists(library));
  TAudioStream second;
  ASSERT_TRUE(second.Open(mp3, format));
  int samples = 0;
  while (second.Read(sample, 2) == 2) ++samples;
  EXPECT_GT(samples, 48000) << "decodes the whole file";
  stream.Close();
  second.Close();
  std::error_code ignored;
  fs::remove(movedAway, ignored);  // fails on Windows while loaded; the next run clears it
}

}  // namespace
}  // namespace tonvane
