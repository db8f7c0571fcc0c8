#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace tonvane {

// Plays sent back to back start together. A show's cue is often several Plays in a
// row (the stems of one mix, a stereo pair played as two mono files), and a buffer
// switch that fell between two of them would start the pair apart and pull the image
// to one side. So a Play only makes its channel ready and puts it in the open group;
// the driver's thread starts the whole group at the beginning of one switch, once no
// Play has come for kQuiet, or once the group has waited kBound, so that a host that
// never pauses is still heard promptly. A Play reads its file's header and first
// samples on the host's thread, which on a cold disk or share takes tens of
// milliseconds: that time is the Play's own, not the host's silence, so it neither
// closes a group nor counts against the bound. Plays further apart than kQuiet start
// apart, keeping their spacing.
//
// Groups are numbered; a channel waits for the number of the group it joined. One
// word holds the open group's number and three flags, and the driver's thread closes
// a group by moving the number on in a single compare-and-swap, so no switch sees
// half a group:
// - Preparing: a Play is on its way (reading its file): the group stays open for it.
//   The host's thread is inside that Play meanwhile, so no later Play of the cue
//   could come any sooner.
// - Joining: the host's thread is putting a channel in the group; the group is not
//   closed in between.
// - Members: the open group has a channel in it.
// Only the host's thread sets the flags, and it is the only thread that joins.
class TStartCue {
 public:
  // How long after a Play the group waits for another. A host sends the Plays of a
  // cue microseconds apart, but its thread may be interrupted between two of them for
  // a while on a busy machine; a lone Play starts up to this much later than it
  // would alone, which keeps it within a buffer period and 3 ms of its command
  // (median) at the smallest buffers.
  static constexpr std::int64_t kQuietMicros = 2000;
  // How long a group waits at most from its first Play, not counting the time in
  // which a Play was on its way.
  static constexpr std::int64_t kBoundMicros = 50000;

  using TClock = std::int64_t (*)();
  // Microseconds of a steady clock.
  static std::int64_t SteadyMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  // Host's thread.
  // A Play has begun.
  void Arrive() {
    arrived_ = Clock();
    last_.store(arrived_, std::memory_order_relaxed);
    word_.fetch_or(kPreparing, std::memory_order_release);
  }
  // A Play that arrived will not join (its file was refused).
  void Leave() {
    // The open group waited for this Play for nothing: that time is not the host's.
    if ((word_.load(std::memory_order_relaxed) & kMembers) != 0)
      due_.fetch_add(Clock() - arrived_, std::memory_order_relaxed);
    word_.fetch_and(~kPreparing, std::memory_order_release);
  }
  // Puts a ready channel in the open group: arm(group) stores the group's number in
  // the channel and marks it waiting, and is called while the group cannot close.
  template <typename Arm>
  void Join(Arm&& arm) {
    const std::uint32_t before = word_.fetch_or(kJoining, std::memory_order_acquire);
    const std::int64_t now = Clock();
    if ((before & kMembers) == 0)
      due_.store(now + kBoundMicros, std::memory_order_relaxed);
    else if ((before & kPreparing) != 0)
      due_.fetch_add(now - arrived_, std::memory_order_relaxed);
    last_.store(now, std::memory_order_relaxed);
    arm(before >> kShift);
    // Release: a switch that sees Members sees the channel armed and the times.
    word_.store(((before >> kShift) << kShift) | kMembers, std::memory_order_release);
  }
  // The device closed: whatever was waiting has been stopped.
  void Reset() { word_.fetch_and(~(kMembers | kJoining), std::memory_order_release); }

  // Driver's thread, once at the start of each switch: closes the open group if its
  // time has come, and returns the number of the open group. A channel waiting for a
  // group before it starts in this switch. Reads the clock only while a group waits
  // for nothing but time.
  std::uint32_t Open() {
    std::uint32_t word = word_.load(std::memory_order_acquire);
    // Not while a Play is on its way or joining: it belongs to this group.
    if ((word & (kMembers | kJoining | kPreparing)) != kMembers) return word >> kShift;
    const std::int64_t now = Clock();
    const bool quiet = now - last_.load(std::memory_order_relaxed) >= kQuietMicros;
    const bool due = now >= due_.load(std::memory_order_relaxed);
    if (quiet || due) {
      const std::uint32_t next = ((word >> kShift) + 1) << kShift;
      if (word_.compare_exchange_strong(word, next, std::memory_order_acq_rel)) word = next;
    }
    return word >> kShift;
  }
  // Whether a channel waiting for `group` starts when the open group is `open`.
  // Numbers have the word's bits above the flags and wrap there: compared in that
  // width, a group half the numbers behind is before, however they wrapped.
  static bool Started(std::uint32_t group, std::uint32_t open) {
    return static_cast<std::int32_t>((group - open) << kShift) < 0;
  }

  // For tests: the clock both sides read.
  TClock Clock = SteadyMicros;

 private:
  static constexpr std::uint32_t kPreparing = 1, kJoining = 2, kMembers = 4;
  static constexpr int kShift = 3;

  std::atomic<std::uint32_t> word_{0};
  // When the open group is due at the latest: its first Play's time and kBound, moved
  // on by the time each later Play was on its way.
  std::atomic<std::int64_t> due_{0};
  std::atomic<std::int64_t> last_{0};
  // The host's thread's own: when the Play on its way arrived.
  std::int64_t arrived_ = 0;
};

}  // namespace tonvane
