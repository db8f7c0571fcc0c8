// mp3dec.dll as the plug-in meets it: found by its bare name through the library
// search order, entry points looked up by their plain names. The decoding tests
// themselves are shared with the native build (tests/native/mp3dec_test.cpp).
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "mp3dec_loader.h"

namespace {

HMODULE Library() {
  static const HMODULE module = LoadLibraryA("mp3dec.dll");
  return module;
}

template <typename F>
F Entry(const char* name) {
  // GetProcAddress hands out a generic FARPROC; the header's typedef gives the real type.
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Library(), name)));
}

TEST(Mp3DecDll, ExportsPlainNamesOnly) {
  ASSERT_NE(Library(), nullptr) << "LoadLibrary(mp3dec.dll) failed: " << GetLastError();
  for (const char* name : {"InitMP3", "ExitMP3", "decodeMP3"}) {
    EXPECT_NE(GetProcAddress(Library(), name), nullptr) << name;
  }
  // Decorated spellings (stdcall or a leading underscore) would mean a different
  // calling convention than the loader assumes.
  for (const char* name : {"_InitMP3", "InitMP3@4", "_decodeMP3", "decodeMP3@24"}) {
    EXPECT_EQ(GetProcAddress(Library(), name), nullptr) << name;
  }
}

TEST(Mp3DecDll, SurvivesBeingUnloadedAndLoadedAgain) {
  HMODULE again = LoadLibraryA("mp3dec.dll");
  ASSERT_NE(again, nullptr);
  auto init = reinterpret_cast<InitMP3Func>(reinterpret_cast<void*>(GetProcAddress(again, "InitMP3")));
  auto exit = reinterpret_cast<ExitMP3Func>(reinterpret_cast<void*>(GetProcAddress(again, "ExitMP3")));
  ASSERT_TRUE(init && exit);
  std::vector<unsigned char> block(MP3DEC_STATE_SIZE);
  EXPECT_EQ(init(block.data()), 1);
  exit(block.data());
  EXPECT_TRUE(FreeLibrary(again));
}

}  // namespace

const Mp3DecEntryPoints& Mp3Dec() {
  static const Mp3DecEntryPoints entry_points = [] {
    Mp3DecEntryPoints e;
    if (Library() == nullptr) return e;
    e.init = Entry<InitMP3Func>("InitMP3");
    e.exit = Entry<ExitMP3Func>("ExitMP3");
    e.decode = Entry<DecodeMP3Func>("decodeMP3");
    return e;
  }();
  return entry_points;
}

std::string Mp3TestDataDir() { return MP3_TEST_DATA; }
