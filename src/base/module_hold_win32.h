#pragma once

// Keeping this module loaded while code of ours may still run or stand on a stack.
//
// A host may free the library at any moment it gets control: after its own calls, but
// also from a timer or a posted message that one of our modal loops dispatches, or
// while a driver's thread still calls in. Each TModuleHold is one reference of the
// module to itself (the system's own module count does the counting), so the library
// stays until every hold is let go.
//
// A hold is taken on a thread that runs a message loop (the host's): one taken on a
// thread that never takes messages is kept for good. It is let go from a thread of
// its own, which first waits until the taking thread is back in its loop (a message
// sent to a system window of that thread returns only then), so that no code of ours
// still runs on it, and then ends inside FreeLibraryAndExitThread, never returning
// into code that may just have been unloaded.

#include <windows.h>

namespace tonvane {

class TModuleHold {
 public:
  // Holds nothing.
  TModuleHold() = default;
  // A new reference to this module, taken on the calling thread. Holds nothing when
  // the system refuses one.
  static TModuleHold Take();

  TModuleHold(TModuleHold&& other) noexcept;
  // Lets go of what this held, then takes over other's hold.
  TModuleHold& operator=(TModuleHold&& other) noexcept;
  TModuleHold(const TModuleHold&) = delete;
  TModuleHold& operator=(const TModuleHold&) = delete;
  ~TModuleHold() { LetGo(); }

  explicit operator bool() const { return module_ != nullptr; }
  // Hands the reference to the release thread; afterwards this holds nothing. When no
  // thread can be started the reference is kept for good: a library that stays loaded
  // is harmless, one unloaded under our feet is not.
  void LetGo();

 private:
  HMODULE module_ = nullptr;
  HWND gate_ = nullptr;  // a system "STATIC" window of the thread that took the hold
};

}  // namespace tonvane
