#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/kit/combo_box_win32.h"
#include "ui/kit/controls_win32.h"
#include "ui/kit/label_win32.h"

namespace tonvane {

// A combo box that carries its caption to its left and keeps it there when the box
// moves, changes font or is shown or hidden. In single-change mode editing raises
// OnChange once, when the edit is committed (Enter, leaving the box, or picking a
// different item), instead of on every keystroke.
class TLeftLabelComboBox : public TComboBoxBase {
 public:
  TLeftLabelComboBox(HWND parent, const RECT& bounds, TComboBoxStyle style = TComboBoxStyle::DropDown);
  ~TLeftLabelComboBox() override;

  int Spacing() const { return spacing_; }
  void SetSpacing(int spacing);
  int VertShift() const { return vertShift_; }
  void SetVertShift(int shift);
  std::string LabelCaption() const;
  void SetLabelCaption(const std::string& caption);
  bool SingleChange() const { return singleChange_; }
  void SetSingleChange(bool on);
  const TLabel& Label() const { return *label_; }

  // Writing the text from code never raises OnChange.
  void SetText(const std::string& text) override;
  void SetParent(HWND parent);

  void UpdateLabelPosition();
  void CommitChange();

 protected:
  void Change() override;
  void Click() override;
  void DoEnter() override;
  void DoExit() override;
  void KeyPress(char& key) override;
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  int spacing_ = 5;
  int vertShift_ = 3;
  std::unique_ptr<TLabel> label_;
  bool changePending_ = false;
  bool singleChange_ = false;
  std::string savedText_;
};

}  // namespace tonvane
