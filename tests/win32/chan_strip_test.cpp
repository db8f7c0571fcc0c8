// The channel strip as the user and its owner drive it: its layout, the Stop/Play
// pair clicked with the mouse, the level slider dragged and keyed, the level and
// progress set by the owner, and the strip's sizing in the channel column.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/chan_frame_win32.h"
#include "ui_test_support.h"

namespace tonvane {
namespace {

using uitest::At;
using uitest::HeightOf;
using uitest::InParent;
using uitest::TextOf;
using uitest::WidthOf;

class ChanStripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<uitest::TestWindow>(500, 200);
    strip_ = MakeStrip(0);
    uitest::PumpPending();
  }
  void TearDown() override {
    strip_.reset();
    window_.reset();
  }
  std::unique_ptr<TChanFrame> MakeStrip(int index) {
    auto strip = std::make_unique<TChanFrame>(window_->Parent(), index);
    TChanFrame* self = strip.get();
    strip->OnPlay = [this, self](TControl& sender) {
      EXPECT_EQ(&sender, self);
      events_.push_back("play " + std::to_string(sender.Tag()));
    };
    strip->OnStop = [this, self](TControl& sender) {
      EXPECT_EQ(&sender, self);
      events_.push_back("stop " + std::to_string(sender.Tag()));
    };
    strip->OnLevelChange = [this, self](TControl& sender) {
      EXPECT_EQ(&sender, self);
      // The owner stores the slider's position, and the label already shows it.
      stored_ = self->Level();
      events_.push_back("level " + std::to_string(stored_) + " " + self->LevelLabel->Caption());
    };
    return strip;
  }
  void ClickButton(const TSpeedButton& button) { uitest::Click(button.Handle(), 13, 13); }
  HWND Slider() const { return strip_->LevelTB->Handle(); }
  RECT Thumb() const {
    RECT r{};
    SendMessageA(Slider(), TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&r));
    return r;
  }
  RECT Channel() const {
    RECT r{};
    SendMessageA(Slider(), TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&r));
    return r;
  }
  int ThumbPosition() const { return static_cast<int>(SendMessageA(Slider(), TBM_GETPOS, 0, 0)); }
  bool PlayDown() const { return strip_->PlayButton->Down(); }
  bool StopDown() const { return strip_->StopButton->Down(); }

  std::unique_ptr<uitest::TestWindow> window_;
  std::unique_ptr<TChanFrame> strip_;
  std::vector<std::string> events_;
  int stored_ = 1;
};

TEST_F(ChanStripTest, ComponentsStandAtTheirDesignPlaces) {
  EXPECT_EQ(GetParent(strip_->Handle()), window_->Parent());
  const RECT frame = InParent(strip_->Handle());
  EXPECT_EQ(frame.left, 0);
  EXPECT_EQ(frame.top, 0);
  EXPECT_EQ(WidthOf(frame), 327);
  EXPECT_EQ(HeightOf(frame), 30);

  const struct {
    const char* name;
    HWND hwnd;
    RECT bounds;
  } layout[] = {
      {"ChanLabel", strip_->ChanLabel->Handle(), {0, 0, 28, 30}},
      {"Gauge", strip_->Gauge->Handle(), {33, 2, 33 + 83, 2 + 27}},
      {"StopButton", strip_->StopButton->Handle(), {120, 2, 120 + 27, 2 + 27}},
      {"PlayButton", strip_->PlayButton->Handle(), {149, 2, 149 + 27, 2 + 27}},
      {"LevelTB", Slider(), {211, 6, 211 + 87, 6 + 23}},
  };
  for (const auto& c : layout) {
    EXPECT_EQ(GetParent(c.hwnd), strip_->Handle()) << c.name;
    const RECT r = InParent(c.hwnd);
    EXPECT_EQ(r.left, c.bounds.left) << c.name;
    EXPECT_EQ(r.top, c.bounds.top) << c.name;
    EXPECT_EQ(r.right, c.bounds.right) << c.name;
    EXPECT_EQ(r.bottom, c.bounds.bottom) << c.name;
  }
  // The labels size themselves to their texts from their design corners.
  EXPECT_EQ(TextOf(strip_->Label1->Handle()), "Level:");
  EXPECT_EQ(InParent(strip_->Label1->Handle()).left, 181);
  EXPECT_EQ(InParent(strip_->Label1->Handle()).top, 9);
  EXPECT_EQ(TextOf(strip_->LevelLabel->Handle()), "0dB");
  EXPECT_EQ(InParent(strip_->LevelLabel->Handle()).right, 298 + 19) << "its right edge is anchored";
  EXPECT_EQ(InParent(strip_->LevelLabel->Handle()).top, 9);
}

