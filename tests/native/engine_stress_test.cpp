// The hand-over of channels between the host's thread, the feeder's threads and the
// driver's thread, under load: a driver-like thread fills buffers without pause and
// the device's feeder keeps the rings filled while this thread plays, stops,
// re-plays, refuses files and sets levels on the same channels as fast as it can,
// with WAV and MP3 streams. Meant to run under ThreadSanitizer and AddressSanitizer,
// which see what a bad hand-over does (a read racing a close, a read of a freed
// block, a ring's samples read before they were written); the sample checks see
// what it writes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <pthread.h>
#include <sanitizer/lsan_interface.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "playback/engine.h"
#include "playback/feeder.h"
#include "playback/sample_ring.h"
#include "playback/sample_types.h"
#include "engine_support.h"

#ifndef TONVANE_STRESS_ROUNDS
#define TONVANE_STRESS_ROUNDS 20000
#endif

namespace tonvane {
namespace {

using testing::Play;
using testing::TestDevice;
using testing::WaveDir;

constexpr std::int32_t kLevels[] = {0, -3, -6, -20, -50};
constexpr std::int16_t kValues[] = {1000, 2000};

TEST(EngineStress, HostAndDriverThreadsShareChannelsSafely) {
  WaveDir dir("stress");
  // Short files so that the engine's own stop at the end meets the host's plays often.
  const std::string quiet = dir.Wave("quiet.wav", std::vector<std::int16_t>(100, kValues[0]));
  const std::string loud = dir.Wave("loud.wav", std::vector<std::int16_t>(3000, kValues[1]));
  const std::string mp3 = std::string(MP3_TEST_DATA) + "/mono48k-cbr128.mp3";
  const std::string missing = dir.Path("missing.wav");

  // Channels 0 and 1 play only the WAV files, whose every sample is known; channels
  // 2 and 3 take turns with the MP3 file; channel 4 plays a file whose every read
  // takes a while, so that the host often takes it back from a feeder thread inside
  // a read.
  TestDevice d(5, 32, ASIOSTInt16LSB);
  const auto slowBytes = std::make_shared<const std::vector<std::uint8_t>>(testing::ReadBytes(loud));
  auto slowGate = std::make_shared<testing::ReadGate>();
  auto channels = d.Channels();
  std::set<std::int16_t> allowed = {0};
  for (auto v : kValues)
    for (auto l : kLevels) {
      allowed.insert(
          static_cast<std::int16_t>(static_cast<std::int32_t>(v * static_cast<double>(LevelGain(l)))));
    }

  TFeeder feeder;
  feeder.Start(channels);
  std::atomic<bool> done{false};
  std::atomic<std::uint64_t> fills{0}, wrongSamples{0};
  std::thread driver([&] {
    for (int h = 0; !done.load(std::memory_order_acquire); h ^= 1) {
      FillBuffers(d.device, h);
      for (std::size_t c = 0; c < 2; ++c)
        for (auto s : d.Samples(c, h))
          if (!allowed.contains(s)) wrongSamples.fetch_add(1, std::memory_order_relaxed);
      fills.fetch_add(1, std::memory_order_relaxed);
    }
  });

  std::uint64_t plays = 0, playAttempts = 0;
  for (int i = 0; i < TONVANE_STRESS_ROUNDS; ++i) {
    if (i % 16 == 0) {
      ASSERT_TRUE(testing::PlaySource(
          channels, 4,
          std::make_unique<testing::TroubledSource>(
              slowBytes, testing::Trouble{.pause = std::chrono::microseconds(50)}, slowGate)));
    }
    if (i % 256 == 128) {
      // A glitch at the first read: the Play tries again on the host's thread.
      ASSERT_TRUE(
          testing::PlaySource(channels, 4,
                              std::make_unique<testing::TroubledSource>(
                                  slowBytes, testing::Trouble{.failAt = 44, .failures = 1}, slowGate)));
    }
    if (i % 16 == 9) ResetChannel(channels, 4);
    const std::int32_t c = i % 4;
    const bool mp3Channel = c >= 2;
    const std::string& file = mp3Channel && (i / 4) % 2 == 0 ? mp3 : (i / 8) % 2 ? loud : quiet;
    WAVEFORMATEX format{};
    switch ((i / 4) % 6) {
      case 0:
      case 3:
        ++playAttempts;
        plays += Play(channels, c, file);
        break;
      case 1:
        SetChannelLevel(channels, c, kLevels[(i / 24) % 5]);
        break;
      case 2:
        ResetChannel(channels, c);
        break;
      case 4:
        EXPECT_FALSE(OpenChannelStream(channels, c, missing, format));
        break;
      case 5:
        // Opened, then refused as the play command refuses a wrong format.
        if (OpenChannelStream(channels, c, file, format)) CloseChannelStream(channels, c);
        break;
    }
  }
  // One last file played out by the engine alone.
  ASSERT_TRUE(Play(channels, 0, quiet));
  while (channels[0].Playing() != 0) std::this_thread::yield();
  EXPECT_EQ(channels[0].BytesPlayed(), 200u);
  for (std::int32_t c = 0; c < 5; ++c) ResetChannel(channels, c);
  const std::uint64_t before = fills.load();
  while (fills.load() < before + 4) std::this_thread::yield();
  done.store(true, std::memory_order_release);
  driver.join();
  feeder.Stop();

  EXPECT_EQ(plays, playAttempts);
  EXPECT_EQ(wrongSamples.load(), 0u);
  // Every source abandoned to a thread inside a read is freed once the read is over.
  for (int wait = 0; wait < 5000 && slowGate->sources.load() != 0; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(slowGate->sources.load(), 0);
  // Nothing left playing or held.
  d.Mark();
  FillBuffers(d.device, 0);
  for (std::size_t c = 0; c < 5; ++c) {
    EXPECT_EQ(d.Samples(c, 0), std::vector<std::int16_t>(32, 0)) << c;
    EXPECT_TRUE(TChannelStateTestAccess::Guard(channels[c]).try_lock()) << c;
    TChannelStateTestAccess::Guard(channels[c]).unlock();
  }
  ::testing::Test::RecordProperty("buffers", std::to_string(fills.load()));
  std::printf("%d host operations against %llu buffer switches\n", TONVANE_STRESS_ROUNDS,
              static_cast<unsigned long long>(fills.load()));
}

#if defined(__SANITIZE_ADDRESS__)
std::atomic<int> endsRunning{0};

// A thread's start that runs the feeder's work, frees it, and then ends by the system
// call itself, as FreeLibraryAndExitThread does: nothing on its stack is unwound.
void* EndWithoutUnwinding(void* parameter) {
  {
    const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
  }
  --endsRunning;
  syscall(SYS_exit, 0);
  return nullptr;
}
#endif

// Feeder threads stuck in reads of sources the host abandoned, then stopped, then
// let out of their reads: ThreadSanitizer watches the hand-over of the abandoned
// sources. Under AddressSanitizer each thread's end does not unwind, as one that ends
// inside FreeLibraryAndExitThread: it runs the feeder's work, lets go of it and then
// leaves by the system call itself; once all have ended, nothing any of them made is
// left, and LeakSanitizer finds no block without an owner.
TEST(FeederThreads, EndWithoutUnwindingAndLeaveNothingBehind) {
  WaveDir dir("ends");
  TestDevice d(3, 64, ASIOSTInt16LSB);
  auto channels = d.Channels();
  const auto bytes = std::make_shared<const std::vector<std::uint8_t>>(
      testing::ReadBytes(dir.Wave("long.wav", std::vector<std::int16_t>(200000, 5))));
  auto gate = std::make_shared<testing::ReadGate>();
  TFeederThreadHooks hooks;
#if defined(__SANITIZE_ADDRESS__)
  hooks.Launch = [](std::function<void()> body) {
    auto work = std::make_unique<std::function<void()>>(std::move(body));
    pthread_t thread;
    ++endsRunning;
    if (pthread_create(&thread, nullptr, EndWithoutUnwinding, work.get()) != 0) {
      --endsRunning;
      return false;
    }
    static_cast<void>(work.release());
    pthread_detach(thread);
    return true;
  };
#endif
  TFeeder feeder;
  feeder.Start(channels, std::move(hooks));
  for (std::int32_t c = 0; c < 3; ++c)
    ASSERT_TRUE(testing::PlaySource(
        channels, c,
        std::make_unique<testing::TroubledSource>(bytes, testing::Trouble{.stallAt = 40000}, gate)));
  feeder.Wake();
  for (int wait = 0; wait < 5000 && gate->waiting.load() < 3; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(gate->waiting.load(), 3);
  for (std::int32_t c = 0; c < 3; ++c) ResetChannel(channels, c);
  feeder.Stop();
  gate->Release();
  auto ended = [&] {
#if defined(__SANITIZE_ADDRESS__)
    if (endsRunning.load() != 0) return false;
#endif
    return gate->sources.load() == 0;
  };
  for (int wait = 0; wait < 5000 && !ended(); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(gate->sources.load(), 0);
#if defined(__SANITIZE_ADDRESS__)
  ASSERT_EQ(endsRunning.load(), 0);
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

// A producer and a consumer thread pass a counting sequence through a small ring in
// pieces of every size, wrapping thousands of times: the consumer must see every
// value once and in order, and ThreadSanitizer sees whether the samples are
// published by the head and given back by the tail.
TEST(SampleRingStress, OneProducerAndOneConsumerPassEverySampleInOrder) {
  constexpr std::size_t kTotal = 2'000'000;
  TSampleRing ring(64);
  std::thread producer([&] {
    std::int16_t piece[37];
    std::size_t sent = 0;
    for (std::size_t size = 1; sent < kTotal; size = size % 37 + 1) {
      const std::size_t n = std::min(size, kTotal - sent);
      for (std::size_t i = 0; i < n; ++i) piece[i] = static_cast<std::int16_t>(sent + i);
      std::size_t done = 0;
      while (done < n) {
        done += ring.Write(piece + done, n - done);
        if (done < n) std::this_thread::yield();
      }
      sent += n;
    }
  });
  std::size_t received = 0, wrong = 0;
  std::int16_t piece[53];
  for (std::size_t size = 1; received < kTotal; size = size % 53 + 1) {
    const std::size_t n = ring.Read(piece, size);
    for (std::size_t i = 0; i < n; ++i) wrong += piece[i] != static_cast<std::int16_t>(received + i);
    received += n;
    if (n == 0) std::this_thread::yield();
  }
  producer.join();
  EXPECT_EQ(received, kTotal);
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(ring.Available(), 0u);
}

}  // namespace
}  // namespace tonvane
