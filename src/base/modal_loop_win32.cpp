#include "base/modal_loop_win32.h"

namespace tonvane {

namespace {
// Our modal loops run on the host's thread, one inside another when a command that
// arrives during a box shows a box of its own.
thread_local int modalDepth = 0;
TModalLoop::TEndHandler endHandler = nullptr;
}  // namespace

void TModalLoop::SetEndHandler(TEndHandler handler) { endHandler = handler; }

TModalLoop::TModalLoop() : hold_(TModuleHold::Take()) { ++modalDepth; }

TModalLoop::~TModalLoop() {
  --modalDepth;
  if (endHandler) endHandler(modalDepth == 0, hold_);
}

bool TModalLoop::Running() { return modalDepth > 0; }

}  // namespace tonvane
