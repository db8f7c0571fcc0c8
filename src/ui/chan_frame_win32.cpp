#include "ui/chan_frame_win32.h"

#include <cstdio>
#include <utility>

namespace tonvane {

namespace {

constexpr int kGlyphSize = 21;

RECT Bounds(int left, int top, int width, int height) { return RECT{left, top, left + width, top + height}; }

std::unique_ptr<TBitmap> NewGlyph() {
  auto glyph = std::make_unique<TBitmap>(kGlyphSize, kGlyphSize);
  glyph->FillRect(RECT{0, 0, kGlyphSize, kGlyphSize}, clSilver);
  return glyph;
}

std::unique_ptr<TBitmap> StopGlyph() {
  auto glyph = NewGlyph();
  glyph->FillRect(RECT{2, 2, 19, 19}, clBlack);
  return glyph;
}

std::unique_ptr<TBitmap> PlayGlyph() {
  // Rows 1 to 19 from column 6; each row one pixel longer down to the middle row 10,
  // then one shorter again.
  auto glyph = NewGlyph();
  for (int row = 1; row <= 19; ++row) {
    const int last = row <= 10 ? 6 + row : 26 - row;
    glyph->FillRect(RECT{6, row, last + 1, row + 1}, clBlack);
  }
  return glyph;
}

}  // namespace

TChanFrame::TChanFrame(HWND parent, int index) : TPanel(parent, Bounds(0, 0, kDesignWidth, kDesignHeight)) {
  SetTag(index);
  // The gauge is opaque and the frame never paints over its children.
  SetWindowLongA(Handle(), GWL_STYLE, GetWindowLongA(Handle(), GWL_STYLE) | WS_CLIPCHILDREN);
  font_ = std::make_unique<TFontHandle>("MS Sans Serif", -11);
  chanFont_ = std::make_unique<TFontHandle>("Arial", -21);

  ChanLabel = std::make_unique<TLabel>(Handle(), Bounds(0, 0, 28, kDesignHeight));
  ChanLabel->SetAutoSize(false);
  ChanLabel->SetBounds(0, 0, 28, kDesignHeight);
  ChanLabel->SetCentered(true);
  ChanLabel->SetFont(chanFont_->Get());
  ChanLabel->SetCaption(std::to_string(index + 1));
  ChanLabel->SetAnchors(akLeft | akTop | akBottom, kDesignWidth, kDesignHeight);

  Gauge = std::make_unique<TGauge>(Handle());
  Gauge->BeginLoading();
  Gauge->SetBounds(33, 2, 83, 27);
  Gauge->SetBackColor(clBlack);
  Gauge->SetForeColor(clWhite);
  Gauge->SetBorderStyle(TBorderStyle::bsNone);
  Gauge->SetShowText(false);
  Gauge->SetProgress(0);
  Gauge->SetFont(font_->Get());
  Gauge->EndLoading();

  StopButton = std::make_unique<TSpeedButton>(Handle(), Bounds(120, 2, 27, 27));
  StopButton->SetGroupIndex(1);
  StopButton->SetGlyph(StopGlyph());
  PlayButton = std::make_unique<TSpeedButton>(Handle(), Bounds(149, 2, 27, 27));
  PlayButton->SetGroupIndex(1);
  PlayButton->SetGlyph(PlayGlyph());
  StopButton->SetDown(true);
  StopButton->OnClick = [this](TControl&) { PlayButtonClick(); };
  PlayButton->OnClick = [this](TControl&) { PlayButtonClick(); };

  Label1 = std::make_unique<TLabel>(Handle(), Bounds(181, 9, 29, 13));
  Label1->SetFont(font_->Get());
  Label1->SetCaption("Level:");

  LevelTB = std::make_unique<TQLTrackBar>(Handle(), Bounds(211, 6, 87, 23));
  LevelTB->SetMin(-50);
  LevelTB->SetMax(0);
  LevelTB->SetPosition(0);
  LevelTB->SetFrequency(3);
  LevelTB->SetTickStyle(TTickStyle::tsNone);
  LevelTB->SetThumbLength(18);
  LevelTB->SetAnchors(akLeft | akTop | akRight, kDesignWidth, kDesignHeight);
  LevelTB->OnChange = [this](TControl&) { LevelTBChange(); };

  // Anchored at its design bounds; its width then follows its text, from the right edge.
  LevelLabel = std::make_unique<TLabel>(Handle(), Bounds(298, 9, 19, 13));
  LevelLabel->SetAutoSize(false);
  LevelLabel->SetBounds(298, 9, 19, 13);
  LevelLabel->SetAnchors(akTop | akRight, kDesignWidth, kDesignHeight);
  LevelLabel->SetFont(font_->Get());
  LevelLabel->SetAutoSize(true);
  UpdateLevelLabel();
  // The strip's owner knows whether a whole strip can be seen, and tells the strip.
  for (TControl* child :
       std::initializer_list<TControl*>{ChanLabel.get(), Gauge.get(), StopButton.get(), PlayButton.get(),
                                        Label1.get(), LevelTB.get(), LevelLabel.get()}) {
    child->TakeSightFrom(this);
  }
  // Texts wider than designed (the system's substitute for the design font is wider)
  // then show over the slider's empty margins instead of under them.
  for (const TLabel* label : {Label1.get(), LevelLabel.get()}) {
    SetWindowPos(label->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

TChanFrame::~TChanFrame() {
  // The children go before the fonts they draw with.
  LevelLabel.reset();
  LevelTB.reset();
  Label1.reset();
  StopButton.reset();
  PlayButton.reset();
  Gauge.reset();
  ChanLabel.reset();
}

void TChanFrame::SetName(const std::string& name) {
  name_ = name;
  SetWindowTextA(Handle(), name.c_str());
}

void TChanFrame::SetPlaying(bool playing) {
  if (playing) {
    PlayButton->SetDown(true);
  } else {
    StopButton->SetDown(true);
    Gauge->SetProgress(0);
  }
}

void TChanFrame::ShowProgress(int percent) { Gauge->SetProgress(percent); }

int TChanFrame::Level() const { return LevelTB->Position(); }

void TChanFrame::SetLevel(int value) {
  LevelTB->SetPosition(value <= LevelTB->Max() ? value : LevelTB->Max());
  UpdateLevelLabel();
}

void TChanFrame::ShowLevel(int value) {
  // Every tick asks: an unchanged level costs no message to the control.
  if (value == LevelTB->Position()) return;
  const int position = value <= LevelTB->Max() ? value : LevelTB->Max();
  if (position == LevelTB->Position()) return;
  LevelTB->ShowPosition(position);
  UpdateLevelLabel();
}

void TChanFrame::PlayButtonClick() {
  if (PlayButton->Down()) {
    if (OnPlay) OnPlay(*this);
  } else {
    if (OnStop) OnStop(*this);
  }
}

void TChanFrame::LevelTBChange() {
  UpdateLevelLabel();
  if (OnLevelChange) OnLevelChange(*this);
}

void TChanFrame::UpdateLevelLabel() {
  char text[16];
  std::snprintf(text, sizeof text, "%ddB", LevelTB->Position());
  LevelLabel->SetCaption(text);
}

LRESULT TChanFrame::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_WINDOWPOSCHANGING) {
    auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
    if (!(pos->flags & SWP_NOSIZE) && pos->cx < kMinWidth) pos->cx = kMinWidth;
  }
  return TPanel::WndProc(msg, wParam, lParam);
}

}  // namespace tonvane
