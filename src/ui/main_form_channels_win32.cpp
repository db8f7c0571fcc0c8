// The main window's channel operations: playing, stopping and levelling channels for
// the command language and the strips, and showing their state at every tick.
#include <windows.h>

#include <cstdio>

#include "playback/channel_strip.h"
#include "playback/engine.h"
#include "base/exception.h"
#include "base/scope_exit.h"
#include "ui/chan_frame_win32.h"
#include "ui/error_box_win32.h"
#include "ui/main_form_win32.h"

namespace tonvane {

namespace {

// A channel's strip as the channel operations see it. Owning it makes the channel
// record the strip's owner: freeing the channels frees the strips.
class StripOfChannel final : public IChannelStrip {
 public:
  StripOfChannel(std::unique_ptr<TChanFrame> frame, const TMainForm& form)
      : frame_(std::move(frame)), form_(form) {}
  void SetPlaying(bool playing) override {
    Sighted([&] { frame_->SetPlaying(playing); });
  }
  void ShowProgress(int percent) override {
    Sighted([&] { frame_->ShowProgress(percent); });
  }
  void SetLevel(std::int32_t level) override { frame_->SetLevel(level); }
  std::int32_t Level() const override { return frame_->Level(); }

 private:
  // During a tick the strip's controls learn from the window whether they can be
  // seen; at any other time (a command, the user's click) they ask for themselves.
  template <typename Change>
  void Sighted(Change&& change) {
    const TScopeExit forget([this] { frame_->SetKnownSight(std::nullopt); });
    frame_->SetKnownSight(form_.StripInSight(frame_->Tag()));
    change();
  }

  std::unique_ptr<TChanFrame> frame_;
  const TMainForm& form_;
};

}  // namespace

void TMainForm::CreateStrip(std::int32_t index) {
  auto frame = std::make_unique<TChanFrame>(ChanSB->Handle(), index);
  char name[32];
  std::snprintf(name, sizeof name, "ChanFrame%d", static_cast<int>(index));
  frame->SetName(name);
  frame->OnPlay = [this](TControl& sender) { OnStripPlay(sender); };
  frame->OnStop = [this](TControl& sender) { OnStripStop(sender); };
  frame->OnLevelChange = [this](TControl& sender) { OnStripLevelChange(sender); };
  frame->SetBounds(0, TChanFrame::kDesignHeight * index, frame->Width(), TChanFrame::kDesignHeight);
  Device.Channels()[static_cast<std::size_t>(index)].Strip =
      std::make_unique<StripOfChannel>(std::move(frame), *this);
}

void TMainForm::RefreshStrips() {
  // One look at the window and the column's scroll position for the whole tick: the
  // strips of a long column, most of them scrolled away, then cost no walk up their
  // parents each. The strips stand one under the other from the top of the column.
  const bool shown = IsWindowVisible(handle_) && !IsIconic(handle_);
  const int top = ChanSB->ScrollPos();
  tickSight_ = TColumnSight{shown, top, top + ChanSB->ClientHeight()};
  const TScopeExit done([this] { tickSight_.reset(); });
  ChannelOps.RefreshStrips();
}

std::optional<bool> TMainForm::StripInSight(int index) const {
  if (!tickSight_) return std::nullopt;
  const int top = index * TChanFrame::kDesignHeight;
  return tickSight_->shown && top < tickSight_->bottom && top + TChanFrame::kDesignHeight > tickSight_->top;
}

int TMainForm::ControlTag(TControl& sender) { return sender.Tag(); }

void TMainForm::OnStripPlay(TControl& sender) {
  // The dialog only accepts existing files; cancelling changes nothing, and the
  // strip shows the channel's real state at the next tick.
  const int index = ControlTag(sender);
  TModalLoop loop;  // the dialog's loop, and a failed Play's box after it
  if (OpenDialog.Execute(handle_)) ChannelOps.PlayFile(index, OpenDialog.FileName, std::nullopt);
}

void TMainForm::OnStripStop(TControl& sender) { ChannelOps.StopChannel(ControlTag(sender)); }

void TMainForm::OnStripLevelChange(TControl& sender) {
  // A level set by command moves the slider, which comes back here with the same
  // value: storing it again is harmless, and the slider does not move twice.
  ChannelOps.SetChannelLevel(ControlTag(sender), static_cast<TChanFrame&>(sender).Level());
}

}  // namespace tonvane
