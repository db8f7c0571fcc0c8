#include "ui/kit/combo_box_win32.h"

#include <algorithm>

namespace tonvane {

namespace {

// Height of one list line before the box has a font to measure.
constexpr int kFirstListLineHeight = 16;

}  // namespace

// The text field of an editable box receives the typed characters, not the box.
class TComboBoxBase::TEditPart final : public TControl {
 public:
  TEditPart(TComboBoxBase& owner, HWND edit) : owner_(owner) { Subclass(edit); }

 protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg != WM_CHAR) return DefaultProc(msg, wParam, lParam);
    if (!owner_.CharMessage(wParam)) return 0;
    // The edit's change notification arrives while the character is processed;
    // completion belongs to typed text only, not to deletions or pasted text.
    owner_.completeOnChange_ = wParam >= ' ';
    const LRESULT result = DefaultProc(msg, wParam, lParam);
    owner_.completeOnChange_ = false;
    return result;
  }

 private:
  TComboBoxBase& owner_;
};

TComboBoxBase::TComboBoxBase(HWND parent, const RECT& bounds, TComboBoxStyle style)
    : style_(style), closedHeight_(bounds.bottom - bounds.top) {
  const DWORD kind =
      style == TComboBoxStyle::DropDownList ? CBS_DROPDOWNLIST : (CBS_DROPDOWN | CBS_AUTOHSCROLL);
  RECT outer = bounds;
  outer.bottom += dropDownCount_ * kFirstListLineHeight + 2;
  Create(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | kind, outer, parent);
  FitClosedHeight();
  if (HWND edit = FindWindowExA(Handle(), nullptr, "Edit", nullptr)) {
    edit_ = std::make_unique<TEditPart>(*this, edit);
  }
}

TComboBoxBase::~TComboBoxBase() = default;

HWND TComboBoxBase::EditHandle() const { return edit_ ? edit_->Handle() : nullptr; }

std::string TComboBoxBase::Text() const {
  std::string text(GetWindowTextLengthA(Handle()) + 1, '\0');
  text.resize(GetWindowTextA(Handle(), text.data(), static_cast<int>(text.size())));
  return text;
}

void TComboBoxBase::SetText(const std::string& text) {
  if (style_ == TComboBoxStyle::DropDownList) {
    const LRESULT index = text.empty() ? CB_ERR
                                       : SendMessageA(Handle(), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                      reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  } else {
    SetWindowTextA(Handle(), text.c_str());
  }
}

int TComboBoxBase::ItemIndex() const { return static_cast<int>(SendMessageA(Handle(), CB_GETCURSEL, 0, 0)); }

void TComboBoxBase::SetItemIndex(int index) {
  SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TComboBoxBase::AddItem(const std::string& item) {
  SendMessageA(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void TComboBoxBase::ClearItems() { SendMessageA(Handle(), CB_RESETCONTENT, 0, 0); }

int TComboBoxBase::ItemCount() const { return static_cast<int>(SendMessageA(Handle(), CB_GETCOUNT, 0, 0)); }

std::string TComboBoxBase::Item(int index) const {
  const LRESULT length = SendMessageA(Handle(), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return {};
  std::string text(length + 1, '\0');
  SendMessageA(Handle(), CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return text;
}

int TComboBoxBase::ItemHeight() const {
  return static_cast<int>(SendMessageA(Handle(), CB_GETITEMHEIGHT, 0, 0));
}

void TComboBoxBase::SetItemHeight(int height) {
  // The system box takes a list line height only when it draws the items itself;
  // otherwise the font decides, and the request is harmless.
  SendMessageA(Handle(), CB_SETITEMHEIGHT, 0, height);
  const RECT r = BoundsRect();
  SetBounds(r.left, r.top, r.right - r.left, closedHeight_);
}

void TComboBoxBase::SetDropDownCount(int count) {
  dropDownCount_ = count;
  const RECT r = BoundsRect();
  SetBounds(r.left, r.top, r.right - r.left, closedHeight_);
}

int TComboBoxBase::ListHeight() const { return dropDownCount_ * std::max(1, ItemHeight()) + 2; }

void TComboBoxBase::SetBounds(int left, int top, int width, int height) {
  closedHeight_ = height;
  // The window height of a drop-down box includes its list.
  TControl::SetBounds(left, top, width, height + ListHeight());
  FitClosedHeight();
}

void TComboBoxBase::FitClosedHeight() {
  // The system sizes the closed box from its font; the layout wants the height it
  // was given, which the selection field's height sets.
  if (closedHeight_ <= 0 || !Handle()) return;
  const int actual = Height();
  if (actual == closedHeight_) return;
  const LRESULT field = SendMessageA(Handle(), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  if (field == CB_ERR || field + closedHeight_ - actual <= 0) return;
  SendMessageA(Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field + closedHeight_ - actual);
}

void TComboBoxBase::Change() {
  if (OnChange) OnChange();
}

void TComboBoxBase::Click() {
  if (OnClick) OnClick();
}

void TComboBoxBase::DoEnter() {
  if (OnEnter) OnEnter();
}

void TComboBoxBase::DoExit() {
  if (OnExit) OnExit();
}

void TComboBoxBase::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(key);
}

bool TComboBoxBase::CharMessage(WPARAM& wParam) {
  char key = static_cast<char>(wParam);
  KeyPress(key);
  if (key == 0) return false;
  wParam = static_cast<unsigned char>(key);
  return true;
}

void TComboBoxBase::Complete() {
  HWND edit = EditHandle();
  if (!autoComplete_ || !edit) return;
  const std::string typed = Text();
  DWORD start = 0, end = 0;
  SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  // Only while typing at the end of the text.
  if (typed.empty() || start != end || end != typed.size()) return;
  const LRESULT index =
      SendMessageA(Handle(), CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(typed.c_str()));
  if (index == CB_ERR) return;
  const std::string item = Item(static_cast<int>(index));
  if (item.size() <= typed.size()) return;
  syncingText_ = true;
  SetWindowTextA(edit, (typed + item.substr(typed.size())).c_str());
  syncingText_ = false;
  // The completed part stays selected, so the next character replaces it.
  SendMessageA(edit, EM_SETSEL, typed.size(), item.size());
}

LRESULT TComboBoxBase::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CHAR:
      if (!CharMessage(wParam)) return 0;
      break;
    case WM_SETFONT: {
      const LRESULT result = DefaultProc(msg, wParam, lParam);
      FitClosedHeight();
      return result;
    }
    default:
      break;
  }
  return DefaultProc(msg, wParam, lParam);
}

bool TComboBoxBase::Notification(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  if (msg != WM_COMMAND) return false;
  switch (HIWORD(wParam)) {
    case CBN_SETFOCUS:
      DoEnter();
      break;
    case CBN_KILLFOCUS:
      DoExit();
      break;
    case CBN_EDITCHANGE:
      if (syncingText_) break;
      if (completeOnChange_) {
        completeOnChange_ = false;
        Complete();
      }
      Change();
      break;
    case CBN_SELCHANGE:
      // The picked item is the text from here on, whenever the system itself copies
      // it into the text field.
      if (edit_) {
        const int index = ItemIndex();
        if (index >= 0 && Item(index) != Text()) {
          syncingText_ = true;
          SetWindowTextA(Handle(), Item(index).c_str());
          syncingText_ = false;
        }
      }
      Click();
      Change();
      break;
    default:
      return false;
  }
  result = 0;
  return true;
}

}  // namespace tonvane
