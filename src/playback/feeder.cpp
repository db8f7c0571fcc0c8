#include "playback/feeder.h"

#include <algorithm>
#include <condition_variable>
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

}  // namespace

// What the feeder's threads share. Each thread keeps it alive, so that one stuck in
// a read may outlive the feeder that started it.
struct TFeeder::TPool {
  struct TSlot {
    bool reading = false;  // between Away and Back
    TClock::time_point since;
  };

  std::span<TChannelState> channels;
  TFeederThreadHooks hooks;
  std::size_t limit = 0;  // feeder threads at most

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
};

namespace {

using TPoolRef = std::shared_ptr<TFeeder::TPool>;

class TSlotWatch final : public IReadWatch {
 public:
  TSlotWatch(TFeeder::TPool& pool, TFeeder::TPool::TSlot& slot) : pool_(pool), slot_(slot) {}

  bool Away() override {
    std::lock_guard hold(pool_.mutex);
    if (--pool_.scanning == 0) pool_.settled.notify_all();
    if (pool_.stop) return false;
    slot_.reading = true;
    slot_.since = TClock::now();
    return true;
  }
  bool Back() override {
    std::lock_guard hold(pool_.mutex);
    slot_.reading = false;
    if (pool_.stop) return false;
    ++pool_.scanning;
    return true;
  }

 private:
  TFeeder::TPool& pool_;
  TFeeder::TPool::TSlot& slot_;
};

// The end of every thread of the pool: lets go of it, then of the code.
void LeavePool(TPoolRef pool) {
  const std::function<void()> atEnd = pool->hooks.AtEnd;
  pool.reset();
  if (atEnd) atEnd();
}

void FeedLoop(TPoolRef pool, std::list<TFeeder::TPool::TSlot>::iterator slot) {
  if (pool->hooks.AtStart) pool->hooks.AtStart();
  TSlotWatch watch(*pool, *slot);
  std::vector<TFeedOrder> order;
  order.reserve(pool->channels.size());
  std::unique_lock lock(pool->mutex);
  bool scanning = true;
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
    if (round == TVisit::Idle) {
      // One thread too many (back from a stall that another took over) ends.
      if (pool->Free(TClock::now()) > TFeeder::kThreads) break;
      pool->wake.wait_for(lock, kIdle, [&] { return pool->stop || pool->woken; });
    }
    // The round about to begin sees the channel that was started.
    pool->woken = false;
  }
  if (scanning && --pool->scanning == 0) pool->settled.notify_all();
  pool->slots.erase(slot);
  lock.unlock();
  LeavePool(std::move(pool));
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
  bool made = true;
  try {
    std::thread(FeedLoop, pool, slot).detach();
  } catch (const std::system_error&) {
    made = false;
    if (pool->hooks.Unhold) pool->hooks.Unhold();
  }
  lock.lock();
  if (!made) {
    pool->slots.erase(slot);
    if (--pool->scanning == 0) pool->settled.notify_all();
  }
  return made;
}

// The watcher: starts a feeder thread whenever fewer than kThreads are free to read.
// It reads nothing itself, so no storage can hold it up.
void WatchLoop(TPoolRef pool) {
  if (pool->hooks.AtStart) pool->hooks.AtStart();
  std::unique_lock lock(pool->mutex);
  while (!pool->stop) {
    pool->kicked = false;
    if (pool->Free(TClock::now()) < TFeeder::kThreads && pool->slots.size() < pool->limit &&
        Spawn(pool, lock))
      continue;
    pool->watch.wait_for(lock, kWatch, [&] { return pool->stop || pool->kicked; });
  }
  lock.unlock();
  LeavePool(std::move(pool));
}

}  // namespace

TVisit FeedChannels(std::span<TChannelState> channels, std::vector<TFeedOrder>& order, IReadWatch* watch) {
  // The counts are taken once: the driver's thread keeps changing them, and a sort
  // must compare the same values every time.
  order.clear();
  for (std::size_t c = 0; c < channels.size(); ++c) {
    if (!channels[c].Feeding.load(std::memory_order_relaxed)) continue;
    const std::size_t waiting = channels[c].Ring.Waiting();
    if (channels[c].Ring.Capacity() - waiting >= TFeeder::kMinRoom) order.push_back({waiting, c});
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
    if (started) {
      if (pool->hooks.Hold) pool->hooks.Hold();
      try {
        std::thread(WatchLoop, pool).detach();
      } catch (const std::system_error&) {
        if (pool->hooks.Unhold) pool->hooks.Unhold();
        started = false;
      }
    }
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
