// The gauge as a window: its values and their limits, when it repaints, and the
// pixels it composes for each kind, read back from what it paints.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "ui/kit/gauges_win32.h"
#include "ui_test_support.h"

namespace tonvane {
namespace {

using uitest::PrintClient;

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr TColor kRedColor = 0x0000FF;
constexpr TColor kGreenColor = 0x00FF00;

class GaugeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<uitest::TestWindow>(300, 200);
    gauge_ = std::make_unique<TGauge>(window_->Parent());
    uitest::PumpPending();
  }
  void TearDown() override {
    gauge_.reset();
    window_.reset();
  }
  // The channel strip's gauge: 83 x 27, white bar on black, no border, no text.
  void MakeStripGauge() {
    gauge_->SetBounds(10, 10, 83, 27);
    gauge_->SetBorderStyle(TBorderStyle::bsNone);
    gauge_->SetBackColor(clBlack);
    gauge_->SetForeColor(clWhite);
    gauge_->SetShowText(false);
  }
  // Columns of row y in the colour c.
  int CountInRow(const uitest::ClientPicture& picture, int y, COLORREF c) const {
    int n = 0;
    for (int x = 0; x < picture.Width(); ++x) n += picture.Pixel(x, y) == c;
    return n;
  }
  // Of a printed picture, or of a bitmap copied from the screen.
  template <class Picture>
  bool AllPixels(const Picture& picture, const RECT& r, COLORREF c) const {
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) {
        if (picture.Pixel(x, y) != c) return false;
      }
    }
    return true;
  }
  bool AnyPixelNear(const uitest::ClientPicture& picture, int x, int y, COLORREF c) const {
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        if (picture.Pixel(x + dx, y + dy) == c) return true;
      }
    }
    return false;
  }

  std::unique_ptr<uitest::TestWindow> window_;
  std::unique_ptr<TGauge> gauge_;
};

TEST_F(GaugeTest, StartsAsAHundredPixelBorderedBarWithText) {
  const RECT r = uitest::InParent(gauge_->Handle());
  EXPECT_EQ(r.right - r.left, 100);
  EXPECT_EQ(r.bottom - r.top, 100);
  EXPECT_EQ(gauge_->MinValue(), 0);
  EXPECT_EQ(gauge_->MaxValue(), 100);
  EXPECT_EQ(gauge_->Progress(), 0);
  EXPECT_EQ(gauge_->Kind(), TGaugeKind::gkHorizontalBar);
  EXPECT_TRUE(gauge_->ShowText());
  EXPECT_EQ(gauge_->BorderStyle(), TBorderStyle::bsSingle);
  EXPECT_EQ(gauge_->ForeColor(), clBlack);
  EXPECT_EQ(gauge_->BackColor(), clWhite);
}

TEST_F(GaugeTest, ProgressIsClampedAndRangeChangesCarryItAlong) {
  gauge_->SetProgress(150);
  EXPECT_EQ(gauge_->Progress(), 100);
  EXPECT_EQ(gauge_->PercentComplete(), 100);
  gauge_->SetProgress(-5);
  EXPECT_EQ(gauge_->Progress(), 0);

  gauge_->SetProgress(10);
  gauge_->SetMinValue(40);
  EXPECT_EQ(gauge_->Progress(), 40);
  EXPECT_EQ(gauge_->PercentComplete(), 0);
  gauge_->SetProgress(90);
  gauge_->SetMaxValue(60);
  EXPECT_EQ(gauge_->Progress(), 60);
  EXPECT_EQ(gauge_->PercentComplete(), 100);

  gauge_->SetProgress(50);
  EXPECT_EQ(gauge_->PercentComplete(), 50) << "50 lies half way between 40 and 60";

  gauge_->SetMaxValue(40);
  EXPECT_EQ(gauge_->MinValue(), gauge_->MaxValue());
  for (int value : {-100, 40, 1000}) {
    gauge_->SetProgress(value);
    EXPECT_EQ(gauge_->PercentComplete(), 0) << "an empty range shows 0 % at " << value;
  }
}

