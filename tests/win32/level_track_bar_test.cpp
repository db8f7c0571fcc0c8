// The level track bar driven as a user drives it: presses, drags and releases of
// the left button, the right button and keys, in the order the system sends them.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/kit/track_bar_win32.h"
#include "ui_test_support.h"

namespace tonvane {
namespace {

using uitest::At;

class LevelTrackBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<uitest::TestWindow>(300, 100);
    bar_ = std::make_unique<TQLTrackBar>(window_->Parent(), RECT{10, 10, 10 + 200, 10 + 23});
    bar_->SetMin(-50);
    bar_->SetMax(0);
    bar_->SetThumbLength(18);
    bar_->OnChange = [this](TControl& sender) {
      EXPECT_EQ(&sender, bar_.get());
      events_.push_back("change " + std::to_string(bar_->Position()));
    };
    bar_->OnDragBegin = [this](TControl& sender) {
      EXPECT_EQ(&sender, bar_.get());
      // Before the control has seen the press: it has not taken the mouse yet.
      events_.push_back(GetCapture() == bar_->Handle() ? "begin (captured)" : "begin");
    };
    bar_->OnDragEnd = [this](TControl& sender) {
      EXPECT_EQ(&sender, bar_.get());
      events_.push_back(GetCapture() == bar_->Handle() ? "end (captured)" : "end");
    };
    uitest::PumpPending();
  }
  void TearDown() override {
    bar_.reset();
    window_.reset();
  }
  HWND Bar() const { return bar_->Handle(); }
  RECT Thumb() const {
    RECT r{};
    SendMessageA(Bar(), TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&r));
    return r;
  }
  RECT Channel() const {
    RECT r{};
    SendMessageA(Bar(), TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&r));
    return r;
  }
  POINT ThumbCentre() const {
    const RECT t = Thumb();
    return POINT{(t.left + t.right) / 2, (t.top + t.bottom) / 2};
  }
  int ControlPosition() const { return static_cast<int>(SendMessageA(Bar(), TBM_GETPOS, 0, 0)); }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& e : events_) n += e.rfind(prefix, 0) == 0;
    return n;
  }

  std::unique_ptr<uitest::TestWindow> window_;
  std::unique_ptr<TQLTrackBar> bar_;
  std::vector<std::string> events_;
};

TEST_F(LevelTrackBarTest, IsTheCommonControlWithoutASelectionRange) {
  char cls[64] = {};
  GetClassNameA(Bar(), cls, sizeof cls);
  EXPECT_STREQ(cls, TRACKBAR_CLASSA);
  EXPECT_FALSE(GetWindowLongA(Bar(), GWL_STYLE) & TBS_ENABLESELRANGE);
  EXPECT_EQ(bar_->Min(), -50);
  EXPECT_EQ(bar_->Max(), 0);
  EXPECT_EQ(bar_->ThumbLength(), 18);
  bar_->SetTickStyle(TTickStyle::tsNone);
  EXPECT_TRUE(GetWindowLongA(Bar(), GWL_STYLE) & TBS_NOTICKS);
  EXPECT_EQ(bar_->TickStyle(), TTickStyle::tsNone);
  EXPECT_TRUE(events_.empty()) << "setting up raises nothing";
}

TEST_F(LevelTrackBarTest, ClickOnTheThumbBeginsAndEndsOnceWithoutAChange) {
  const POINT p = ThumbCentre();
  uitest::Click(Bar(), p.x, p.y);
  EXPECT_EQ(events_, (std::vector<std::string>{"begin", "end"}));
  EXPECT_EQ(bar_->Position(), 0);
  EXPECT_EQ(GetCapture(), nullptr) << "the control let the mouse go before the end was raised";
}

