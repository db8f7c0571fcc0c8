// The labelled combo box as a user drives it: real system combo boxes in a real
// top-level window, fed with the messages that typing, picking and focus produce.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/exception.h"
#include "plugin_host.h"
#include "ui/kit/controls_win32.h"
#include "ui/kit/left_label_combo_box_win32.h"
#include "ui/kit/panel_win32.h"
#include "ui_test_support.h"

namespace tonvane {
namespace {

using uitest::InParent;
using uitest::PumpPending;

HWND CreateHostWindow() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "LabelledComboTestHost";
  RegisterClassExA(&wc);
  HWND host = CreateWindowExA(0, wc.lpszClassName, "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 420,
                              240, nullptr, nullptr, wc.hInstance, nullptr);
  return host;
}

bool IsVisibleStyle(HWND hwnd) { return (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

class LabelledComboTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = CreateHostWindow();
    ASSERT_TRUE(host_);
    panel_ = std::make_unique<TPanel>(host_, RECT{0, 0, 400, 200});
    font_ = std::make_unique<TFontHandle>("MS Sans Serif", -11);
    // Somewhere for the focus to go when the box is left.
    other_ = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 45, 100, 100, 21,
                             panel_->Handle(), nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  void TearDown() override {
    box_.reset();
    panel_.reset();
    DestroyWindow(host_);
    PumpPending();
  }

  TLeftLabelComboBox& MakeBox(TComboBoxStyle style, bool singleChange) {
    box_ = std::make_unique<TLeftLabelComboBox>(panel_->Handle(), RECT{45, 5, 45 + 191, 5 + 21}, style);
    box_->SetFont(font_->Get());
    box_->SetLabelCaption("Device:");
    for (const char* item : {"alpha", "beta", "gamma"}) box_->AddItem(item);
    if (singleChange) box_->SetSingleChange(true);
    box_->OnChange = [this] { events_.push_back("change " + box_->Text()); };
    box_->OnClick = [this] { events_.push_back("click " + box_->Text()); };
    box_->OnEnter = [this] { events_.push_back("enter"); };
    box_->OnExit = [this] { events_.push_back("exit"); };
    box_->OnKeyPress = [this](char& key) { events_.push_back(std::string("key ") + key); };
    return *box_;
  }
  HWND Label() const { return box_->Label().Handle(); }
  // Where typed characters arrive: the text field of an editable box, else the box.
  HWND KeyTarget() const { return box_->EditHandle() ? box_->EditHandle() : box_->Handle(); }
  void Type(const std::string& text) {
    for (char c : text) SendMessageA(KeyTarget(), WM_CHAR, static_cast<unsigned char>(c), 1);
  }
  void PressKey(UINT vk, char c) {
    SendMessageA(KeyTarget(), WM_KEYDOWN, vk, 1);
    if (c) SendMessageA(KeyTarget(), WM_CHAR, static_cast<unsigned char>(c), 1);
    SendMessageA(KeyTarget(), WM_KEYUP, vk, 0xC0000001);
  }
  void Focus() {
    SetFocus(box_->Handle());
    events_.clear();
  }
  void Leave() { SetFocus(other_); }
  int Changes() const {
    int n = 0;
    for (const auto& e : events_) n += e.rfind("change", 0) == 0;
    return n;
  }

  HWND host_ = nullptr;
  HWND other_ = nullptr;
  std::unique_ptr<TPanel> panel_;
  std::unique_ptr<TFontHandle> font_;
  std::unique_ptr<TLeftLabelComboBox> box_;
  std::vector<std::string> events_;
};

TEST_F(LabelledComboTest, LabelStandsLeftOfTheBoxAndFollowsIt) {
  auto& box = MakeBox(TComboBoxStyle::DropDownList, false);
  EXPECT_EQ(box.Spacing(), 5);
  EXPECT_EQ(box.VertShift(), 3);
  EXPECT_EQ(GetParent(Label()), panel_->Handle());
  RECT label = InParent(Label());
  EXPECT_EQ(label.right, 40) << "right edge 5 pixels left of the box at 45";
  EXPECT_EQ(label.top, 8) << "top 3 pixels below the box's top at 5";
  EXPECT_GT(label.right - label.left, 0);
  EXPECT_GT(label.bottom - label.top, 0);

  SetWindowPos(box.Handle(), nullptr, 150, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  label = InParent(Label());
  EXPECT_EQ(label.right, 145);
  EXPECT_EQ(label.top, 63);

  box.SetSpacing(10);
  box.SetVertShift(0);
  label = InParent(Label());
  EXPECT_EQ(label.right, 140);
  EXPECT_EQ(label.top, 60);

  ShowWindow(box.Handle(), SW_HIDE);
  EXPECT_FALSE(IsVisibleStyle(Label()));
  ShowWindow(box.Handle(), SW_SHOW);
  EXPECT_TRUE(IsVisibleStyle(Label()));
}

TEST_F(LabelledComboTest, CaptionAndFontSizeTheLabel) {
  auto& box = MakeBox(TComboBoxStyle::DropDownList, false);
  const RECT shortCaption = InParent(Label());
  box.SetLabelCaption("Device name:");
  EXPECT_EQ(box.LabelCaption(), "Device name:");
  const RECT longCaption = InParent(Label());
  EXPECT_EQ(longCaption.right, 40);
  EXPECT_GT(longCaption.right - longCaption.left, shortCaption.right - shortCaption.left);
  EXPECT_EQ(shortCaption.left - longCaption.left,
            (longCaption.right - longCaption.left) - (shortCaption.right - shortCaption.left))
      << "moved left by exactly the added width";

  // The same caption again leaves the label alone, even where it was put by hand.
  SetWindowPos(Label(), nullptr, 0, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  box.SetLabelCaption("Device name:");
  EXPECT_EQ(InParent(Label()).top, 150);
  box.SetLabelCaption("Device:");
  EXPECT_EQ(InParent(Label()).right, 40);

  TFontHandle big("Arial", -24);
  SendMessageA(box.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(big.Get()), TRUE);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(Label(), WM_GETFONT, 0, 0)), big.Get());
  const RECT bigLabel = InParent(Label());
  EXPECT_GT(bigLabel.bottom - bigLabel.top, shortCaption.bottom - shortCaption.top);
  EXPECT_GT(bigLabel.right - bigLabel.left, shortCaption.right - shortCaption.left);
  EXPECT_EQ(bigLabel.right, 40) << "the wider label still ends 5 pixels left of the box";
  box.SetFont(font_->Get());  // before the big font goes away
}

TEST_F(LabelledComboTest, NewParentTakesTheLabelAlong) {
  auto& box = MakeBox(TComboBoxStyle::DropDownList, false);
  TPanel second(host_, RECT{0, 100, 400, 200});
  box.SetParent(second.Handle());
  EXPECT_EQ(GetParent(Label()), second.Handle());
  const RECT label = InParent(Label());
  EXPECT_EQ(label.right, InParent(box.Handle()).left - 5);
  box.SetParent(panel_->Handle());
}

TEST_F(LabelledComboTest, BoxKeepsItsDesignedClosedHeight) {
  auto& box = MakeBox(TComboBoxStyle::DropDownList, false);
  const RECT r = InParent(box.Handle());
  EXPECT_EQ(r.left, 45);
  EXPECT_EQ(r.top, 5);
  EXPECT_EQ(r.right - r.left, 191);
  EXPECT_EQ(r.bottom - r.top, 21);
  EXPECT_TRUE(GetWindowLongA(box.Handle(), GWL_STYLE) & CBS_DROPDOWNLIST);
}

TEST_F(LabelledComboTest, WritingTextNeverRaisesChange) {
  for (bool singleChange : {false, true}) {
    SCOPED_TRACE(singleChange ? "single change" : "every change");
    for (auto style : {TComboBoxStyle::DropDown, TComboBoxStyle::DropDownList}) {
      auto& box = MakeBox(style, singleChange);
      box.SetText("gamma");
      EXPECT_EQ(box.Text(), "gamma");
      box.SetText("beta");
      EXPECT_EQ(box.Text(), "beta");
      EXPECT_EQ(Changes(), 0);
      ASSERT_TRUE(box.OnChange) << "the handler is back after the write";
    }
  }
  // Without single change every keystroke is a change; the write above was not one.
  auto& box = MakeBox(TComboBoxStyle::DropDown, false);
  box.SetAutoComplete(false);
  Focus();
  Type("xy");
  EXPECT_EQ(Changes(), 2);
}

TEST_F(LabelledComboTest, SingleChangeTurnsAutoCompleteOff) {
  auto& box = MakeBox(TComboBoxStyle::DropDown, false);
  EXPECT_TRUE(box.AutoComplete());
  box.SetSingleChange(false);
  EXPECT_FALSE(box.AutoComplete());
  box.SetAutoComplete(true);
  box.SetSingleChange(true);
  EXPECT_FALSE(box.AutoComplete());
  EXPECT_TRUE(box.SingleChange());
}

TEST_F(LabelledComboTest, AutoCompleteOffersTheRestOfTheFirstMatchingItem) {
  auto& box = MakeBox(TComboBoxStyle::DropDown, false);
  Focus();
  Type("g");
  EXPECT_EQ(box.Text(), "gamma");
  DWORD start = 0, end = 0;
  SendMessageA(box.EditHandle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 1u);
  EXPECT_EQ(end, 5u);
  EXPECT_EQ(events_, (std::vector<std::string>{"key g", "change gamma"})) << "one change for one keystroke";
  Type("x");  // replaces the offered rest
  EXPECT_EQ(box.Text(), "gx");
}

TEST_F(LabelledComboTest, SingleChangeCommitsTypingOnEnterOnce) {
  auto& box = MakeBox(TComboBoxStyle::DropDown, true);
  Focus();
  Type("abc");
  EXPECT_EQ(box.Text(), "abc");
  EXPECT_EQ(Changes(), 0) << "typing raises nothing";
  PressKey(VK_RETURN, '\r');
  EXPECT_EQ(Changes(), 1);
  PressKey(VK_RETURN, '\r');
  EXPECT_EQ(Changes(), 1) << "Enter without a new edit";
  EXPECT_EQ(events_, (std::vector<std::string>{"key a", "key b", "key c", "change abc"}))
      << "Enter itself is not a key press";
  Leave();
  EXPECT_EQ(Changes(), 1) << "leaving after the commit";
}

TEST_F(LabelledComboTest, SingleChangeCommitsWhenLeavingAfterAnEdit) {
  auto& box = MakeBox(TComboBoxStyle::DropDown, true);
  Focus();
  Type("x");
  Leave();
  EXPECT_EQ(events_, (std::vector<std::string>{"key x", "exit", "change x"}));
  EXPECT_EQ(box.Text(), "x");
  Focus();
  Leave();
  EXPECT_EQ(events_, (std::vector<std::string>{"exit"})) << "leaving without an edit";
}

TEST_F(LabelledComboTest, SingleChangeEscapeRestoresTheHeldText) {
  auto& box = MakeBox(TComboBoxStyle::DropDown, true);
  box.SetText("beta");
  Focus();
  PressKey(VK_END, 0);  // the focus selected the whole text
  Type("zz");
  EXPECT_EQ(box.Text(), "betazz");
  PressKey(VK_ESCAPE, '\x1b');
  EXPECT_EQ(box.Text(), "beta") << "the text held when the box got the focus";
  PressKey(VK_END, 0);
  Type("q");
  PressKey(VK_RETURN, '\r');
  EXPECT_EQ(box.Text(), "betaq");
  PressKey(VK_END, 0);
  Type("rs");
  PressKey(VK_ESCAPE, '\x1b');
  EXPECT_EQ(box.Text(), "betaq") << "the text last committed";
  Leave();
  EXPECT_EQ(Changes(), 1) << "only the Enter";
}

TEST_F(LabelledComboTest, SingleChangePickingADifferentItemRaisesClickThenOneChange) {
  auto& box = MakeBox(TComboBoxStyle::DropDown, true);
  box.SetText("alpha");
  box.SetItemIndex(0);
  Focus();
  SendMessageA(KeyTarget(), WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_EQ(box.Text(), "beta");
  EXPECT_EQ(events_, (std::vector<std::string>{"click beta", "change beta"}));
  Leave();
  EXPECT_EQ(Changes(), 1) << "the pick was committed";
}

TEST_F(LabelledComboTest, SingleChangePickingTheShownItemRaisesNoChange) {
  auto& box = MakeBox(TComboBoxStyle::DropDown, true);
  box.SetText("alpha");  // shown, but not yet picked in the list
  Focus();
  SendMessageA(KeyTarget(), WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_EQ(box.ItemIndex(), 0);
  EXPECT_EQ(box.Text(), "alpha");
  EXPECT_EQ(events_, (std::vector<std::string>{"click alpha"}));
}

TEST_F(LabelledComboTest, EveryPickIsAChangeWithoutSingleChange) {
  MakeBox(TComboBoxStyle::DropDownList, false);
  Focus();
  SendMessageA(KeyTarget(), WM_KEYDOWN, VK_DOWN, 1);
  SendMessageA(KeyTarget(), WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_EQ(events_, (std::vector<std::string>{"click alpha", "change alpha", "click beta", "change beta"}));
  PressKey(VK_RETURN, '\r');
  EXPECT_EQ(events_.back(), "key \r") << "Enter is an ordinary key here";
}

TEST_F(LabelledComboTest, AFailingHandlerIsReportedInTheErrorBoxAndTheBoxGoesOn) {
  std::vector<std::string> shown;
  host::MessageBoxWatcher watcher([&](const std::string& text) { shown.push_back(text); });
  auto& box = MakeBox(TComboBoxStyle::DropDownList, false);
  box.OnChange = [] { throw Exception("Unable to open the device"); };
  Focus();
  SendMessageA(KeyTarget(), WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_EQ(shown, (std::vector<std::string>{"Unable to open the device"}));
  EXPECT_EQ(box.Text(), "alpha");
  box.OnChange = nullptr;
  SendMessageA(KeyTarget(), WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_EQ(box.Text(), "beta");
  EXPECT_EQ(shown.size(), 1u);
}

}  // namespace
}  // namespace tonvane
