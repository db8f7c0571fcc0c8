#include <dlfcn.h>

#include "mp3dec_loader.h"

const Mp3DecEntryPoints& Mp3Dec() {
  static const Mp3DecEntryPoints entry_points = [] {
    Mp3DecEntryPoints e;
    void* lib = dlopen(MP3DEC_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return e;
    e.init = reinterpret_cast<InitMP3Func>(dlsym(lib, "InitMP3"));
    e.exit = reinterpret_cast<ExitMP3Func>(dlsym(lib, "ExitMP3"));
    e.decode = reinterpret_cast<DecodeMP3Func>(dlsym(lib, "decodeMP3"));
    return e;
  }();
  return entry_points;
}

std::string Mp3TestDataDir() { return MP3_TEST_DATA; }
