// What the driver's callbacks leave for the host's thread, and what the host's
// thread makes of it: the answers to asioMessage, the watch on the switches, the
// tries to open a gone device again.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "asio/asio_message.h"
#include "asio_types.h"
#include "playback/device_monitor.h"

namespace tonvane {
namespace {

using namespace std::chrono_literals;
using TAction = TDeviceMonitor::TAction;
using TState = TDeviceMonitor::TState;

TEST(AsioMessageTest, AnswersWhatIsHandledAndRecordsAResetRequest) {
  TResetRequest reset;
  for (std::int32_t handled :
       {kAsioEngineVersion, kAsioResetRequest, kAsioResyncRequest, kAsioLatenciesChanged})
    EXPECT_EQ(AnswerAsioMessage(reset, kAsioSelectorSupported, handled), 1) << handled;
  // A buffer size change is not handled, so the driver falls back to a reset request;
  // the buffer switch takes no time info.
  for (std::int32_t other : {kAsioSelectorSupported, kAsioBufferSizeChange, kAsioSupportsTimeInfo,
                             kAsioSupportsTimeCode, 0, 9, 1000, -1})
    EXPECT_EQ(AnswerAsioMessage(reset, kAsioSelectorSupported, other), 0) << other;
  EXPECT_FALSE(reset.Take()) << "asking whether it is supported requests nothing";

  EXPECT_EQ(AnswerAsioMessage(reset, kAsioEngineVersion, 0), 2);
  for (std::int32_t other : {kAsioBufferSizeChange, kAsioResyncRequest, kAsioLatenciesChanged,
                             kAsioSupportsTimeInfo, kAsioSupportsTimeCode, 0, 77})
    EXPECT_EQ(AnswerAsioMessage(reset, other, 512), 0) << other;
  EXPECT_FALSE(reset.Take());

  EXPECT_EQ(AnswerAsioMessage(reset, kAsioResetRequest, 0), 1);
  EXPECT_EQ(AnswerAsioMessage(reset, kAsioResetRequest, 0), 1);
  EXPECT_TRUE(reset.Take()) << "two requests before the host looks are one reset";
  EXPECT_FALSE(reset.Take());
}

// The driver's thread counts and asks while the host's thread looks; under the
// sanitizers no access races, and requests are taken, merged, never made up.
TEST(DeviceSignalsTest, ADriverThreadAndTheHostsThreadShareThemWithoutALock) {
  TSwitchCount switches;
  TResetRequest reset;
  constexpr std::uint32_t kSwitches = 200000;
  std::thread driver([&] {
    for (std::uint32_t i = 0; i < kSwitches; ++i) {
      switches.Count();
      if (i % 1000 == 0) AnswerAsioMessage(reset, kAsioResetRequest, 0);
    }
  });
  std::uint32_t last = 0;
  int taken = 0;
  while (last != kSwitches) {
    const std::uint32_t now = switches.Get();
    ASSERT_GE(now, last) << "the count never goes back while one thread counts";
    last = now;
    taken += reset.Take() ? 1 : 0;
  }
  driver.join();
  taken += reset.Take() ? 1 : 0;
  EXPECT_GE(taken, 1);
  EXPECT_LE(taken, static_cast<int>(kSwitches / 1000));
}

TEST(DeviceMonitorTest, TheBoundIsSeveralPeriodsOfTheBufferWithinHalfASecondAndOne) {
  EXPECT_EQ(TDeviceMonitor::Bound(64, 48000), 500ms);
  EXPECT_EQ(TDeviceMonitor::Bound(2048, 48000), std::chrono::nanoseconds(682666666));
  EXPECT_EQ(TDeviceMonitor::Bound(8192, 44100), 1s) << "the largest buffers: still within a second";
  EXPECT_GE(TDeviceMonitor::Bound(8192, 44100), 2 * 2 * 8192 * 1s / 44100) << "and two periods at least";
  EXPECT_EQ(TDeviceMonitor::Bound(0, 48000), 1s);
  EXPECT_EQ(TDeviceMonitor::Bound(256, 0), 1s);
}

// One device's life as the host's looks see it, 50 ms apart.
TEST(DeviceMonitorTest, WatchesTheSwitchesResetsOnRequestAndTriesAGoneDeviceAgain) {
  TDeviceMonitor monitor;
  TDeviceMonitor::TTime t{};
  std::uint32_t switches = 7;
  EXPECT_EQ(monitor.Poll(t, switches, true), TAction::None) << "no device to keep: nothing to do";

  monitor.Started(t, switches, 256, 48000);  // bound 500 ms
  EXPECT_EQ(monitor.State(), TState::Running);
  for (int i = 0; i < 40; ++i) {
    t += 50ms;
    switches += 19;
    ASSERT_EQ(monitor.Poll(t, switches, false), TAction::None);
  }
  t += 50ms;
  EXPECT_EQ(monitor.Poll(t, switches, true), TAction::Reset);
  monitor.Started(t, switches, 512, 48000);

  // Stands still: a look at exactly the bound is not yet silence, the next is.
  const auto stillFrom = t;
  while (t - stillFrom < 500ms) {
    t += 50ms;
    ASSERT_EQ(monitor.Poll(t, switches, false), TAction::None) << (t - stillFrom) / 1ms;
  }
  t += 50ms;
  EXPECT_EQ(monitor.Poll(t, switches, false), TAction::Lost);
  EXPECT_EQ(monitor.State(), TState::Gone);
  EXPECT_EQ(monitor.Poll(t, switches, false), TAction::None) << "lost once";

  // Tried after 250 ms, then 0.5, 1, 2, 2 s: never more than 2 s apart.
  std::vector<std::chrono::milliseconds> gaps;
  auto last = t;
  while (gaps.size() < 5) {
    t += 50ms;
    if (monitor.Poll(t, switches, false) == TAction::Retry) {
      gaps.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(t - last));
      last = t;
      monitor.TryFailed(t);
    }
  }
  EXPECT_EQ(gaps, (std::vector<std::chrono::milliseconds>{250ms, 500ms, 1000ms, 2000ms, 2000ms}));

  // A device that comes back asks for a reset: tried at once.
  t += 50ms;
  EXPECT_EQ(monitor.Poll(t, switches, true), TAction::Retry);
  monitor.Started(t, switches, 256, 48000);
  t += 50ms;
  switches += 3;
  EXPECT_EQ(monitor.Poll(t, switches, false), TAction::None);
  // A wrapped count still moves.
  monitor.Started(t, 0xFFFFFFF0u, 256, 48000);
  t += 400ms;
  EXPECT_EQ(monitor.Poll(t, 5u, false), TAction::None);
  t += 400ms;
  EXPECT_EQ(monitor.Poll(t, 5u, false), TAction::None);
  t += 200ms;
  EXPECT_EQ(monitor.Poll(t, 5u, false), TAction::Lost);

  // A device that stays away after a failed open is tried from the start of the schedule.
  monitor.Lost(t);
  t += 250ms;
  EXPECT_EQ(monitor.Poll(t, 5u, false), TAction::Retry);
  monitor.Stop();
  t += 10s;
  EXPECT_EQ(monitor.Poll(t, 5u, true), TAction::None) << "closed: nothing more";
}

}  // namespace
}  // namespace tonvane
