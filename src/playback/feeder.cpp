#include "playback/feeder.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace tonvane {
namespace {

using TClock = std::chrono::steady_clock;

// How long an idle feeder thread sleeps: a small share of the time a ring lasts.
constexpr auto kIdle = std::chrono::milliseconds(2);
// How often the watcher looks for stuck threads. A Play also has it look at once.
constexpr auto kWatch = std::chrono::milliseconds(10);
// A read this long keeps its thread from a channel that runs low: far longer than a
// healthy disk's read or a decoder's work on one visit, far shorter than the sound a
// Play starts with.
constexpr auto kBusy = std::chrono::milliseconds(5);

}  // namespace

// What the feeder's threads share. Each thread keeps it alive, so that one stuck in
// a read may outlive the feeder that started it.
struct TFeeder::TPool {
  struct TSlot {
    bool reading = false;  // between Away and Back
    TClock::time_point since;
    // What the thread reads while reading: alive until Back or Dropping.
    const TChannelSource* source = nullptr;
    bool dropped = false;  // its source was abandoned and is being let go of
  };

  std::span<TChannelState> channels;
  TFeederThreadHooks hooks;
  std::size_t limit = 0;  // feeder threads for live channels at most

  std::mutex mutex;
  std::condition_variable wake;     // idle feeder threads sleep on it
  std::condition_variable watch;    // the watcher sleeps on it
  std::condition_variable settled;  // Stop waits on it
  bool stop = false;
  bool woken = false;      // a wake no feeder thread has begun a round for since
  bool kicked = false;     // a wake the watcher has not looked at yet
  int scanning = 0;        // feeder threads that may touch the channels now
  std::list<TSlot> slots;  // one per feeder thread alive

  // Under mutex: threads not stuck in a read.
  int Free(TClock::time_point now) const {
    return static_cast<int>(std::count_if(slots.begin(), slots.end(), [now](const TSlot& slot) {
      return !slot.reading || now - slot.since < kStuck;
    }));
  }
  // Under mutex: threads inside a read of a source the host has abandoned.
  std::size_t Abandoned() const {
    return static_cast<std::size_t>(std::count_if(slots.begin(), slots.end(), [](const TSlot& slot) {
      return slot.reading &&
             (slot.dropped || (slot.source && slot.source->Abandoned.load(std::memory_order_relaxed)));
    }));
  }
  // Under mutex, before Stop: whether every thread has been inside a read for a while
  // (longer than a healthy disk's read, or a decoder's work on one visit) while a
  // channel that no thread has out runs low.
  bool Starving(TClock::time_point now) const {
    if (std::any_of(slots.begin(), slots.end(),
                    [now](const TSlot& slot) { return !slot.reading || now - slot.since < kBusy; }))
      return false;
    return std::any_of(channels.begin(), channels.end(), [](const TChannelState& channel) {
      return channel.IsFeeding() && !channel.IsLent() && channel.Ring().Waiting() < kLowWater;
    });
  }
  // Under mutex: whether the watcher starts another thread now.
  bool Short(TClock::time_point now) const {
    const std::size_t abandoned = Abandoned();
    if (slots.size() - abandoned >= limit) return false;
    if (slots.size() >= limit + static_cast<std::size_t>(kAbandonedThreads)) return false;
    return Free(now) < kThreads || Starving(now);
  }
};

namespace {

using TPoolRef = std::shared_ptr<TFeeder::TPool>;
using TSlotRef = std::list<TFeeder::TPool::TSlot>::iterator;

class TSlotWatch final : public IReadWatch {
 public:
  TSlotWatch(TFeeder::TPool& pool, TFeeder::TPool::TSlot& slot) : pool_(pool), slot_(slot) {}

  bool Away(const TChannelSource& source) override {
    std::lock_guard hold(pool_.mutex);
    if (--pool_.scanning == 0) pool_.settled.notify_all();
    if (pool_.stop) return false;
    slot_.reading = true;
    slot_.since = TClock::now();
    slot_.source = &source;
    slot_.dropped = false;
    return true;
  }
  void Dropping() override {
    std::lock_guard hold(pool_.mutex);
    slot_.source = nullptr;
    slot_.dropped = true;
  }
  bool Back() override {
    std::lock_guard hold(pool_.mutex);
    slot_.reading = false;
    slot_.source = nullptr;
    slot_.dropped = false;
    if (pool_.stop) return false;
    ++pool_.scanning;
    return true;
  }

