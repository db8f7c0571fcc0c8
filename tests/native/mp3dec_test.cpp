// mp3dec through its three exported entry points, with files made by real encoders
// (tests/data/make-audio) and the mpg123 program's decoding of them as the reference.
// The same tests run natively over libmp3dec.so and under Wine over mp3dec.dll.
#include <gtest/gtest.h>

#include "file_bytes.h"
#include "pcm_compare.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "mp3dec_loader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using tonvane::testing::ReadBytes;

// What the audio stream passes on every call.
constexpr std::int32_t kBlockSize = 1024;
constexpr std::int32_t kCapacity = 16384;
// Bytes past the capacity that the decoder must leave alone.
constexpr std::size_t kGuard = 64;
constexpr std::uint8_t kGuardByte = 0xC5;

struct Mp3Case {
  std::string file;
  int layer = 0;
  int rate = 0;
  int channels = 0;
  double seconds = 0;
};

std::string DataPath(const std::string& name) { return Mp3TestDataDir() + "/" + name; }

std::vector<Mp3Case> Cases() {
  std::vector<Mp3Case> cases;
  std::ifstream in(DataPath("cases.txt"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Mp3Case c;
    if (fields >> c.file >> c.layer >> c.rate >> c.channels >> c.seconds) cases.push_back(c);
  }
  return cases;
}

Bytes Reference(const std::string& file) {
  return ReadBytes(DataPath(file.substr(0, file.rfind('.')) + ".pcm"));
}

// Under Wine the reference comes from the native decoder, whose synthesis (x86-64
// SIMD) rounds differently from the 32-bit build's (x87 or SSE): samples may then
// differ by one step, rarely. A lost, repeated or misplaced sample shifts the noise
// in the test signal and differs by far more, in almost every sample after it.
#ifndef MP3DEC_PCM_TOLERANCE
#define MP3DEC_PCM_TOLERANCE 0
#endif
constexpr int kTolerance = MP3DEC_PCM_TOLERANCE;

::testing::AssertionResult SamePcm(const Bytes& actual, const Bytes& expected, bool prefix = false) {
  return tonvane::testing::SamePcm(actual, expected, kTolerance, prefix);
}

// One caller-owned state block, exactly as large as promised (AddressSanitizer sees
// any byte written past it), filled with junk first as a fresh heap block may be.
class Decoder {
 public:
  Decoder() : block_(std::make_unique<std::uint8_t[]>(MP3DEC_STATE_SIZE)) {
    std::memset(block_.get(), 0xA5, MP3DEC_STATE_SIZE);
    ready_ = Mp3Dec().init(block_.get()) != 0;
  }
  ~Decoder() { Mp3Dec().exit(block_.get()); }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  bool ready() const { return ready_; }
  void* block() { return block_.get(); }
  void Restart() {
    Mp3Dec().exit(block_.get());
    ready_ = Mp3Dec().init(block_.get()) != 0;
  }

  // One call with the contract checked: output only within the capacity, a positive
  // count with status 0, none otherwise. Appends what was produced to pcm.
  std::int32_t Call(const std::uint8_t* in, std::int32_t size, std::int32_t capacity, Bytes& pcm) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(capacity) + kGuard, kGuardByte);
    std::int32_t produced = -1;
    const std::int32_t status = Mp3Dec().decode(block_.get(), in, size, out.data(), capacity, &produced);
    ++calls_;
    if (status == 0) {
      if (produced <= 0 || produced > capacity)
        Violation("status 0 with produced = " + std::to_string(produced));
      if (produced > 0 && produced <= capacity) pcm.insert(pcm.end(), out.begin(), out.begin() + produced);
    } else if (produced != 0) {
      Violation("status " + std::to_string(status) + " with produced = " + std::to_string(produced));
    }
    if (std::any_of(out.begin() + capacity, out.end(), [](std::uint8_t b) { return b != kGuardByte; })) {
      Violation("wrote past the output capacity of " + std::to_string(capacity));
    }
    return status;
  }

  // The audio stream's way: each input block once, then null input until the status
  // is nonzero. Returns the PCM the block gave.
  Bytes FeedBlock(const std::uint8_t* in, std::int32_t size, std::int32_t capacity = kCapacity) {
    Bytes pcm;
    for (std::int32_t status = Call(in, size, capacity, pcm); status == 0;) {
      status = Call(nullptr, 0, capacity, pcm);
      if (calls_ > 50'000'000) {
        Violation("never reports that it is out of input");
        break;
      }
    }
    return pcm;
  }

  Bytes DecodeAll(const Bytes& file, std::int32_t block_size = kBlockSize,
                  std::int32_t capacity = kCapacity) {
    Bytes pcm;
    for (std::size_t at = 0; at < file.size(); at += static_cast<std::size_t>(block_size)) {
      const auto n = static_cast<std::int32_t>(std::min<std::size_t>(block_size, file.size() - at));
      const Bytes part = FeedBlock(file.data() + at, n, capacity);
      pcm.insert(pcm.end(), part.begin(), part.end());
    }
    return pcm;
  }

 private:
  void Violation(const std::string& what) {
    if (violations_++ == 0) ADD_FAILURE() << "decodeMP3 call " << calls_ << ": " << what;
  }

  std::unique_ptr<std::uint8_t[]> block_;
  bool ready_ = false;
  long calls_ = 0;
  int violations_ = 0;
};