TEST_F(ChanStripTest, StartsStoppedAtFullLevelWithAnEmptyGauge) {
  EXPECT_TRUE(StopDown());
  EXPECT_FALSE(PlayDown());
  EXPECT_EQ(strip_->Level(), 0);
  EXPECT_EQ(ThumbPosition(), 0);
  EXPECT_EQ(strip_->LevelLabel->Caption(), "0dB");
  EXPECT_EQ(strip_->Tag(), 0);

  const TGauge& gauge = *strip_->Gauge;
  EXPECT_EQ(gauge.Progress(), 0);
  EXPECT_EQ(gauge.Kind(), TGaugeKind::gkHorizontalBar);
  EXPECT_EQ(gauge.MinValue(), 0);
  EXPECT_EQ(gauge.MaxValue(), 100);
  EXPECT_EQ(gauge.BorderStyle(), TBorderStyle::bsNone);
  EXPECT_FALSE(gauge.ShowText());
  EXPECT_EQ(gauge.BackColor(), clBlack);
  EXPECT_EQ(gauge.ForeColor(), clWhite);
  EXPECT_FALSE(gauge.Loading());

  EXPECT_EQ(strip_->LevelTB->Min(), -50);
  EXPECT_EQ(strip_->LevelTB->Max(), 0);
  EXPECT_EQ(strip_->LevelTB->Frequency(), 3);
  EXPECT_EQ(strip_->LevelTB->ThumbLength(), 18);
  EXPECT_EQ(strip_->LevelTB->TickStyle(), TTickStyle::tsNone);
  EXPECT_TRUE(GetWindowLongA(Slider(), GWL_STYLE) & WS_TABSTOP);
  EXPECT_TRUE(events_.empty());
}

TEST_F(ChanStripTest, ChannelNumberIsOneBasedInLargeArialCentred) {
  EXPECT_EQ(strip_->ChanLabel->Caption(), "1");
  auto tenth = MakeStrip(9);
  auto sixteenth = MakeStrip(15);
  EXPECT_EQ(tenth->ChanLabel->Caption(), "10");
  EXPECT_EQ(sixteenth->ChanLabel->Caption(), "16");
  EXPECT_EQ(sixteenth->Tag(), 15);

  LOGFONTA font{};
  ASSERT_TRUE(GetObjectA(strip_->ChanLabel->Font(), sizeof font, &font));
  EXPECT_STREQ(font.lfFaceName, "Arial");
  EXPECT_EQ(font.lfHeight, -21);
  const LONG style = GetWindowLongA(strip_->ChanLabel->Handle(), GWL_STYLE);
  EXPECT_EQ(style & SS_TYPEMASK, SS_CENTER);
  EXPECT_TRUE(style & SS_CENTERIMAGE) << "centred down as well";
  ASSERT_TRUE(GetObjectA(strip_->LevelLabel->Font(), sizeof font, &font));
  EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
}

