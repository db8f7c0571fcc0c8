#include "ui/kit/left_label_combo_box_win32.h"

#include <utility>

#include "base/scope_exit.h"

namespace tonvane {

TLeftLabelComboBox::TLeftLabelComboBox(HWND parent, const RECT& bounds, TComboBoxStyle style)
    : TComboBoxBase(parent, bounds, style) {
  label_ = std::make_unique<TLabel>(parent, RECT{bounds.left, bounds.top, bounds.left, bounds.top});
  label_->SetFont(Font());
  label_->SetVisible(Visible());
  UpdateLabelPosition();
}

TLeftLabelComboBox::~TLeftLabelComboBox() = default;

void TLeftLabelComboBox::SetSpacing(int spacing) {
  if (spacing == spacing_) return;
  spacing_ = spacing;
  UpdateLabelPosition();
}

void TLeftLabelComboBox::SetVertShift(int shift) {
  if (shift == vertShift_) return;
  vertShift_ = shift;
  UpdateLabelPosition();
}

std::string TLeftLabelComboBox::LabelCaption() const { return label_->Caption(); }

void TLeftLabelComboBox::SetLabelCaption(const std::string& caption) {
  if (caption == label_->Caption()) return;
  label_->SetCaption(caption);
  UpdateLabelPosition();
}

void TLeftLabelComboBox::SetSingleChange(bool on) {
  singleChange_ = on;
  // Completion rewrites the text while it is typed, which would defeat committing it once.
  SetAutoComplete(false);
}

void TLeftLabelComboBox::SetParent(HWND parent) {
  ::SetParent(Handle(), parent);
  if (label_) ::SetParent(label_->Handle(), parent);
  UpdateLabelPosition();
}

void TLeftLabelComboBox::UpdateLabelPosition() {
  if (!label_ || !label_->Handle() || !Handle()) return;
  const RECT box = BoundsRect();
  const int left = box.left - label_->Width() - spacing_;
  const int top = box.top + vertShift_;
  if (label_->Left() != left || label_->Top() != top) {
    SetWindowPos(label_->Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TLeftLabelComboBox::SetText(const std::string& text) {
  // The handler is put back however the write ends.
  const TScopeExit restore(
      [this, handler = std::exchange(OnChange, nullptr)]() mutable { OnChange = std::move(handler); });
  if (singleChange_) savedText_ = text;
  TComboBoxBase::SetText(text);
}

void TLeftLabelComboBox::CommitChange() {
  savedText_ = Text();
  TComboBoxBase::Change();
}

void TLeftLabelComboBox::Change() {
  if (!singleChange_) {
    TComboBoxBase::Change();
    return;
  }
  // Keystrokes wait for the commit; only a picked item commits at once.
  if (changePending_) {
    changePending_ = false;
    CommitChange();
  }
}

void TLeftLabelComboBox::Click() {
  TComboBoxBase::Click();
  if (singleChange_ && Text() != savedText_) changePending_ = true;
}

void TLeftLabelComboBox::DoEnter() {
  TComboBoxBase::DoEnter();
  if (singleChange_) savedText_ = Text();
}

void TLeftLabelComboBox::DoExit() {
  TComboBoxBase::DoExit();
  if (singleChange_ && Text() != savedText_) CommitChange();
}

void TLeftLabelComboBox::KeyPress(char& key) {
  if (singleChange_ && (key == '\r' || key == '\x1b')) {
    if (key == '\r') {
      if (Text() != savedText_) CommitChange();
    } else {
      SetText(savedText_);
    }
    key = 0;
    return;
  }
  TComboBoxBase::KeyPress(key);
}

LRESULT TLeftLabelComboBox::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = TComboBoxBase::WndProc(msg, wParam, lParam);
  if (!label_) return result;
  if (msg == WM_WINDOWPOSCHANGED) {
    const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
    UpdateLabelPosition();
    if (pos->flags & SWP_SHOWWINDOW) label_->SetVisible(true);
    if (pos->flags & SWP_HIDEWINDOW) label_->SetVisible(false);
  } else if (msg == WM_SETFONT) {
    label_->SetFont(reinterpret_cast<HFONT>(wParam));
    UpdateLabelPosition();
  }
  return result;
}

}  // namespace tonvane
