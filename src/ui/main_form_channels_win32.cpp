// The main window's channel strips: the user's requests to the channel operations,
// and every channel's state, progress and level shown at every tick.
#include <windows.h>

#include <cstdio>

#include "base/exception.h"
#include "base/scope_exit.h"
#include "ui/chan_frame_win32.h"
#include "ui/error_box_win32.h"
#include "ui/main_form_win32.h"

namespace tonvane {

void TMainForm::CreateStrip(std::int32_t index) {
  auto frame = std::make_unique<TChanFrame>(ChanSB->Handle(), index);
  char name[32];
  std::snprintf(name, sizeof name, "ChanFrame%d", static_cast<int>(index));
  frame->SetName(name);
  frame->OnPlay = [this](TControl& sender) { OnStripPlay(sender); };
  frame->OnStop = [this](TControl& sender) { OnStripStop(sender); };
  frame->OnLevelChange = [this](TControl& sender) { OnStripLevelChange(sender); };
  frame->SetBounds(0, TChanFrame::kDesignHeight * index, frame->Width(), TChanFrame::kDesignHeight);
  strips_.push_back(std::move(frame));
}

void TMainForm::FreeStrips() { strips_.clear(); }

void TMainForm::RefreshStrips() {
  // One look at the window and the column's scroll position for the whole tick: the
  // strips of a long column, most of them scrolled away, then cost no walk up their
  // parents each. The strips stand one under the other from the top of the column.
  const bool shown = IsWindowVisible(handle_) && !IsIconic(handle_);
  const int top = ChanSB->ScrollPos();
  tickSight_ = TColumnSight{shown, top, top + ChanSB->ClientHeight()};
  const TScopeExit done([this] { tickSight_.reset(); });
  for (std::size_t i = 0; i < strips_.size() && i < player_.ChannelCount(); ++i) {
    TChanFrame& strip = *strips_[i];
    const TChannelSnapshot now = player_.Snapshot(i);
    // The strip's controls learn from the tick whether they can be seen, rather than
    // asking the window system each.
    strip.SetKnownSight(StripInSight(static_cast<int>(i)));
    const TScopeExit forget([&strip] { strip.SetKnownSight(std::nullopt); });
    strip.SetPlaying(now.Playing);
    if (now.Playing) strip.ShowProgress(now.Percent);
    strip.ShowLevel(now.Level);
  }
}

std::optional<bool> TMainForm::StripInSight(int index) const {
  if (!tickSight_) return std::nullopt;
  const int top = index * TChanFrame::kDesignHeight;
  return tickSight_->shown && top < tickSight_->bottom && top + TChanFrame::kDesignHeight > tickSight_->top;
}

int TMainForm::ControlTag(TControl& sender) { return sender.Tag(); }

bool TMainForm::ReportPlayFault(int index, const std::string& fileName, const std::string& reason) {
  if (ErrorBoxesShown()) {
    // The box's loop may end the window: nothing of it is touched afterwards.
    ShowErrorBox(reason);
    return true;
  }
  ShowFault("Channel " + std::to_string(index + 1) + ": " + reason + ": " + fileName);
  return false;
}

void TMainForm::OnStripPlay(TControl& sender) {
  // The dialog only accepts existing files; cancelling changes nothing, and the
  // strip shows the channel's real state at the next tick.
  const int index = ControlTag(sender);
  TModalLoop loop;  // the dialog's loop, and a failed Play's box after it
  // With the boxes off a failure shows in the status bar alone: no one else asked.
  std::string unshown;
  if (OpenDialog.Execute(handle_)) channelOps_.PlayFile(index, OpenDialog.FileName, std::nullopt, unshown);
}

void TMainForm::OnStripStop(TControl& sender) { channelOps_.StopChannel(ControlTag(sender)); }

void TMainForm::OnStripLevelChange(TControl& sender) {
  // Only the user's moves come here: the tick moves the slider to a level set by
  // command without a change event.
  channelOps_.SetChannelLevel(ControlTag(sender), static_cast<TChanFrame&>(sender).Level());
}

}  // namespace tonvane