TEST_F(GaugeTest, CrossedBoundsAreRefusedWithTheAllowedRangeUnlessLoading) {
  gauge_->SetProgress(30);
  try {
    gauge_->SetMinValue(101);
    FAIL() << "a minimum above the maximum is refused";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "Value must be between -2147483647 and 99");
  }
  try {
    gauge_->SetMaxValue(-1);
    FAIL() << "a maximum below the minimum is refused";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "Value must be between 1 and 2147483647");
  }
  EXPECT_EQ(gauge_->MinValue(), 0);
  EXPECT_EQ(gauge_->MaxValue(), 100);
  EXPECT_EQ(gauge_->Progress(), 30);
  EXPECT_NO_THROW(gauge_->SetMinValue(100)) << "equal bounds are allowed";
  EXPECT_NO_THROW(gauge_->SetMinValue(0));

  // A design that moves the range up sets the minimum first; loading lets it cross.
  gauge_->BeginLoading();
  EXPECT_NO_THROW(gauge_->SetMinValue(200));
  EXPECT_NO_THROW(gauge_->SetMaxValue(300));
  gauge_->EndLoading();
  EXPECT_EQ(gauge_->MinValue(), 200);
  EXPECT_EQ(gauge_->MaxValue(), 300);
  EXPECT_EQ(gauge_->Progress(), 200);
  EXPECT_THROW(gauge_->SetMaxValue(100), EInvalidOperation) << "after loading the check is back";
}

TEST_F(GaugeTest, RepaintsOnlyWhenWhatItShowsChanges) {
  uitest::MessageCounter paints(gauge_->Handle(), WM_PAINT);
  uitest::PumpPending();
  const auto after = [&](auto change) {
    const int before = paints.Count();
    change();
    return paints.Count() - before;
  };
  // A progress change marks the gauge for the window's next paint instead.
  const auto paintedLater = [&](auto change) {
    const int before = paints.Count();
    change();
    EXPECT_EQ(paints.Count(), before) << "nothing painted within the call";
    const bool marked = GetUpdateRect(gauge_->Handle(), nullptr, FALSE) != FALSE;
    uitest::PumpPending();
    EXPECT_EQ(marked, paints.Count() > before);
    return paints.Count() - before;
  };
  gauge_->SetProgress(10);
  uitest::PumpPending();
  EXPECT_EQ(paintedLater([&] { gauge_->SetProgress(10); }), 0);
  EXPECT_EQ(paintedLater([&] { gauge_->SetProgress(11); }), 1) << "a new whole percentage, painted once";

  gauge_->SetMaxValue(1000);
  gauge_->SetProgress(100);
  uitest::PumpPending();
  EXPECT_EQ(paintedLater([&] { gauge_->SetProgress(101); }), 0) << "still 10 %";
  EXPECT_EQ(paintedLater([&] { gauge_->SetProgress(109); }), 0);
  EXPECT_EQ(paintedLater([&] { gauge_->SetProgress(110); }), 1);
  EXPECT_EQ(paintedLater([&] { gauge_->SetProgress(5000); }), 1) << "clamped to 100 %";
  EXPECT_EQ(paintedLater([&] { gauge_->SetProgress(5001); }), 0);

  // Its other settings repaint within the call.
  EXPECT_EQ(after([&] { gauge_->SetKind(TGaugeKind::gkPie); }), 1);
  EXPECT_EQ(after([&] { gauge_->SetKind(TGaugeKind::gkPie); }), 0);
  EXPECT_EQ(after([&] { gauge_->SetShowText(false); }), 1);
  EXPECT_EQ(after([&] { gauge_->SetShowText(false); }), 0);
  EXPECT_EQ(after([&] { gauge_->SetBorderStyle(TBorderStyle::bsNone); }), 1);
  EXPECT_EQ(after([&] { gauge_->SetBorderStyle(TBorderStyle::bsNone); }), 0);
  EXPECT_EQ(after([&] { gauge_->SetForeColor(kRedColor); }), 1);
  EXPECT_EQ(after([&] { gauge_->SetForeColor(kRedColor); }), 0);
  EXPECT_EQ(after([&] { gauge_->SetBackColor(kGreenColor); }), 1);
  EXPECT_EQ(after([&] { gauge_->SetBackColor(kGreenColor); }), 0);
  EXPECT_EQ(after([&] { gauge_->SetMinValue(0); }), 0);
  EXPECT_EQ(after([&] { gauge_->SetMinValue(1); }), 1);
  EXPECT_EQ(after([&] { gauge_->SetMaxValue(1000); }), 0);
  EXPECT_EQ(after([&] { gauge_->SetMaxValue(999); }), 1);
  uitest::PumpPending();
  EXPECT_EQ(after([&] { uitest::PumpPending(); }), 0) << "nothing left over to paint";
}

