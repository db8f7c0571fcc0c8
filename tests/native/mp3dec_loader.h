// How the mp3dec tests reach the library: loaded at run time by its file name, as the
// plug-in does, so the tests exercise the exported entry points and nothing else.
// One side per platform (mp3dec_load_posix.cpp, tests/win32/mp3dec_test.cpp).
#pragma once

#include <string>

#include "mp3dec.h"

struct Mp3DecEntryPoints {
  InitMP3Func init = nullptr;
  ExitMP3Func exit = nullptr;
  DecodeMP3Func decode = nullptr;
};

// The library's entry points, loaded on first use and kept for the process; all null
// when the library or one of its entry points is missing.
const Mp3DecEntryPoints& Mp3Dec();

// The folder tests/data/make-audio wrote the encoded files and their reference PCM to,
// in the platform's own spelling.
std::string Mp3TestDataDir();