TEST_F(ChanStripTest, GlyphsAreTheSquareAndTheTriangleOnSilver) {
  const TBitmap* stop = strip_->StopButton->Glyph();
  const TBitmap* play = strip_->PlayButton->Glyph();
  ASSERT_TRUE(stop && play);
  for (const TBitmap* glyph : {stop, play}) {
    EXPECT_EQ(glyph->Width(), 21);
    EXPECT_EQ(glyph->Height(), 21);
  }
  const COLORREF silver = RGB(192, 192, 192);
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 21; ++x) {
      const bool inSquare = x >= 2 && x <= 18 && y >= 2 && y <= 18;
      EXPECT_EQ(stop->Pixel(x, y), inSquare ? RGB(0, 0, 0) : silver) << "square at " << x << "," << y;
      const int reach = y <= 10 ? 6 + y : 26 - y;
      const bool inTriangle = y >= 1 && y <= 19 && x >= 6 && x <= reach;
      EXPECT_EQ(play->Pixel(x, y), inTriangle ? RGB(0, 0, 0) : silver) << "triangle at " << x << "," << y;
    }
  }
  // Tip of the triangle and its two corners, as the row rule gives them.
  EXPECT_EQ(play->Pixel(16, 10), RGB(0, 0, 0));
  EXPECT_EQ(play->Pixel(17, 10), silver);
  EXPECT_EQ(play->Pixel(7, 1), RGB(0, 0, 0));
  EXPECT_EQ(play->Pixel(8, 1), silver);
}

TEST_F(ChanStripTest, ButtonsShowTheirGlyphOnTheFaceAndSinkWhenDown) {
  // Black pixels of the painted button, compared with the glyph's, centred on the button.
  const auto blackMatchesGlyph = [](const TSpeedButton& button, int offset) {
    const auto picture = uitest::PrintClient(button.Handle());
    const TBitmap& glyph = *button.Glyph();
    const int origin = (27 - 21) / 2 + offset;
    for (int y = 0; y < 21; ++y) {
      for (int x = 0; x < 21; ++x) {
        const bool glyphBlack = glyph.Pixel(x, y) == RGB(0, 0, 0);
        const COLORREF painted = picture.Pixel(origin + x, origin + y);
        if (glyphBlack != (painted == RGB(0, 0, 0))) return false;
        if (!glyphBlack && painted == RGB(192, 192, 192) &&
            GetSysColor(COLOR_BTNFACE) != RGB(192, 192, 192)) {
          return false;  // the glyph's background must not show
        }
      }
    }
    return true;
  };
  EXPECT_TRUE(blackMatchesGlyph(*strip_->PlayButton, 0)) << "up: centred";
  EXPECT_TRUE(blackMatchesGlyph(*strip_->StopButton, 1)) << "down: one pixel right and down";
  strip_->SetPlaying(true);
  EXPECT_TRUE(blackMatchesGlyph(*strip_->PlayButton, 1));
  EXPECT_TRUE(blackMatchesGlyph(*strip_->StopButton, 0));
}

TEST_F(ChanStripTest, PlayAndStopClicksLatchAndAlwaysReport) {
  ClickButton(*strip_->PlayButton);
  EXPECT_EQ(events_, (std::vector<std::string>{"play 0"}));
  EXPECT_TRUE(PlayDown());
  EXPECT_FALSE(StopDown()) << "one of the pair is down";

  ClickButton(*strip_->PlayButton);
  EXPECT_EQ(events_, (std::vector<std::string>{"play 0", "play 0"})) << "again while down";
  EXPECT_TRUE(PlayDown());

  ClickButton(*strip_->StopButton);
  EXPECT_EQ(events_.back(), "stop 0");
  EXPECT_TRUE(StopDown());
  EXPECT_FALSE(PlayDown());
  ClickButton(*strip_->StopButton);
  EXPECT_EQ(events_, (std::vector<std::string>{"play 0", "play 0", "stop 0", "stop 0"}));
  EXPECT_TRUE(StopDown());
}