TEST_F(GaugeTest, StripGaugeFillsWholeColumnsFromTheLeft) {
  MakeStripGauge();
  // W is 84 for an 83 pixel wide gauge: the bar reaches the right edge at 100 %.
  const struct {
    int percent;
    int white;
  } cases[] = {{0, 0}, {25, 21}, {50, 42}, {75, 63}, {100, 83}};
  for (const auto& c : cases) {
    gauge_->SetProgress(c.percent);
    const auto picture = PrintClient(gauge_->Handle());
    ASSERT_EQ(picture.Width(), 83);
    ASSERT_EQ(picture.Height(), 27);
    EXPECT_TRUE(AllPixels(picture, RECT{0, 0, c.white, 27}, kWhite)) << c.percent << " %";
    EXPECT_TRUE(AllPixels(picture, RECT{c.white, 0, 83, 27}, kBlack)) << c.percent << " %";
  }
}

TEST_F(GaugeTest, WhatItPaintsOnScreenIsWhatItComposes) {
  MakeStripGauge();
  gauge_->SetProgress(50);
  uitest::PumpPending();
  TBitmap screen(83, 27);
  HDC dc = GetDC(gauge_->Handle());
  BitBlt(screen.Canvas(), 0, 0, 83, 27, dc, 0, 0, SRCCOPY);
  ReleaseDC(gauge_->Handle(), dc);
  EXPECT_TRUE(AllPixels(screen, RECT{0, 0, 42, 27}, kWhite));
  EXPECT_TRUE(AllPixels(screen, RECT{42, 0, 83, 27}, kBlack));
}

TEST_F(GaugeTest, ATenthOfTenPixelsIsNoFill) {
  // Paint rectangle 0..9 wide: W is 10, and 10 % of it comes out as 0.
  gauge_->SetBounds(0, 0, 9, 5);
  gauge_->SetBorderStyle(TBorderStyle::bsNone);
  gauge_->SetShowText(false);
  gauge_->SetProgress(10);
  auto picture = PrintClient(gauge_->Handle());
  EXPECT_TRUE(AllPixels(picture, RECT{0, 0, 9, 5}, kWhite)) << "back colour only";
  gauge_->SetProgress(100);
  picture = PrintClient(gauge_->Handle());
  EXPECT_TRUE(AllPixels(picture, RECT{0, 0, 9, 5}, kBlack));
}

TEST_F(GaugeTest, BorderLeavesABlackFrameAroundTheBar) {
  gauge_->SetBounds(0, 0, 50, 20);
  gauge_->SetShowText(false);
  gauge_->SetForeColor(kRedColor);
  gauge_->SetBackColor(kGreenColor);
  gauge_->SetProgress(100);
  auto picture = PrintClient(gauge_->Handle());
  EXPECT_TRUE(AllPixels(picture, RECT{0, 0, 50, 1}, kBlack));
  EXPECT_TRUE(AllPixels(picture, RECT{0, 19, 50, 20}, kBlack));
  EXPECT_TRUE(AllPixels(picture, RECT{0, 0, 1, 20}, kBlack));
  EXPECT_TRUE(AllPixels(picture, RECT{49, 0, 50, 20}, kBlack));
  EXPECT_TRUE(AllPixels(picture, RECT{1, 1, 49, 19}, kRed)) << "100 % fills the inside exactly";
  gauge_->SetProgress(0);
  picture = PrintClient(gauge_->Handle());
  EXPECT_TRUE(AllPixels(picture, RECT{1, 1, 49, 19}, kGreen));
  EXPECT_EQ(picture.Pixel(0, 0), kBlack);
}

