#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/kit/controls_win32.h"

namespace tonvane {

enum class TComboBoxStyle { DropDown, DropDownList };

// The system combo box with its notifications turned into overridable steps, each of
// which raises the matching event.
class TComboBoxBase : public TControl {
 public:
  // bounds: the closed box; the list below it shows DropDownCount items.
  TComboBoxBase(HWND parent, const RECT& bounds, TComboBoxStyle style);
  ~TComboBoxBase() override;

  std::function<void()> OnChange;
  std::function<void()> OnClick;
  std::function<void()> OnEnter;
  std::function<void()> OnExit;
  // May change the character or set it to 0, which drops it.
  std::function<void(char& key)> OnKeyPress;

  TComboBoxStyle Style() const { return style_; }
  std::string Text() const;
  virtual void SetText(const std::string& text);
  int ItemIndex() const;
  void SetItemIndex(int index);
  void AddItem(const std::string& item);
  void ClearItems();
  int ItemCount() const;
  std::string Item(int index) const;
  int ItemHeight() const;
  void SetItemHeight(int height);
  int DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int count);
  // Completes typed text with the first item that starts with it (editable boxes).
  bool AutoComplete() const { return autoComplete_; }
  void SetAutoComplete(bool on) { autoComplete_ = on; }
  // The text field of an editable box, null for a drop-down list.
  HWND EditHandle() const;

  // height: of the closed box.
  void SetBounds(int left, int top, int width, int height) override;

 protected:
  // The text was edited, or a list item was picked (after Click).
  virtual void Change();
  // A list item was picked.
  virtual void Click();
  virtual void DoEnter();
  virtual void DoExit();
  virtual void KeyPress(char& key);

  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool Notification(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  class TEditPart;
  // Runs the key step; true when the key goes on to the window.
  bool CharMessage(WPARAM& wParam);
  void Complete();
  void FitClosedHeight();
  int ListHeight() const;

  TComboBoxStyle style_;
  std::unique_ptr<TEditPart> edit_;
  int dropDownCount_ = 8;
  int closedHeight_ = 0;
  bool autoComplete_ = true;
  bool syncingText_ = false;
  bool completeOnChange_ = false;
};

}  // namespace tonvane
