#include "playback/sample_ring.h"

#include <algorithm>
#include <bit>

namespace tonvane {

TSampleRing::TSampleRing(std::size_t capacity) { Resize(capacity); }

void TSampleRing::Resize(std::size_t capacity) {
  mask_ = std::bit_ceil(std::max<std::size_t>(capacity, 2)) - 1;
  samples_ = std::make_unique<std::int16_t[]>(mask_ + 1);
  Reset();
}

std::size_t TSampleRing::Write(const std::int16_t* samples, std::size_t count) {
  const std::size_t head = head_.load(std::memory_order_relaxed);
  count = std::min(count, Capacity() - (head - tail_.load(std::memory_order_acquire)));
  const std::size_t at = head & mask_;
  const std::size_t first = std::min(count, Capacity() - at);
  std::copy_n(samples, first, samples_.get() + at);
  std::copy_n(samples + first, count - first, samples_.get());
  head_.store(head + count, std::memory_order_release);
  return count;
}

std::size_t TSampleRing::Read(std::int16_t* samples, std::size_t count) {
  const std::size_t tail = tail_.load(std::memory_order_relaxed);
  count = std::min(count, head_.load(std::memory_order_acquire) - tail);
  const std::size_t at = tail & mask_;
  const std::size_t first = std::min(count, Capacity() - at);
  std::copy_n(samples_.get() + at, first, samples);
  std::copy_n(samples_.get(), count - first, samples + first);
  tail_.store(tail + count, std::memory_order_release);
  return count;
}

}  // namespace tonvane