TEST_F(ChanStripTest, PressReleasedOffTheButtonIsNoClick) {
  const HWND play = strip_->PlayButton->Handle();
  SendMessageA(play, WM_LBUTTONDOWN, MK_LBUTTON, At(13, 13));
  SendMessageA(play, WM_MOUSEMOVE, MK_LBUTTON, At(40, 13));
  SendMessageA(play, WM_LBUTTONUP, 0, At(40, 13));
  EXPECT_TRUE(events_.empty());
  EXPECT_TRUE(StopDown());
  uitest::RightClick(play, 13, 13);
  EXPECT_TRUE(events_.empty()) << "the right button does not click";
  EXPECT_FALSE(PlayDown());
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ChanStripTest, OwnerSetsThePlayingStateAndProgressWithoutEvents) {
  strip_->SetPlaying(true);
  EXPECT_TRUE(PlayDown());
  EXPECT_FALSE(StopDown());
  strip_->ShowProgress(42);
  EXPECT_EQ(strip_->Gauge->Progress(), 42);
  strip_->SetPlaying(true);
  EXPECT_EQ(strip_->Gauge->Progress(), 42) << "playing leaves the gauge as it was";
  strip_->ShowProgress(150);
  EXPECT_EQ(strip_->Gauge->Progress(), 100) << "an MP3 estimate may pass 100";

  strip_->SetPlaying(false);
  EXPECT_TRUE(StopDown());
  EXPECT_FALSE(PlayDown());
  EXPECT_EQ(strip_->Gauge->Progress(), 0);
  EXPECT_TRUE(events_.empty());

  // A Play click whose dialog was cancelled falls back at the next refresh.
  ClickButton(*strip_->PlayButton);
  strip_->SetPlaying(false);
  EXPECT_TRUE(StopDown());
  EXPECT_EQ(events_, (std::vector<std::string>{"play 0"}));
}

TEST_F(ChanStripTest, ProgressShowsOnTheGaugeAsAWhiteBar) {
  strip_->SetPlaying(true);
  strip_->ShowProgress(50);
  const auto picture = uitest::PrintClient(strip_->Gauge->Handle());
  for (int x = 0; x < 83; ++x) {
    EXPECT_EQ(picture.Pixel(x, 13), x < 42 ? RGB(255, 255, 255) : RGB(0, 0, 0)) << x;
  }
}

