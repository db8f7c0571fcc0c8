#include "asio/feeder.h"

#include <algorithm>
#include <chrono>

namespace tonvane {
namespace {

// How long an idle feeder sleeps: a small share of the time a ring lasts.
constexpr auto kIdle = std::chrono::milliseconds(2);

}  // namespace

bool FeedChannels(std::span<TChannelState> channels, std::vector<TFeedOrder>& order) {
  // The counts are taken once: the driver's thread keeps changing them, and a sort
  // must compare the same values every time.
  order.clear();
  for (std::size_t c = 0; c < channels.size(); ++c) {
    const std::size_t waiting = channels[c].Ring.Waiting();
    if (channels[c].Ring.Capacity() - waiting >= TFeeder::kMinRoom) order.push_back({waiting, c});
  }
  std::sort(order.begin(), order.end());
  bool worked = false;
  for (const auto& [waiting, c] : order) {
    TChannelState& channel = channels[c];
    if (!channel.StreamGuard.try_lock()) continue;
    worked |= FeedRing(channel, TFeeder::kFeedChunk);
    channel.StreamGuard.unlock();
  }
  return worked;
}

void TFeeder::Start(std::span<TChannelState> channels, std::function<void()> atStart) {
  Stop();
  channels_ = channels;
  atStart_ = std::move(atStart);
  stop_ = false;
  try {
    for (int i = 0; i < kThreads; ++i) threads_.emplace_back([this] { Run(); });
  } catch (...) {
    Stop();
    throw;
  }
}

void TFeeder::Stop() {
  if (threads_.empty()) return;
  {
    std::lock_guard hold(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (auto& thread : threads_) thread.join();
  threads_.clear();
}

void TFeeder::Wake() {
  {
    std::lock_guard hold(mutex_);
    woken_ = true;
  }
  wake_.notify_one();
}

void TFeeder::Abandon() {
  for (auto& thread : threads_) thread.detach();
  threads_.clear();
}

void TFeeder::Run() {
  if (atStart_) atStart_();
  std::vector<TFeedOrder> order;
  order.reserve(channels_.size());
  std::unique_lock lock(mutex_);
  while (!stop_) {
    lock.unlock();
    const bool worked = FeedChannels(channels_, order);
    lock.lock();
    // A round that read something goes on at once: a stream that gave nothing yet
    // is worked through without pauses, and the others get their turn in between.
    if (!worked) wake_.wait_for(lock, kIdle, [this] { return stop_ || woken_; });
    // The round about to begin sees the channel that was started.
    woken_ = false;
  }
}

}  // namespace tonvane
