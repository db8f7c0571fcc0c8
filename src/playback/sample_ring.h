#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tonvane {

// A channel's samples between the thread that reads them from the file and the
// driver's thread that plays them: one producer, one consumer, no lock, no wait.
//
// Head and tail count samples ever written and ever taken; their difference is what
// is waiting, and their low bits are the positions in the buffer. Each side stores
// its own counter with release after touching the samples, and loads the other's
// with acquire before touching them, so a consumer that sees a head sees the samples
// below it, and a producer that sees a tail may write over the samples below it.
//
// Reset empties the ring when neither side is inside it (the channel's owners keep
// both out); their next entry sees it through whatever kept them out.
class TSampleRing {
 public:
  // capacity is rounded up to a power of two.
  explicit TSampleRing(std::size_t capacity);

  std::size_t Capacity() const { return mask_ + 1; }
  // Empties the ring and gives it a new capacity; only while neither side is inside.
  void Resize(std::size_t capacity);

  // Producer side.
  std::size_t Space() const {
    return Capacity() - (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire));
  }
  // Copies as many of the samples as there is room for, and returns how many.
  std::size_t Write(const std::int16_t* samples, std::size_t count);

  // Consumer side.
  std::size_t Available() const {
    return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
  }
  // Moves up to count of the oldest samples out, and returns how many.
  std::size_t Read(std::int16_t* samples, std::size_t count);

  // Either side may ask, for scheduling only: a moment old, and never torn.
  std::size_t Waiting() const {
    return head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_relaxed);
  }

  void Reset() {
    head_.store(0, std::memory_order_relaxed);
    tail_.store(0, std::memory_order_relaxed);
  }

 private:
  std::size_t mask_;
  std::unique_ptr<std::int16_t[]> samples_;
  // On lines of their own, so that each side's stores do not take the other's line.
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

}  // namespace tonvane