 private:
  TFeeder::TPool& pool_;
  TFeeder::TPool::TSlot& slot_;
};

// A feeder thread's work, until Stop or until it is one too many. Everything it
// makes is gone when it returns.
void FeedLoop(const TPoolRef& pool, TSlotRef slot) {
  if (pool->hooks.AtStart) pool->hooks.AtStart();
  TSlotWatch watch(*pool, *slot);
  std::vector<TFeedOrder> order;
  order.reserve(pool->channels.size());
  std::unique_lock lock(pool->mutex);
  bool scanning = true;
  auto idleSince = TClock::now();
  while (!pool->stop) {
    lock.unlock();
    const TVisit round = FeedChannels(pool->channels, order, &watch);
    lock.lock();
    if (round == TVisit::Gone) {
      scanning = false;
      break;
    }
    // A round that read something goes on at once: a stream that gave nothing yet
    // is worked through without pauses, and the others get their turn in between.
    const auto now = TClock::now();
    if (round == TVisit::Worked) idleSince = now;
    if (round == TVisit::Idle) {
      // A thread too many (back from a stall that another took over) ends once it
      // has had nothing to do for a while.
      if (now - idleSince >= TFeeder::kRetire && pool->Free(now) > TFeeder::kThreads) break;
      pool->wake.wait_for(lock, kIdle, [&] { return pool->stop || pool->woken; });
    }
    // The round about to begin sees the channel that was started.
    pool->woken = false;
  }
  if (scanning && --pool->scanning == 0) pool->settled.notify_all();
  pool->slots.erase(slot);
}

// Makes a thread of the pool that runs `work` with its own reference to the pool and
// lets go of it when done, before the thread ends. False when the system would not.
template <typename Work>
bool Launch(const TPoolRef& pool, Work work) {
  try {
    std::function<void()> body = [ref = pool, work]() mutable {
      work(ref);
      ref.reset();
    };
    if (pool->hooks.Launch) return pool->hooks.Launch(std::move(body));
    std::thread(std::move(body)).detach();
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// One more feeder thread, counted as scanning from the start so that Stop waits for
// it. The pool's mutex is held on entry and on return, but not while the thread is
// made, which may take a while: the feeder threads need the mutex meanwhile. False
// when the system would not make it.
bool Spawn(const TPoolRef& pool, std::unique_lock<std::mutex>& lock) {
  const auto slot = pool->slots.emplace(pool->slots.end());
  ++pool->scanning;
  lock.unlock();
  if (pool->hooks.Hold) pool->hooks.Hold();
  const bool made = Launch(pool, [slot](const TPoolRef& p) { FeedLoop(p, slot); });
  if (!made && pool->hooks.Unhold) pool->hooks.Unhold();
  lock.lock();
  if (!made) {
    pool->slots.erase(slot);
    if (--pool->scanning == 0) pool->settled.notify_all();
  }
  return made;
}

// The watcher: starts a feeder thread whenever the pool is short of one. It reads
// nothing itself, so no storage can hold it up; while a channel runs low with every
// thread inside a read it looks again soon.
void WatchLoop(const TPoolRef& pool) {
  if (pool->hooks.AtStart) pool->hooks.AtStart();
  std::unique_lock lock(pool->mutex);
  while (!pool->stop) {
    pool->kicked = false;
    if (pool->Short(TClock::now()) && Spawn(pool, lock)) continue;
    const auto period = !pool->stop && pool->Starving(TClock::now()) ? kIdle : kWatch;
    pool->watch.wait_for(lock, period, [&] { return pool->stop || pool->kicked; });
  }
}

}  // namespace

TVisit FeedChannels(std::span<TChannelState> channels, std::vector<TFeedOrder>& order, IReadWatch* watch) {
  // The counts are taken once: the driver's thread keeps changing them, and a sort
  // must compare the same values every time.
  order.clear();
  for (std::size_t c = 0; c < channels.size(); ++c) {
    if (!channels[c].IsFeeding()) continue;
    const std::size_t waiting = channels[c].Ring().Waiting();
    if (channels[c].Ring().Capacity() - waiting >= TFeeder::kMinRoom) order.push_back({waiting, c});
  }
  std::sort(order.begin(), order.end());
  TVisit round = TVisit::Idle;
  for (const auto& [waiting, c] : order) {
    const TVisit visit = VisitChannel(channels[c], TFeeder::kFeedChunk, watch);
    if (visit == TVisit::Gone) return visit;
    if (visit == TVisit::Worked) round = visit;
  }
  return round;
}

void TFeeder::Start(std::span<TChannelState> channels, TFeederThreadHooks hooks) {
  Stop();
  auto pool = std::make_shared<TPool>();
  pool->channels = channels;
  pool->hooks = std::move(hooks);
  pool->limit = channels.size() + 2 * kThreads;
  pool_ = pool;
  bool started = true;
  {
    std::unique_lock lock(pool->mutex);
    for (int i = 0; started && i < kThreads; ++i) started = Spawn(pool, lock);
  }
  if (started) {
    if (pool->hooks.Hold) pool->hooks.Hold();
    started = Launch(pool, WatchLoop);
    if (!started && pool->hooks.Unhold) pool->hooks.Unhold();
  }
  if (!started) {
    Stop();
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
}

void TFeeder::Stop() {
  if (!pool_) return;
  {
    std::unique_lock lock(pool_->mutex);
    pool_->stop = true;
    pool_->wake.notify_all();
    pool_->watch.notify_all();
    pool_->settled.wait(lock, [this] { return pool_->scanning == 0; });
  }
  pool_.reset();
}

void TFeeder::Wake() {
  if (!pool_) return;
  {
    std::lock_guard hold(pool_->mutex);
    pool_->woken = true;
    pool_->kicked = true;
  }
  pool_->wake.notify_one();
  pool_->watch.notify_one();
}

void TFeeder::Abandon() {
  if (!pool_) return;
  // Moved into storage that is never destroyed, so that the pool is not freed: a
  // thread the system ended may have left the heap, or the pool's mutex, held.
  alignas(TPoolRef) static unsigned char forgotten[sizeof(TPoolRef)];
  new (forgotten) TPoolRef(std::move(pool_));
}

int TFeeder::Threads() const {
  if (!pool_) return 0;
  std::lock_guard hold(pool_->mutex);
  return static_cast<int>(pool_->slots.size());
}

}  // namespace tonvane
