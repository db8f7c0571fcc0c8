// The buffer-switch engine over real streams: what it writes for each level and
// sample type, where channels stop, and what it does when the host holds a stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <thread>
#include <mutex>
#include <vector>

#include "playback/channel_feed.h"
#include "playback/engine.h"
#include "playback/feeder.h"
#include "playback/sample_ring.h"
#include "playback/sample_types.h"
#include "engine_support.h"

namespace tonvane {
namespace {

using testing::Play;
using testing::TestDevice;
using testing::WaveDir;
using Bytes = std::vector<std::uint8_t>;
using Samples = std::vector<std::int16_t>;

Bytes Head(const Bytes& b, std::size_t n) {
  return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(LevelGain, IsTheNearestFloatToTenToTheLevelOverTwenty) {
  EXPECT_FLOAT_EQ(LevelGain(-6), 0.50118721f);
  EXPECT_EQ(LevelGain(-20), 0.1f);
  EXPECT_FLOAT_EQ(LevelGain(-50), 0.0031622776f);
  EXPECT_EQ(LevelGain(0), 1.0f);
  // Against a wider reference: the float on each side of it must be farther away.
  for (std::int32_t level = -400; level <= 0; ++level) {
    const long double exact = std::pow(10.0L, level / 20.0L);
    const float gain = LevelGain(level);
    const long double error = std::fabs(gain - exact);
    EXPECT_LE(error, std::fabs(std::nextafter(gain, 0.0f) - exact)) << level;
    EXPECT_LE(error, std::fabs(std::nextafter(gain, 2.0f) - exact)) << level;
  }
}

TEST(SampleRing, WrapsFillsAndEmptiesAtItsCapacity) {
  TSampleRing ring(6);
  ASSERT_EQ(ring.Capacity(), 8u) << "rounded up to a power of two";
  std::int16_t out[16] = {};
  EXPECT_EQ(ring.Read(out, 4), 0u) << "empty";
  const std::int16_t in[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(ring.Write(in, 10), 8u) << "full at its capacity";
  EXPECT_EQ(ring.Space(), 0u);
  EXPECT_EQ(ring.Write(in, 1), 0u);
  EXPECT_EQ(ring.Read(out, 5), 5u);
  EXPECT_EQ(Samples(out, out + 5), (Samples{1, 2, 3, 4, 5}));
  // Written across the end of the buffer and read back across it.
  EXPECT_EQ(ring.Write(in + 8, 2), 2u);
  EXPECT_EQ(ring.Write(in, 7), 3u);
  EXPECT_EQ(ring.Available(), 8u);
  EXPECT_EQ(ring.Read(out, 16), 8u);
  EXPECT_EQ(Samples(out, out + 8), (Samples{6, 7, 8, 9, 10, 1, 2, 3}));
  EXPECT_EQ(ring.Available(), 0u);
  EXPECT_EQ(ring.Space(), 8u);

  ring.Write(in, 3);
  ring.Reset();
  EXPECT_EQ(ring.Available(), 0u);
  EXPECT_EQ(ring.Read(out, 4), 0u);
  ring.Resize(100);
  EXPECT_EQ(ring.Capacity(), 128u);
  EXPECT_EQ(ring.Write(in, 10), 10u);
  EXPECT_EQ(ring.Read(out, 16), 10u);
  EXPECT_EQ(Samples(out, out + 10), Samples(in, in + 10));
}

class EngineTest : public ::testing::Test {
 protected:
  WaveDir dir_{"engine"};
};

TEST_F(EngineTest, ScalesByTheLevelAndTruncatesTowardZero) {
  struct Case {
    std::int32_t level;
    Samples in, out;
  };
  const Case cases[] = {
      {-6, {1000, -1000}, {501, -501}},
      {-20, {999, -999}, {99, -99}},
      {-50, {32767, -32768}, {103, -103}},
      {-3, {1, -1, 2, -2}, {0, 0, 1, -1}},
      {0, {32767, -32768, 1, -1}, {32767, -32768, 1, -1}},
  };
  for (const Case& c : cases) {
    TestDevice d(1, 8, ASIOSTInt16LSB);
    ASSERT_TRUE(Play(d.Channels(), 0, dir_.Wave("level.wav", c.in)));
    SetChannelLevel(d.Channels(), 0, c.level);
    FillBuffers(d.device, 0);
    Samples expected = c.out;
    expected.resize(8, 0);
    EXPECT_EQ(d.Samples(0, 0), expected) << "level " << c.level;
  }
}

TEST_F(EngineTest, WritesEachSupportedTypeForTheWholeHalfAndNoFurther) {
  struct Case {
    std::int32_t type;
    Bytes first;  // the sample 0x1234
  };
  const Case cases[] = {
      {ASIOSTInt16MSB, {0x12, 0x34}}, {ASIOSTInt24MSB, {0x12, 0x34, 0}}, {ASIOSTInt32MSB, {0x12, 0x34, 0, 0}},
      {ASIOSTInt16LSB, {0x34, 0x12}}, {ASIOSTInt24LSB, {0, 0x34, 0x12}}, {ASIOSTInt32LSB, {0, 0, 0x34, 0x12}},
  };
  for (const Case& c : cases) {
    constexpr std::int32_t kSize = 16;
    TestDevice d(1, kSize, c.type);
    ASSERT_TRUE(Play(d.Channels(), 0, dir_.Wave("type.wav", {0x1234, -2})));
    FillBuffers(d.device, 1);
    const Bytes& b = d.Buffer(0, 1);
    const std::size_t width = c.first.size();
    EXPECT_EQ(Head(b, width), c.first) << c.type;
    // -2 in the same layout, then silence to the end of the half, then nothing.
    Bytes minusTwo = c.first;
    for (auto& byte : minusTwo) byte = byte == 0x12 ? 0xFF : byte == 0x34 ? 0xFE : byte;
    EXPECT_EQ(Bytes(b.begin() + static_cast<std::ptrdiff_t>(width),
                    b.begin() + static_cast<std::ptrdiff_t>(2 * width)),
              minusTwo)
        << c.type;
    for (std::size_t i = 2 * width; i < width * kSize; ++i) ASSERT_EQ(b[i], 0) << c.type << " byte " << i;
    for (std::size_t i = width * kSize; i < b.size(); ++i) ASSERT_EQ(b[i], testing::kUntouched) << c.type;
    EXPECT_EQ(d.Buffer(0, 0), Bytes(d.Buffer(0, 0).size(), testing::kUntouched)) << "the other half";
  }
}

TEST_F(EngineTest, IdleChannelsGetSilenceBesideAPlayingOne) {
  TestDevice d(3, 256, ASIOSTInt24LSB);
  ASSERT_TRUE(Play(d.Channels(), 1, dir_.Wave("one.wav", Samples(300, 0x1234))));
  FillBuffers(d.device, 0);
  for (std::size_t c : {0u, 2u}) EXPECT_EQ(Head(d.Buffer(c, 0), 768), Bytes(768, 0)) << c;
  EXPECT_EQ(Head(d.Buffer(1, 0), 6), (Bytes{0, 0x34, 0x12, 0, 0x34, 0x12}));
  EXPECT_EQ(Head(d.Buffer(1, 0), 768)[766], 0x34);  // the last sample of the half
}

TEST_F(EngineTest, AStreamEndingMidHalfGivesSilenceAndStopsTheChannel) {
  TestDevice d(1, 256, ASIOSTInt16LSB);
  auto channels = d.Channels();
  ASSERT_TRUE(Play(channels, 0, dir_.Wave("five.wav", {1, 2, 3, 4, 5})));
  FillBuffers(d.device, 0);
  Samples expected(256, 0);
  for (int i = 0; i < 5; ++i) expected[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i + 1);
  EXPECT_EQ(d.Samples(0, 0), expected);
  EXPECT_EQ(channels[0].Playing(), 0);
  EXPECT_EQ(channels[0].BytesPlayed(), 10u);
  // Closed: nothing more comes from it, and the next half is silence.
  std::uint8_t probe[2];
  EXPECT_EQ(channels[0].Stream().Read(probe, 2), 0);
  FillBuffers(d.device, 1);
  EXPECT_EQ(d.Samples(0, 1), Samples(256, 0));
}

TEST_F(EngineTest, ALoneLastByteIsALowByte) {
  TestDevice d(1, 4, ASIOSTInt16MSB);
  ASSERT_TRUE(Play(d.Channels(), 0, dir_.Wave("odd.wav", {0x1234}, {0xAB})));
  FillBuffers(d.device, 0);
  EXPECT_EQ(Head(d.Buffer(0, 0), 8), (Bytes{0x12, 0x34, 0x00, 0xAB, 0, 0, 0, 0}));
  EXPECT_EQ(d.device.Channels[0].Playing(), 0);
}

// A type the engine cannot write gets silence, as wide as the type's samples, in
// every output's halves, never the driver's leftovers; a code that is no ASIO type
// at all has no width, and its buffers are not touched.
TEST_F(EngineTest, AnUnsupportedTypeGetsSilenceYetPlaysThrough) {
  using Case = std::pair<std::int32_t, int>;  // type, bytes a sample
  for (const auto& [type, width] :
       {Case{ASIOSTFloat32LSB, 4}, Case{ASIOSTFloat64MSB, 8}, Case{ASIOSTInt32LSB24, 4}, Case{5, 0}}) {
    TestDevice d(2, 64, type);
    auto channels = d.Channels();
    ASSERT_TRUE(Play(channels, 0, dir_.Wave("unheard.wav", Samples(100, 0x1234))));
    FillBuffers(d.device, 0);
    EXPECT_EQ(channels[0].Playing(), 1) << type;
    EXPECT_EQ(channels[0].BytesPlayed(), 128u) << type;
    FillBuffers(d.device, 1);
    EXPECT_EQ(channels[0].Playing(), 0) << type;
    EXPECT_EQ(channels[0].BytesPlayed(), 200u) << type;
    const std::size_t zeros = static_cast<std::size_t>(width) * 64;
    for (std::size_t c = 0; c < 2; ++c)
      for (int h = 0; h < 2; ++h) {
        Bytes expected(d.Buffer(c, h).size(), testing::kUntouched);
        std::fill_n(expected.begin(), zeros, 0);
        EXPECT_EQ(d.Buffer(c, h), expected) << type << " channel " << c << " half " << h;
      }
  }
}

TEST_F(EngineTest, ALevelChangeTakesEffectAtTheNextBufferAndBack) {
  TestDevice d(1, 2, ASIOSTInt16LSB);
  auto channels = d.Channels();
  ASSERT_TRUE(Play(channels, 0, dir_.Wave("steady.wav", Samples(10, 1000))));
  const std::pair<std::int32_t, std::int16_t> steps[] = {
      {0, 1000}, {-6, 501}, {-20, 100}, {-6, 501}, {0, 1000}};
  int h = 0;
  for (auto [level, out] : steps) {
    SetChannelLevel(channels, 0, level);
    FillBuffers(d.device, h);
    EXPECT_EQ(d.Samples(0, h), Samples(2, out)) << level;
    h ^= 1;
  }
}

TEST_F(EngineTest, AStreamTheHostHoldsIsLeftAloneForThatHalf) {
  TestDevice d(2, 4, ASIOSTInt16LSB);
  auto channels = d.Channels();
  ASSERT_TRUE(Play(channels, 0, dir_.Wave("a.wav", {1, 2, 3, 4, 5, 6, 7, 8, 9})));
  ASSERT_TRUE(Play(channels, 1, dir_.Wave("b.wav", {10, 20, 30, 40, 50, 60, 70, 80, 90})));
  {
    std::lock_guard hold(TChannelStateTestAccess::Guard(channels[0]));
    FillBuffers(d.device, 0);
  }
  EXPECT_EQ(d.Samples(0, 0), Samples(4, 0));
  EXPECT_EQ(d.Samples(1, 0), (Samples{10, 20, 30, 40}));
  EXPECT_EQ(channels[0].BytesPlayed(), 0u);
  EXPECT_EQ(channels[0].Playing(), 1);
  // Let go: the channel carries on where it was, and the engine let go of both guards.
  FillBuffers(d.device, 1);
  EXPECT_EQ(d.Samples(0, 1), (Samples{1, 2, 3, 4}));
  EXPECT_EQ(d.Samples(1, 1), (Samples{50, 60, 70, 80}));
  for (auto& channel : channels) {
    EXPECT_TRUE(TChannelStateTestAccess::Guard(channel).try_lock());
    TChannelStateTestAccess::Guard(channel).unlock();
  }
}

TEST_F(EngineTest, PlaysAnMp3FileAsItsStreamDecodesIt) {
  const std::string file = std::string(MP3_TEST_DATA) + "/mono48k-cbr128.mp3";
  Bytes decoded;
  {
    TAudioStream stream;
    WAVEFORMATEX format{};
    ASSERT_TRUE(stream.Open(file, format)) << file;
    std::uint8_t chunk[4096];
    for (std::int32_t n; (n = stream.Read(chunk, sizeof chunk)) > 0;)
      decoded.insert(decoded.end(), chunk, chunk + n);
  }
  ASSERT_GT(decoded.size(), 48000u * 2);  // most of three seconds at 48 kHz

  constexpr std::int32_t kSize = 256;
  TestDevice d(1, kSize, ASIOSTInt16LSB);
  auto channels = d.Channels();
  ASSERT_TRUE(Play(channels, 0, file));
  SetChannelLevel(channels, 0, -6);
  Bytes played;
  for (int h = 0; channels[0].Playing() != 0; h ^= 1) {
    d.Feed();
    FillBuffers(d.device, h);
    const Bytes& b = d.Buffer(0, h);
    played.insert(played.end(), b.begin(), b.begin() + 2 * kSize);
    ASSERT_LT(played.size(), decoded.size() + 4 * kSize) << "never stopped";
  }
  // The decoding at -6 dB, then silence to the end of the last half.
  ASSERT_GE(played.size(), decoded.size());
  ASSERT_LT(played.size() - decoded.size(), 2u * kSize);
  const float gain = LevelGain(-6);
  for (std::size_t i = 0; i < played.size(); i += 2) {
    const auto in = i < decoded.size() ? static_cast<std::int16_t>(decoded[i] | decoded[i + 1] << 8) : 0;
    const auto out = static_cast<std::int16_t>(played[i] | played[i + 1] << 8);
    ASSERT_EQ(out, static_cast<std::int16_t>(std::trunc(in * static_cast<double>(gain)))) << "byte " << i;
  }
}

// An MP3 file with ten megabytes of padding in the middle: the feeder works through
// it a few blocks per read, the driver's thread never touches the stream, the sound
// after the padding follows the sound before it with nothing lost, and the other
// channel plays on exactly.
TEST_F(EngineTest, AStretchWithoutSoundIsTheFeedersWorkAlone) {
  const Bytes mp3 = testing::ReadBytes(std::string(MP3_TEST_DATA) + "/mono48k-cbr128.mp3");
  ASSERT_FALSE(mp3.empty());
  Bytes file = mp3;
  file.insert(file.end(), 10 << 20, 0);
  file.insert(file.end(), mp3.begin(), mp3.end());
  const std::string path = dir_.Path("padded.mp3");
  testing::WriteBytes(path, file);
  Samples decoded;
  {
    TAudioStream stream;
    WAVEFORMATEX format{};
    ASSERT_TRUE(stream.Open(path, format));
    std::uint8_t chunk[4096];
    for (std::int32_t n; (n = stream.Read(chunk, sizeof chunk)) != 0;)
      for (std::int32_t i = 0; i + 1 < n; i += 2)
        decoded.push_back(static_cast<std::int16_t>(chunk[i] | chunk[i + 1] << 8));
  }
  ASSERT_GT(decoded.size(), 2u * 140000);  // both stretches

  constexpr std::int32_t kSize = 64;
  TestDevice d(2, kSize, ASIOSTInt16LSB);
  auto channels = d.Channels();
  ASSERT_TRUE(Play(channels, 0, path));
  const auto halves = decoded.size() / kSize + 2;
  Samples steady(kSize * halves);
  for (std::size_t i = 0; i < steady.size(); ++i) steady[i] = static_cast<std::int16_t>(1 + i % 30000);
  ASSERT_TRUE(Play(channels, 1, dir_.Wave("steady.wav", steady)));

  Samples played;
  int h = 0;
  for (std::size_t n = 0; channels[0].Playing() != 0; ++n, h ^= 1) {
    ASSERT_LT(n, halves) << "channel 0 never stopped";
    d.Feed();
    const std::uint64_t fed = channels[0].Stream().FedBytes();
    FillBuffers(d.device, h);
    ASSERT_EQ(channels[0].Stream().FedBytes(), fed) << "switch " << n;
    const Samples half = d.Samples(0, h);
    played.insert(played.end(), half.begin(), half.end());
    ASSERT_EQ(d.Samples(1, h), Samples(steady.begin() + n * kSize, steady.begin() + (n + 1) * kSize))
        << "switch " << n;
  }
  ASSERT_GE(played.size(), decoded.size());
  EXPECT_EQ(Samples(played.begin(), played.begin() + decoded.size()), decoded);
  EXPECT_EQ(Samples(played.begin() + decoded.size(), played.end()),
            Samples(played.size() - decoded.size(), 0));
}

// A mono 16-bit 48 kHz WAV file of these samples, shared by the sources that read it.
std::shared_ptr<const Bytes> WaveBytes(const Samples& samples) {
  Bytes data = testing::Samples16(samples);
  data.insert(data.end(), 4, 0);  // the four bytes the stream keeps back
  return std::make_shared<const Bytes>(WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, data));
}

Samples Counting(std::size_t length, std::size_t seed) {
  Samples samples(length);
  for (std::size_t i = 0; i < length; ++i)
    samples[i] = static_cast<std::int16_t>(1 + (i + 7919 * seed) % 30000);
  return samples;
}

Samples NonZero(const Samples& heard) {
  Samples sound;
  std::copy_if(heard.begin(), heard.end(), std::back_inserter(sound), [](std::int16_t s) { return s != 0; });
  return sound;
}

// Three channels' files stall, more than the feeder has threads, for longer than the
// other channels' rings last: the feeder starts more threads, so the two healthy
// channels play every sample in place. Meanwhile the host stops one stalled channel
// and plays another file on a second, without waiting for their reads. Once the reads
// go on, the third plays the rest of its file from where it stopped, the stopped one
// stays silent, the second plays its new file alone, the abandoned sources are freed
// and the feeder is back to its usual threads.
TEST_F(EngineTest, StalledSourcesSilenceOnlyTheirOwnChannels) {
  constexpr std::int32_t kSize = 256;
  constexpr std::size_t kChannels = 5, kStalled = 3;
  TestDevice d(kChannels, kSize, ASIOSTInt16LSB);
  auto channels = d.Channels();
  const std::size_t ring = channels[0].Ring().Capacity();
  const std::size_t length = 4 * ring;
  std::vector<Samples> files;
  for (std::size_t c = 0; c < kChannels; ++c) files.push_back(Counting(length, c));
  auto gate = std::make_shared<testing::ReadGate>();
  for (std::size_t c = 0; c < kStalled; ++c) {
    const auto stallAt = static_cast<std::int64_t>(ring + 1000 * c);
    ASSERT_TRUE(testing::PlaySource(channels, static_cast<std::int32_t>(c),
                                    std::make_unique<testing::TroubledSource>(
                                        WaveBytes(files[c]), testing::Trouble{.stallAt = stallAt}, gate)));
  }
  for (std::size_t c = kStalled; c < kChannels; ++c)
    ASSERT_TRUE(Play(channels, static_cast<std::int32_t>(c),
                     dir_.Wave("steady" + std::to_string(c) + ".wav", files[c])));
  TFeeder feeder;
  feeder.Start(channels);

  // Each switch comes once the feeder has the healthy channels' samples ready, as it
  // would in real time; the stalled channels are not waited for.
  std::vector<Samples> heard(kStalled);
  std::size_t played = 0;  // switches so far
  auto switchOnce = [&] {
    for (int wait = 0; wait < 20000; ++wait) {
      if (std::all_of(channels.begin() + kStalled, channels.end(), [](const TChannelState& c) {
            return c.Ring().Available() >= kSize || c.SourceEnded() || c.Playing() == 0;
          }))
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int h = static_cast<int>(played % 2);
    FillBuffers(d.device, h);
    for (std::size_t c = 0; c < kStalled; ++c) {
      const Samples half = d.Samples(c, h);
      heard[c].insert(heard[c].end(), half.begin(), half.end());
    }
    for (std::size_t c = kStalled; c < kChannels; ++c) {
      const std::size_t from = std::min(played * kSize, length), to = std::min(from + kSize, length);
      Samples expected(files[c].begin() + static_cast<std::ptrdiff_t>(from),
                       files[c].begin() + static_cast<std::ptrdiff_t>(to));
      expected.resize(kSize, 0);
      ASSERT_EQ(d.Samples(c, h), expected) << "channel " << c << " switch " << played;
    }
    ++played;
  };
  // Well past the stall: the healthy channels play through more than a ring's worth.
  while (gate->sources.load() != kStalled || !gate->Stalled() || played * kSize < 2 * ring) {
    ASSERT_LT(played * kSize, length) << "the sources never stalled";
    ASSERT_NO_FATAL_FAILURE(switchOnce());
  }
  EXPECT_GT(feeder.Threads(), TFeeder::kThreads) << "threads were started beside the stuck ones";
  for (std::size_t c = 0; c < kStalled; ++c) {
    EXPECT_EQ(std::count(heard[c].end() - kSize, heard[c].end(), 0), kSize)
        << "channel " << c << " is silent";
    EXPECT_EQ(channels[c].Playing(), 1) << "and still playing";
  }
  // The host does not wait for the reads that hang.
  ResetChannel(channels, 1);
  const Samples next = Counting(ring / 2, 9);
  ASSERT_TRUE(Play(channels, 2, dir_.Wave("next.wav", next)));
  heard[1].clear();
  heard[2].clear();
  feeder.Wake();
  gate->Release();
  while (channels[0].Playing() != 0 || channels[2].Playing() != 0 || channels[3].Playing() != 0) {
    ASSERT_LT(played, 3 * length / kSize) << "never stopped";
    ASSERT_NO_FATAL_FAILURE(switchOnce());
  }
  EXPECT_EQ(NonZero(heard[0]), files[0]) << "everything of the stalled file, in order";
  EXPECT_EQ(NonZero(heard[1]), Samples()) << "the stopped channel stays stopped";
  EXPECT_EQ(NonZero(heard[2]), next) << "the new file alone";
  for (int wait = 0; wait < 20000 && (gate->sources.load() != 0 || feeder.Threads() != TFeeder::kThreads);
       ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(gate->sources.load(), 0) << "the abandoned sources are freed, the third closed at its end";
  EXPECT_EQ(feeder.Threads(), TFeeder::kThreads);
  feeder.Stop();
}

// A feeder thread held up after borrowing a channel's source, before its first read
// (descheduled there, as a busy machine does): the host frees the channel meanwhile.
// The thread finds its source abandoned without touching the freed channel (the
// sanitizers' part), lets go of it, and the source is freed.
TEST_F(EngineTest, ABorrowerHeldUpTouchesNoChannelTheHostFreed) {
  class HeldWatch final : public IReadWatch {
   public:
    bool Away(const TChannelSource&) override {
      held.Wait();
      return true;
    }
    void Dropping() override { dropped = true; }
    bool Back() override { return false; }
    testing::ReadGate held;
    std::atomic<bool> dropped{false};
  } watch;
  auto gate = std::make_shared<testing::ReadGate>();
  auto channel = std::make_unique<TChannelState>();
  ASSERT_TRUE(testing::PlaySource(
      std::span<TChannelState>(channel.get(), 1), 0,
      std::make_unique<testing::TroubledSource>(WaveBytes(Counting(10000, 1)), testing::Trouble{}, gate)));
  TVisit visit = TVisit::Worked;
  std::thread borrower([&, at = channel.get()] { visit = VisitChannel(*at, 4096, &watch); });
  while (!watch.held.Stalled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  channel.reset();
  watch.held.Release();
  borrower.join();
  EXPECT_EQ(visit, TVisit::Gone);
  EXPECT_TRUE(watch.dropped);
  EXPECT_EQ(gate->sources.load(), 0);
}

// A driver's thread in real time: a switch every buffer period at 48 kHz, keeping
// what the named channels played, for as long as the test runs.
class PacedDriver {
 public:
  PacedDriver(TestDevice& d, std::vector<std::size_t> kept) : d_(d), heard(d.Channels().size()) {
    thread_ = std::thread([this, kept] {
      const auto period = std::chrono::microseconds(1'000'000LL * d_.device.BufferSize / 48000);
      auto next = std::chrono::steady_clock::now();
      for (int h = 0; !done_.load(); h ^= 1) {
        FillBuffers(d_.device, h);
        for (std::size_t c : kept) {
          const Samples half = d_.Samples(c, h);
          heard[c].insert(heard[c].end(), half.begin(), half.end());
        }
        next += period;
        std::this_thread::sleep_until(next);
      }
    });
  }
  ~PacedDriver() { Stop(); }
  // From here on heard may be read.
  void Stop() {
    done_.store(true);
    if (thread_.joinable()) thread_.join();
  }

 private:
  TestDevice& d_;
  std::atomic<bool> done_{false};
  std::thread thread_;

 public:
  std::vector<Samples> heard;
};

// Buffer halves of `heard` that differ from the same stretch of `file` (silence past
// its end).
std::size_t HalvesWithGaps(const Samples& heard, const Samples& file, std::size_t half) {
  std::size_t gaps = 0;
  for (std::size_t at = 0; at + half <= heard.size(); at += half) {
    for (std::size_t i = at; i < at + half; ++i) {
      if (heard[i] != (i < file.size() ? file[i] : 0)) {
        ++gaps;
        break;
      }
    }
  }
  return gaps;
}

// A show plays a file from a stick that hangs, again and again: each Play abandons
// the source whose read hangs and the next read hangs as well. However many threads
// those reads hold, the channel beside it plays every sample in place, in real time.
TEST_F(EngineTest, ReplayingAHangingFileStarvesNoOtherChannel) {
  constexpr std::int32_t kSize = 256;
  constexpr int kPlays = 10;
  TestDevice d(2, kSize, ASIOSTInt16LSB);
  auto channels = d.Channels();
  const Samples healthy = Counting(48000 * 5, 3);
  const auto hanging = WaveBytes(Counting(48000 * 5, 4));
  auto gate = std::make_shared<testing::ReadGate>();
  ASSERT_TRUE(Play(channels, 1, dir_.Wave("healthy.wav", healthy)));
  TFeeder feeder;
  feeder.Start(channels);
  d.Feed();
  int most = 0;
  {
    PacedDriver driver(d, {1});
    for (int play = 1; play <= kPlays; ++play) {
      ASSERT_TRUE(testing::PlaySource(
          channels, 0,
          std::make_unique<testing::TroubledSource>(hanging, testing::Trouble{.stallAt = 40000}, gate)));
      for (int wait = 0; wait < 300 && gate->waiting.load() < play; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_EQ(gate->waiting.load(), play) << "a thread reads every Play's file";
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      most = std::max(most, feeder.Threads());
    }
    driver.Stop();
    const std::size_t gaps = HalvesWithGaps(driver.heard[1], healthy, kSize);
    std::printf("healthy channel: %zu of %zu buffer halves with gaps; feeder threads at most %d\n", gaps,
                driver.heard[1].size() / kSize, most);
    EXPECT_EQ(gaps, 0u);
  }
  ResetChannel(channels, 0);
  gate->Release();
  for (int wait = 0; wait < 5000 && gate->sources.load() != 0; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(gate->sources.load(), 0) << "every abandoned source is freed once its read returns";
  feeder.Stop();
}

// A cue starts four healthy files together with four whose reads hang at the
// feeder's first read, with the feeder already running: every thread it has is soon
// stuck, long before a read counts as stuck. The healthy channels get a thread while
// their first samples last, and play every sample in place, in real time.
TEST_F(EngineTest, HealthyFilesStartedBesideStallingOnesPlayWhole) {
  constexpr std::int32_t kSize = 256;
  constexpr std::size_t kStalling = 4, kChannels = 8;
  constexpr int kRounds = 3;
  TestDevice d(kChannels, kSize, ASIOSTInt16LSB);
  auto channels = d.Channels();
  std::vector<std::shared_ptr<const Bytes>> stalling;
  for (std::size_t c = 0; c < kStalling; ++c) stalling.push_back(WaveBytes(Counting(48000, c)));
  std::vector<Samples> files;
  std::vector<std::string> paths;
  for (std::size_t c = kStalling; c < kChannels; ++c) {
    files.push_back(Counting(48000, c));
    paths.push_back(dir_.Wave("healthy" + std::to_string(c) + ".wav", files.back()));
  }
  // Several rounds: whether every thread is stuck as the healthy files start depends
  // on how the threads' rounds fall.
  for (int round = 0; round < kRounds; ++round) {
    auto gate = std::make_shared<testing::ReadGate>();
    TFeeder feeder;
    feeder.Start(channels);
    std::size_t gaps = 0;
    {
      PacedDriver driver(d, {4, 5, 6, 7});
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      // Back to back, each waking the feeder as a Play does. A Play reads the first
      // block of 16 KiB; the feeder's first read is the next.
      for (std::size_t c = 0; c < kStalling; ++c) {
        ASSERT_TRUE(testing::PlaySource(channels, static_cast<std::int32_t>(c),
                                        std::make_unique<testing::TroubledSource>(
                                            stalling[c], testing::Trouble{.stallAt = 16428}, gate)));
        feeder.Wake();
      }
      for (std::size_t c = kStalling; c < kChannels; ++c) {
        ASSERT_TRUE(Play(channels, static_cast<std::int32_t>(c), paths[c - kStalling]));
        feeder.Wake();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      driver.Stop();
      for (std::size_t c = kStalling; c < kChannels; ++c) {
        // From the first sound: the switch the Play fell into had none yet.
        const Samples& heard = driver.heard[c];
        const auto first = std::find(heard.begin(), heard.end(), files[c - kStalling][0]);
        ASSERT_NE(first, heard.end()) << "channel " << c;
        gaps += HalvesWithGaps(Samples(first, heard.end()), files[c - kStalling], kSize);
      }
    }
    std::printf(
        "round %d: healthy channels beside %zu stalling ones: %zu buffer halves with gaps; %d threads\n",
        round, kStalling, gaps, feeder.Threads());
    EXPECT_EQ(gate->waiting.load(), static_cast<int>(kStalling)) << "every stalling file stalled";
    EXPECT_EQ(gaps, 0u) << "round " << round;
    for (std::size_t c = 0; c < kChannels; ++c) ResetChannel(channels, static_cast<std::int32_t>(c));
    gate->Release();
    feeder.Stop();
  }
}

// A share whose every read takes a while (45 ms, or TONVANE_READ_MS): four channels
// play from it in real time for 3 s. Reads that take longer than a stall takes to be
// noticed have threads started beside them, but those stay for the next slow read
// rather than ending and being started again.
TEST_F(EngineTest, SlowReadsCostASteadyNumberOfThreads) {
  constexpr std::int32_t kSize = 256;
  constexpr std::size_t kChannels = 4;
  const char* readMs = std::getenv("TONVANE_READ_MS");
  const auto pause = std::chrono::milliseconds(readMs ? std::atoi(readMs) : 45);
  TestDevice d(kChannels, kSize, ASIOSTInt16LSB);
  auto channels = d.Channels();
  std::vector<Samples> files;
  for (std::size_t c = 0; c < kChannels; ++c) {
    files.push_back(Counting(48000 * 4, c));
    ASSERT_TRUE(testing::PlaySource(
        channels, static_cast<std::int32_t>(c),
        std::make_unique<testing::TroubledSource>(WaveBytes(files[c]), testing::Trouble{.pause = pause})));
  }
  std::atomic<int> starts{0};
  TFeederThreadHooks hooks;
  hooks.AtStart = [&starts] { ++starts; };
  TFeeder feeder;
  feeder.Start(channels, std::move(hooks));
  {
    PacedDriver driver(d, {0, 1, 2, 3});
    std::this_thread::sleep_for(std::chrono::seconds(3));
    driver.Stop();
    std::size_t gaps = 0;
    for (std::size_t c = 0; c < kChannels; ++c) gaps += HalvesWithGaps(driver.heard[c], files[c], kSize);
    std::printf(
        "reads of %lld ms: %d thread starts in 3 s (the watcher's among them), %d alive, %zu "
        "halves with gaps\n",
        static_cast<long long>(pause.count()), starts.load(), feeder.Threads(), gaps);
  }
  // The watcher, and each feeder thread the channels may need, started once.
  EXPECT_LE(starts.load(), static_cast<int>(1 + kChannels + 2 * TFeeder::kThreads));
  feeder.Stop();
}

// A read that fails is not the end of the file: WAV and MP3 channels whose reads fail
// for a while play every sample, in order; a file that keeps failing plays what was
// read before the failure and then stops as at its end.
TEST_F(EngineTest, AReadErrorIsTriedAgainWhileTheRingHasSound) {
  constexpr std::int32_t kSize = 256;
  TestDevice d(4, kSize, ASIOSTInt16LSB);
  auto channels = d.Channels();
  const Samples wave = Counting(3 * channels[0].Ring().Capacity(), 1);
  const auto waveBytes = WaveBytes(wave);
  const auto mp3Bytes =
      std::make_shared<const Bytes>(testing::ReadBytes(std::string(MP3_TEST_DATA) + "/mono48k-cbr128.mp3"));
  Samples decoded;
  {
    TAudioStream stream;
    WAVEFORMATEX format{};
    ASSERT_TRUE(stream.Open(std::make_unique<TMemorySource>(mp3Bytes->data(), mp3Bytes->size()),
                            TAudioStream::TKind::Mp3, format));
    std::int16_t piece[512];
    for (std::int32_t got; (got = stream.Read(piece, sizeof piece)) != 0;)
      if (got > 0) decoded.insert(decoded.end(), piece, piece + got / 2);
  }
  const std::int64_t failAt = 70000;
  using testing::Trouble;
  ASSERT_TRUE(testing::PlaySource(
      channels, 0,
      std::make_unique<testing::TroubledSource>(waveBytes, Trouble{.failAt = failAt, .failures = 5})));
  // The analysis reads the whole MP3 file: its reads fail only once it is open.
  auto mp3Gate = std::make_shared<testing::ReadGate>();
  mp3Gate->armed = false;
  ASSERT_TRUE(testing::PlaySource(channels, 1,
                                  std::make_unique<testing::TroubledSource>(
                                      mp3Bytes, Trouble{.failAt = failAt / 4, .failures = 3}, mp3Gate),
                                  TAudioStream::TKind::Mp3));
  mp3Gate->armed = true;
  ASSERT_TRUE(testing::PlaySource(
      channels, 2,
      std::make_unique<testing::TroubledSource>(waveBytes, Trouble{.failAt = failAt, .failures = -1})));
  // A glitch at the very first read of the data, before the channel has any sound.
  ASSERT_TRUE(testing::PlaySource(
      channels, 3,
      std::make_unique<testing::TroubledSource>(waveBytes, Trouble{.failAt = 44, .failures = 1})));
  std::vector<Samples> heard(4);
  for (int n = 0;
       channels[0].Playing() || channels[1].Playing() || channels[2].Playing() || channels[3].Playing();
       ++n) {
    ASSERT_LT(n, 4000) << "never stopped";
    d.Feed();
    FillBuffers(d.device, n % 2);
    for (std::size_t c = 0; c < 4; ++c) {
      const Samples half = d.Samples(c, n % 2);
      heard[c].insert(heard[c].end(), half.begin(), half.end());
    }
  }
  EXPECT_EQ(NonZero(heard[0]), wave);
  EXPECT_EQ(NonZero(heard[1]), NonZero(decoded));
  // The data starts 44 bytes into the file and is read a 16 KiB block at a time: the
  // blocks that start before the failure play, then the channel ends.
  const std::size_t before = (failAt - 44 + 16383) / 16384 * 8192;
  EXPECT_EQ(NonZero(heard[2]), Samples(wave.begin(), wave.begin() + static_cast<std::ptrdiff_t>(before)));
  std::printf("failing once at its first read: %zu of %zu samples played\n", NonZero(heard[3]).size(),
              wave.size());
  EXPECT_EQ(NonZero(heard[3]), wave);

  // One that never reads: the Play says so, and leaves the channel stopped and closed.
  auto gate = std::make_shared<testing::ReadGate>();
  EXPECT_FALSE(testing::PlaySource(
      channels, 3,
      std::make_unique<testing::TroubledSource>(waveBytes, Trouble{.failAt = 44, .failures = -1}, gate)));
  EXPECT_EQ(channels[3].Playing(), TChannelState::kStopped);
  EXPECT_FALSE(channels[3].IsFeeding());
  EXPECT_EQ(gate->sources.load(), 0) << "closed";
}

}  // namespace
}  // namespace tonvane
