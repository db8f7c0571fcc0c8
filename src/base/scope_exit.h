#pragma once

#include <utility>

namespace tonvane {

// Runs an action when the scope ends, however it ends: a flag set for the length of
// a call, a handler taken away and put back.
template <typename Action>
class TScopeExit {
 public:
  explicit TScopeExit(Action action) : action_(std::move(action)) {}
  ~TScopeExit() { action_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  Action action_;
};

}  // namespace tonvane