TEST_F(GaugeTest, VerticalBarAtFullKeepsTheTopRowUnlessBordered) {
  gauge_->SetBounds(0, 0, 20, 30);
  gauge_->SetKind(TGaugeKind::gkVerticalBar);
  gauge_->SetShowText(false);
  gauge_->SetBorderStyle(TBorderStyle::bsNone);
  gauge_->SetProgress(100);
  auto picture = PrintClient(gauge_->Handle());
  EXPECT_TRUE(AllPixels(picture, RECT{0, 0, 20, 1}, kWhite)) << "top row in the back colour";
  EXPECT_TRUE(AllPixels(picture, RECT{0, 1, 20, 30}, kBlack));

  gauge_->SetProgress(50);
  picture = PrintClient(gauge_->Handle());
  // H is 31: 15 rows from the bottom.
  EXPECT_TRUE(AllPixels(picture, RECT{0, 0, 20, 16}, kWhite));
  EXPECT_TRUE(AllPixels(picture, RECT{0, 16, 20, 30}, kBlack));

  gauge_->SetBorderStyle(TBorderStyle::bsSingle);
  gauge_->SetForeColor(kRedColor);
  gauge_->SetProgress(100);
  picture = PrintClient(gauge_->Handle());
  EXPECT_TRUE(AllPixels(picture, RECT{1, 1, 19, 29}, kRed)) << "the whole inside";
  EXPECT_TRUE(AllPixels(picture, RECT{0, 0, 20, 1}, kBlack));
}

TEST_F(GaugeTest, PercentTextIsCentredAndInvertsWhatLiesBeneath) {
  MakeStripGauge();
  gauge_->SetProgress(50);
  const auto plain = PrintClient(gauge_->Handle());
  gauge_->SetShowText(true);
  const auto withText = PrintClient(gauge_->Handle());
  // The same text over the opposite colours.
  gauge_->SetBackColor(clWhite);
  gauge_->SetForeColor(clBlack);
  gauge_->SetShowText(false);
  const auto plainSwapped = PrintClient(gauge_->Handle());
  gauge_->SetShowText(true);
  const auto withTextSwapped = PrintClient(gauge_->Handle());

  RECT text{83, 27, -1, -1};
  int darkOnBar = 0, lightOnBack = 0;
  for (int y = 0; y < 27; ++y) {
    for (int x = 0; x < 83; ++x) {
      const COLORREF mask = plain.Pixel(x, y) ^ withText.Pixel(x, y);
      const COLORREF maskSwapped = plainSwapped.Pixel(x, y) ^ withTextSwapped.Pixel(x, y);
      ASSERT_EQ(mask, maskSwapped) << "each glyph pixel flips whatever lies beneath, at " << x << "," << y;
      if (mask == 0) continue;
      text = RECT{std::min<LONG>(text.left, x), std::min<LONG>(text.top, y), std::max<LONG>(text.right, x),
                  std::max<LONG>(text.bottom, y)};
      // Smoothed glyph edges flip partly: count by brightness.
      const bool light = GetGValue(withText.Pixel(x, y)) >= 128;
      if (!light && x < 42) ++darkOnBar;
      if (light && x >= 42) ++lightOnBack;
    }
  }
  ASSERT_LT(text.left, text.right) << "some text was drawn";
  EXPECT_GT(darkOnBar, 5) << "dark glyph pixels on the white bar";
  EXPECT_GT(lightOnBack, 5) << "light glyph pixels on the black background";
  EXPECT_NEAR((text.left + text.right) / 2.0, 41.5, 2.0) << "centred across";
  EXPECT_NEAR((text.top + text.bottom) / 2.0, 13.5, 3.0) << "centred down";
}

TEST_F(GaugeTest, TextKindShowsTheBackColourAndThePercentage) {
  gauge_->SetBounds(0, 0, 60, 20);
  gauge_->SetKind(TGaugeKind::gkText);
  gauge_->SetBackColor(kGreenColor);
  gauge_->SetProgress(100);
  auto picture = PrintClient(gauge_->Handle());
  const int green = CountInRow(picture, 1, kGreen) + CountInRow(picture, 18, kGreen);
  EXPECT_EQ(green, 2 * 58) << "no bar: back colour right across, inside the frame";
  int inverted = 0;
  for (int y = 1; y < 19; ++y) inverted += 58 - CountInRow(picture, y, kGreen);
  EXPECT_GT(inverted, 10) << "the text 100%";
  gauge_->SetShowText(false);
  picture = PrintClient(gauge_->Handle());
  EXPECT_TRUE(AllPixels(picture, RECT{1, 1, 59, 19}, kGreen));
}