class Mp3DecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Mp3Dec().init, nullptr) << "the library or one of its entry points is missing";
    ASSERT_NE(Mp3Dec().exit, nullptr);
    ASSERT_NE(Mp3Dec().decode, nullptr);
    cases_ = Cases();
    ASSERT_GE(cases_.size(), 7u) << "no test files in " << Mp3TestDataDir() << " (tests/data/make-audio)";
  }

  const Mp3Case& Find(const std::string& file) const {
    static const Mp3Case none;
    for (const auto& c : cases_)
      if (c.file == file) return c;
    ADD_FAILURE() << file << " is not among the test files";
    return none;
  }

  std::vector<Mp3Case> cases_;
};

TEST_F(Mp3DecTest, DecodesEveryLayerRateAndChannelCountLikeTheReferenceDecoder) {
  bool layer2 = false, layer3 = false, mono = false, stereo = false;
  for (const auto& c : cases_) {
    SCOPED_TRACE(c.file);
    layer2 |= c.layer == 2;
    layer3 |= c.layer == 3;
    mono |= c.channels == 1;
    stereo |= c.channels == 2;
    Decoder d;
    ASSERT_TRUE(d.ready());
    const Bytes pcm = d.DecodeAll(ReadBytes(DataPath(c.file)));
    EXPECT_TRUE(SamePcm(pcm, Reference(c.file)));
    // Independently of the reference: 16-bit samples at the file's own rate and channel
    // count, give or take the encoder's delay and padding (under two frames).
    const double expected = c.seconds * c.rate * c.channels * 2;
    const double slack = 2 * 1152 * c.channels * 2;
    EXPECT_NEAR(static_cast<double>(pcm.size()), expected, slack);
    EXPECT_EQ(pcm.size() % (2 * c.channels), 0u);
  }
  EXPECT_TRUE(layer2 && layer3 && mono && stereo)
      << "the test files should cover both layers and channel counts";
}

TEST_F(Mp3DecTest, OutputIsTheSameHoweverTheInputAndOutputAreCut) {
  // Capacities below one frame's output and odd ones: the decoder must hold back what
  // does not fit, never write past the capacity, and lose or repeat no byte.
  for (const char* file : {"mono24k-mpeg2.mp3", "stereo48k-layer2.mp2"}) {
    SCOPED_TRACE(file);
    const Bytes mp3 = ReadBytes(DataPath(file));
    const Bytes reference = Reference(file);
    struct Cut {
      std::int32_t block, capacity;
    };
    for (const Cut cut : {Cut{kBlockSize, 3}, Cut{kBlockSize, 1001}, Cut{1, 4096},
                          Cut{static_cast<std::int32_t>(mp3.size()), kCapacity}, Cut{417, 2}}) {
      SCOPED_TRACE("block " + std::to_string(cut.block) + ", capacity " + std::to_string(cut.capacity));
      Decoder d;
      ASSERT_TRUE(d.ready());
      EXPECT_TRUE(SamePcm(d.DecodeAll(mp3, cut.block, cut.capacity), reference));
    }
  }
}

TEST_F(Mp3DecTest, FrameLongerThanOneBlockWaitsForTheNextBlock) {
  const Mp3Case& c = Find("stereo44k-cbr320.mp3");
  const Bytes mp3 = ReadBytes(DataPath(c.file));
  ASSERT_GT(mp3.size(), 4u * kBlockSize);
  Decoder d;
  ASSERT_TRUE(d.ready());
  // Nothing can come out of a part of a frame, and saying so must not lose the part.
  EXPECT_TRUE(d.FeedBlock(mp3.data(), kBlockSize).empty());
  Bytes pcm;
  std::size_t blocks_until_output = 1;
  for (std::size_t at = kBlockSize; at < mp3.size(); at += kBlockSize) {
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(kBlockSize, mp3.size() - at));
    const Bytes part = d.FeedBlock(mp3.data() + at, n);
    if (pcm.empty()) ++blocks_until_output;
    pcm.insert(pcm.end(), part.begin(), part.end());
  }
  // Frames of 1,044 bytes: the encoder's leading header frame gives no audio and the
  // first audio frame ends at byte 2,088, so the third block brings the first PCM.
  EXPECT_EQ(blocks_until_output, 3u);
  EXPECT_TRUE(SamePcm(pcm, Reference(c.file)));
}

