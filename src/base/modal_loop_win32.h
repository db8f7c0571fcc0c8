#pragma once

// One of the module's own modal loops (an error box, the open dialog), marked for its
// lifetime.
//
// Such a loop dispatches whatever reaches the host's thread, the host's timers and
// posted messages too, so a release of a window, a window close, a command or the
// host's unload of the library can come while code below the loop still uses the
// window and what it owns. Each loop holds the module while it runs, so that code stays
// loaded. The owner of the windows hears of each loop's end: it may take the loop's hold
// over for a window that outlives it, and carry out what it held back while loops ran
// (see Running).

#include "base/module_hold_win32.h"

namespace tonvane {

class TModalLoop {
 public:
  // outermost: no loop of ours runs on this thread any more. hold: the ended loop's
  // reference to the module; one the handler leaves in place is let go.
  using TEndHandler = void (*)(bool outermost, TModuleHold& hold);
  // Installed by the owner of the windows on the host's thread, before its first window.
  static void SetEndHandler(TEndHandler handler);

  TModalLoop();
  ~TModalLoop();
  TModalLoop(const TModalLoop&) = delete;
  TModalLoop& operator=(const TModalLoop&) = delete;
  // Whether one of our modal loops runs on this thread.
  static bool Running();

 private:
  TModuleHold hold_;
};

}  // namespace tonvane