class GaugeDialTest : public GaugeTest {
 protected:
  void SetUp() override {
    GaugeTest::SetUp();
    gauge_->SetBounds(0, 0, 101, 101);
    gauge_->SetBorderStyle(TBorderStyle::bsNone);
    gauge_->SetShowText(false);
    gauge_->SetForeColor(kRedColor);
    gauge_->SetBackColor(kWhite);
    gauge_->SetColor(kGreenColor);
  }
};

TEST_F(GaugeDialTest, PieWedgeGrowsClockwiseFromTwelve) {
  gauge_->SetKind(TGaugeKind::gkPie);
  gauge_->SetProgress(0);
  auto picture = PrintClient(gauge_->Handle());
  EXPECT_EQ(picture.Pixel(1, 1), kGreen) << "outside the ellipse: the control colour";
  EXPECT_EQ(picture.Pixel(99, 99), kGreen);
  EXPECT_EQ(picture.Pixel(50, 50), kWhite);
  EXPECT_EQ(picture.Pixel(75, 25), kWhite);
  EXPECT_EQ(picture.Pixel(50, 0), kRed) << "outline";

  gauge_->SetProgress(25);
  picture = PrintClient(gauge_->Handle());
  EXPECT_EQ(picture.Pixel(70, 30), kRed) << "upper right quarter";
  EXPECT_EQ(picture.Pixel(30, 30), kWhite);
  EXPECT_EQ(picture.Pixel(70, 70), kWhite);
  EXPECT_EQ(picture.Pixel(30, 70), kWhite);

  gauge_->SetProgress(50);
  picture = PrintClient(gauge_->Handle());
  EXPECT_EQ(picture.Pixel(70, 30), kRed);
  EXPECT_EQ(picture.Pixel(70, 70), kRed) << "down to six o'clock";
  EXPECT_EQ(picture.Pixel(30, 70), kWhite);
  EXPECT_EQ(picture.Pixel(30, 30), kWhite);

  gauge_->SetProgress(100);
  picture = PrintClient(gauge_->Handle());
  for (POINT p : {POINT{70, 30}, POINT{70, 70}, POINT{30, 70}, POINT{30, 30}}) {
    EXPECT_EQ(picture.Pixel(p.x, p.y), kRed) << p.x << "," << p.y;
  }
  EXPECT_EQ(picture.Pixel(1, 1), kGreen);
}

TEST_F(GaugeDialTest, NeedleSweepsFromLeftOverTheTopToRight) {
  gauge_->SetKind(TGaugeKind::gkNeedle);
  gauge_->SetProgress(0);
  auto picture = PrintClient(gauge_->Handle());
  EXPECT_EQ(picture.Pixel(1, 1), kGreen) << "outside the dial";
  EXPECT_EQ(picture.Pixel(50, 50), kWhite) << "no needle at 0 %";
  EXPECT_EQ(picture.Pixel(30, 80), kWhite);
  EXPECT_EQ(picture.Pixel(50, 100), kRed) << "base line";

  // Pivot at (50, 99), the needle reaching (R(50 (1 - cos A)), R(99 (1 - sin A))).
  gauge_->SetProgress(50);
  picture = PrintClient(gauge_->Handle());
  EXPECT_EQ(picture.Pixel(50, 50), kRed) << "straight up";
  EXPECT_EQ(picture.Pixel(50, 10), kRed);
  EXPECT_EQ(picture.Pixel(30, 80), kWhite);

  gauge_->SetProgress(25);
  picture = PrintClient(gauge_->Handle());
  EXPECT_EQ(picture.Pixel(50, 50), kWhite);
  // Half way along the needle to (15, 29).
  EXPECT_TRUE(AnyPixelNear(picture, 32, 64, kRed)) << "up and to the left";
  EXPECT_FALSE(AnyPixelNear(picture, 68, 64, kRed));

  gauge_->SetProgress(75);
  picture = PrintClient(gauge_->Handle());
  EXPECT_TRUE(AnyPixelNear(picture, 68, 64, kRed)) << "up and to the right";
  EXPECT_FALSE(AnyPixelNear(picture, 32, 64, kRed));
}

}  // namespace
}  // namespace tonvane
