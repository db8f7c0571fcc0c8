#pragma once

// A test of the audio stream over files it writes into a folder of its own.

#include <gtest/gtest.h>

#include <cstdint>

#include "audio/audio_stream.h"
#include "riff_builder.h"
#include "scratch_dir.h"

namespace tonvane::testing {

class StreamFileTest : public ScratchDirTest {
 protected:
  void TearDown() override {
    // Before the folder goes: Windows removes no file that is open.
    stream_.Close();
    ScratchDirTest::TearDown();
  }
  // Everything the stream hands out, count bytes per read, as the engine pulls it
  // (asking again after a read that had nothing yet).
  Bytes Drain(int count = 2) {
    Bytes out;
    std::uint8_t buffer[16];
    for (int n; (n = stream_.Read(buffer, count)) != 0;) {
      if (n == TAudioStream::kNotYet) continue;
      EXPECT_GT(n, 0);
      EXPECT_LE(n, count);
      if (n < 0) break;
      out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }

  TAudioStream stream_;
  WAVEFORMATEX format_{};
};

}  // namespace tonvane::testing