TEST_F(ChanStripTest, DraggingTheThumbToTheLeftReportsEveryStep) {
  const RECT thumb = Thumb();
  const int y = (thumb.top + thumb.bottom) / 2;
  int x = (thumb.left + thumb.right) / 2;
  SendMessageA(Slider(), WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
  for (; x > Channel().left - 20; x -= 7) SendMessageA(Slider(), WM_MOUSEMOVE, MK_LBUTTON, At(x, y));
  SendMessageA(Slider(), WM_LBUTTONUP, 0, At(x, y));

  ASSERT_GE(events_.size(), 2u);
  EXPECT_EQ(events_.back(), "level -50 -50dB");
  EXPECT_EQ(stored_, -50);
  EXPECT_EQ(strip_->Level(), -50);
  EXPECT_EQ(strip_->LevelLabel->Caption(), "-50dB");
  int previous = 0;
  for (const std::string& e : events_) {
    const int level = std::stoi(e.substr(6));
    EXPECT_LT(level, previous) << e;
    EXPECT_EQ(e, "level " + std::to_string(level) + " " + std::to_string(level) + "dB");
    previous = level;
  }
}

TEST_F(ChanStripTest, KeysOnTheSliderChangeTheLevel) {
  SetFocus(Slider());
  uitest::Key(Slider(), VK_LEFT);
  EXPECT_EQ(events_, (std::vector<std::string>{"level -1 -1dB"}));
  uitest::Key(Slider(), VK_HOME);
  EXPECT_EQ(events_.back(), "level -50 -50dB");
  uitest::Key(Slider(), VK_END);
  EXPECT_EQ(events_.back(), "level 0 0dB");
  EXPECT_EQ(events_.size(), 3u);
}

TEST_F(ChanStripTest, SettingTheLevelMovesTheThumbAndReportsOnlyChanges) {
  strip_->SetLevel(-20);
  EXPECT_EQ(ThumbPosition(), -20);
  EXPECT_EQ(strip_->LevelLabel->Caption(), "-20dB");
  EXPECT_EQ(events_, (std::vector<std::string>{"level -20 -20dB"}));
  {
    uitest::MessageCounter texts(strip_->LevelLabel->Handle(), WM_SETTEXT);
    strip_->SetLevel(-20);
    EXPECT_EQ(events_.size(), 1u) << "the same level again";
    EXPECT_EQ(texts.Count(), 0) << "leaves the label alone: a text written again repaints it";
  }
  EXPECT_EQ(strip_->LevelLabel->Caption(), "-20dB");

  strip_->SetLevel(6);
  EXPECT_EQ(strip_->Level(), 0) << "above 0 is shown as 0";
  EXPECT_EQ(strip_->LevelLabel->Caption(), "0dB");
  EXPECT_EQ(events_.back(), "level 0 0dB");
  strip_->SetLevel(3);
  EXPECT_EQ(events_.size(), 2u) << "still 0";

  strip_->SetLevel(-50);
  const RECT leftEnd = Thumb();
  strip_->SetLevel(-80);
  EXPECT_EQ(strip_->Level(), -80);
  EXPECT_EQ(stored_, -80);
  EXPECT_EQ(strip_->LevelLabel->Caption(), "-80dB");
  EXPECT_EQ(ThumbPosition(), -50);
  EXPECT_EQ(Thumb().left, leftEnd.left) << "the thumb at the left end";
  EXPECT_EQ(events_.back(), "level -80 -80dB");
  // The label shows the whole text, wider than at design.
  SIZE text{};
  HDC dc = GetDC(strip_->LevelLabel->Handle());
  const HGDIOBJ old = SelectObject(dc, strip_->LevelLabel->Font());
  GetTextExtentPoint32A(dc, "-80dB", 5, &text);
  SelectObject(dc, old);
  ReleaseDC(strip_->LevelLabel->Handle(), dc);
  EXPECT_GE(strip_->LevelLabel->Width(), text.cx);
  EXPECT_EQ(InParent(strip_->LevelLabel->Handle()).right, 298 + 19) << "grown to the left";
}

TEST_F(ChanStripTest, WideningStretchesTheSliderAndMovesTheLevelText) {
  const RECT label = InParent(strip_->LevelLabel->Handle());
  strip_->SetWidth(427);
  EXPECT_EQ(strip_->Width(), 427);
  EXPECT_EQ(WidthOf(InParent(Slider())), 187);
  EXPECT_EQ(InParent(Slider()).left, 211);
  EXPECT_EQ(InParent(strip_->LevelLabel->Handle()).right, label.right + 100);
  EXPECT_EQ(InParent(strip_->LevelLabel->Handle()).top, 9);
  EXPECT_EQ(InParent(strip_->Gauge->Handle()).left, 33) << "the rest stays";
  EXPECT_EQ(InParent(strip_->PlayButton->Handle()).left, 149);
  EXPECT_EQ(HeightOf(InParent(strip_->ChanLabel->Handle())), 30);

  strip_->SetWidth(100);
  EXPECT_EQ(strip_->Width(), 280) << "never narrower than 280";
  EXPECT_EQ(WidthOf(InParent(Slider())), 87 - 47);
  SetWindowPos(strip_->Handle(), nullptr, 0, 0, 200, 30, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(strip_->Width(), 280) << "also when sized from outside";
}

TEST_F(ChanStripTest, StripsStandInAColumnByNameAndIndex) {
  std::vector<std::unique_ptr<TChanFrame>> column;
  for (int i = 0; i < 3; ++i) {
    column.push_back(MakeStrip(i));
    column.back()->SetName("ChanFrame" + std::to_string(i));
    column.back()->SetBounds(0, 40 + 30 * i, 327, 30);
  }
  EXPECT_EQ(column[2]->Name(), "ChanFrame2");
  EXPECT_EQ(TextOf(column[2]->Handle()), "ChanFrame2");
  EXPECT_EQ(InParent(column[2]->Handle()).top, 100);
  // Each strip reports its own channel.
  ClickButton(*column[1]->PlayButton);
  ClickButton(*column[2]->StopButton);
  EXPECT_EQ(events_, (std::vector<std::string>{"play 1", "stop 2"}));
  EXPECT_TRUE(column[0]->StopButton->Down()) << "groups do not reach into other strips";
  EXPECT_TRUE(column[1]->PlayButton->Down());
}

}  // namespace
}  // namespace tonvane