TEST_F(LevelTrackBarTest, DragRaisesChangesBetweenBeginAndEnd) {
  const POINT p = ThumbCentre();
  const RECT channel = Channel();
  SendMessageA(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(p.x, p.y));
  EXPECT_EQ(GetCapture(), Bar()) << "the control took the mouse for the drag";
  for (int x = p.x - 10; x > channel.left - 30; x -= 10) {
    SendMessageA(Bar(), WM_MOUSEMOVE, MK_LBUTTON, At(x, p.y));
  }
  SendMessageA(Bar(), WM_LBUTTONUP, 0, At(channel.left - 30, p.y));

  ASSERT_GE(events_.size(), 4u);
  EXPECT_EQ(events_.front(), "begin");
  EXPECT_EQ(events_.back(), "end");
  EXPECT_EQ(Count("begin"), 1);
  EXPECT_EQ(Count("end"), 1);
  EXPECT_GE(Count("change"), 2) << "one per step that landed somewhere new";
  EXPECT_EQ(events_[events_.size() - 2], "change -50");
  EXPECT_EQ(bar_->Position(), -50);
  // Each change reports a new position: the end of the move repeats none.
  for (size_t i = 2; i + 1 < events_.size(); ++i) EXPECT_NE(events_[i], events_[i - 1]);
}

TEST_F(LevelTrackBarTest, ClickOnTheTrackPagesAndCountsAsADrag) {
  const RECT channel = Channel();
  const POINT thumb = ThumbCentre();
  uitest::Click(Bar(), channel.left + 5, thumb.y);
  EXPECT_EQ(Count("begin"), 1);
  EXPECT_EQ(Count("end"), 1);
  EXPECT_EQ(events_.front(), "begin");
  EXPECT_EQ(events_.back(), "end");
  ASSERT_EQ(Count("change"), 1);
  EXPECT_LT(bar_->Position(), 0) << "a page toward the press";
  EXPECT_EQ(bar_->Position(), ControlPosition());
}

TEST_F(LevelTrackBarTest, RightButtonKeysAndCodeRaiseNoDragEvents) {
  const POINT p = ThumbCentre();
  uitest::RightClick(Bar(), p.x, p.y);
  uitest::RightClick(Bar(), Channel().left + 5, p.y);
  EXPECT_TRUE(events_.empty());

  uitest::Key(Bar(), VK_LEFT);
  EXPECT_EQ(events_, (std::vector<std::string>{"change -1"}));
  uitest::Key(Bar(), VK_HOME);
  EXPECT_EQ(events_.back(), "change -50");
  uitest::Key(Bar(), VK_HOME);
  EXPECT_EQ(events_.size(), 2u) << "already at the end: no change";

  events_.clear();
  bar_->SetPosition(-20);
  EXPECT_EQ(events_, (std::vector<std::string>{"change -20"}));
  EXPECT_EQ(ControlPosition(), -20);
  bar_->SetPosition(-20);
  EXPECT_EQ(events_.size(), 1u) << "the same value again";
  EXPECT_EQ(Count("begin") + Count("end"), 0);
}

TEST_F(LevelTrackBarTest, PositionOutsideTheRangeIsKeptWithTheThumbAtTheEnd) {
  bar_->SetPosition(-80);
  EXPECT_EQ(bar_->Position(), -80);
  EXPECT_EQ(ControlPosition(), -50);
  const RECT atMinus80 = Thumb();
  bar_->SetPosition(-50);
  EXPECT_EQ(events_, (std::vector<std::string>{"change -80", "change -50"}));
  EXPECT_EQ(Thumb().left, atMinus80.left) << "the thumb stood at the left end already";

  // The user touching the thumb takes what the control shows.
  bar_->SetPosition(-80);
  events_.clear();
  const POINT p = ThumbCentre();
  SendMessageA(Bar(), WM_LBUTTONDOWN, MK_LBUTTON, At(p.x, p.y));
  SendMessageA(Bar(), WM_MOUSEMOVE, MK_LBUTTON, At(p.x + 1, p.y));
  SendMessageA(Bar(), WM_LBUTTONUP, 0, At(p.x + 1, p.y));
  EXPECT_EQ(Count("change"), 1);
  EXPECT_EQ(bar_->Position(), ControlPosition());
}

}  // namespace
}  // namespace tonvane