TEST_F(Mp3DecTest, GarbageAndTruncatedInputEndQuietly) {
  Bytes noise(64 * 1024);
  std::uint32_t x = 2463534242u;  // xorshift: the same bytes every run
  for (auto& b : noise) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  for (const Bytes& junk : {noise, Bytes(8192, 0), Bytes(8192, 0xFF)}) {
    Decoder d;
    ASSERT_TRUE(d.ready());
    EXPECT_TRUE(d.DecodeAll(junk).empty());
  }
  // A file cut in the middle of a frame gives the whole frames before the cut.
  const Mp3Case& c = Find("mono48k-cbr128.mp3");
  const Bytes mp3 = ReadBytes(DataPath(c.file));
  const Bytes reference = Reference(c.file);
  Decoder d;
  ASSERT_TRUE(d.ready());
  const Bytes pcm =
      d.DecodeAll(Bytes(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(mp3.size() / 2 + 100)));
  EXPECT_GT(pcm.size(), reference.size() / 3);
  EXPECT_LT(pcm.size(), reference.size());
  EXPECT_TRUE(SamePcm(pcm, reference, /*prefix=*/true));
}

TEST_F(Mp3DecTest, BlockStartsAfreshAfterExitAndInit) {
  const Mp3Case& c = Find("joint44k-vbr.mp3");
  const Bytes mp3 = ReadBytes(DataPath(c.file));
  Decoder d;
  ASSERT_TRUE(d.ready());
  // Leave half a stream and undecoded input behind.
  d.DecodeAll(Bytes(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(mp3.size() / 2 + 333)));
  d.Restart();
  ASSERT_TRUE(d.ready());
  EXPECT_TRUE(SamePcm(d.DecodeAll(mp3), Reference(c.file)));

  // A released block decodes nothing, and releasing twice is harmless.
  Mp3Dec().exit(d.block());
  Mp3Dec().exit(d.block());
  Bytes pcm;
  EXPECT_NE(d.Call(mp3.data(), kBlockSize, kCapacity, pcm), 0);
  EXPECT_TRUE(pcm.empty());
}

TEST_F(Mp3DecTest, TwoBlocksDecodeTwoStreamsIndependently) {
  const Mp3Case& a = Find("mono48k-cbr128.mp3");
  const Mp3Case& b = Find("stereo44k-cbr320.mp3");
  const Bytes mp3a = ReadBytes(DataPath(a.file));
  const Bytes mp3b = ReadBytes(DataPath(b.file));
  Decoder da, db;
  ASSERT_TRUE(da.ready() && db.ready());
  Bytes pcma, pcmb;
  for (std::size_t at = 0; at < std::max(mp3a.size(), mp3b.size()); at += kBlockSize) {
    for (auto [d, mp3, pcm] : {std::tuple{&da, &mp3a, &pcma}, std::tuple{&db, &mp3b, &pcmb}}) {
      if (at >= mp3->size()) continue;
      const auto n = static_cast<std::int32_t>(std::min<std::size_t>(kBlockSize, mp3->size() - at));
      const Bytes part = d->FeedBlock(mp3->data() + at, n);
      pcm->insert(pcm->end(), part.begin(), part.end());
    }
  }
  EXPECT_TRUE(SamePcm(pcma, Reference(a.file)));
  EXPECT_TRUE(SamePcm(pcmb, Reference(b.file)));
}

TEST_F(Mp3DecTest, RefusesMisuseWithoutCrashing) {
  const Bytes mp3 = ReadBytes(DataPath(Find("mono48k-cbr128.mp3").file));
  Decoder d;
  ASSERT_TRUE(d.ready());
  std::vector<std::uint8_t> out(kCapacity);
  std::int32_t produced = -1;
  EXPECT_NE(Mp3Dec().decode(d.block(), mp3.data(), kBlockSize, nullptr, kCapacity, &produced), 0);
  EXPECT_EQ(produced, 0);
  EXPECT_NE(Mp3Dec().decode(d.block(), mp3.data(), kBlockSize, out.data(), 0, &produced), 0);
  EXPECT_NE(Mp3Dec().decode(d.block(), mp3.data(), -5, out.data(), kCapacity, &produced), 0);
  EXPECT_NE(Mp3Dec().decode(d.block(), nullptr, kBlockSize, out.data(), kCapacity, &produced), 0);
  EXPECT_NE(Mp3Dec().decode(d.block(), mp3.data(), kBlockSize, out.data(), kCapacity, nullptr), 0);
  EXPECT_NE(Mp3Dec().decode(nullptr, mp3.data(), kBlockSize, out.data(), kCapacity, &produced), 0);
  EXPECT_EQ(Mp3Dec().init(nullptr), 0);
  Mp3Dec().exit(nullptr);
  // None of that disturbed the block: the file still decodes whole.
  EXPECT_TRUE(SamePcm(d.DecodeAll(mp3), Reference("mono48k-cbr128.mp3")));
}

}  // namespace
