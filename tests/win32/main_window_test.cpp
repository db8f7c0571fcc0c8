// The plug-in's window as the host shows it: layout read back from the real child
// windows, sizing, and the channel column with rows of its own.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "plugin_host.h"
#include "plugin_session.h"
#include "scratch_dir.h"
#include "window_lookup.h"
#include "ui/kit/controls_win32.h"
#include "ui/kit/open_dialog_win32.h"
#include "ui/kit/scroll_box_win32.h"
#include "ui/kit/status_bar_win32.h"

namespace tonvane {
namespace {

using namespace tonvane::testing;

constexpr int kRowHeight = 30;

class MainWindowTest : public PluginSession {
 protected:
  MainWindowTest() : PluginSession("main-window") {}

  void SetUp() override {
    PluginSession::SetUp();
    Show();
    if (HasFatalFailure()) return;
    panel_ = TopPanel(form_);
    scrollBox_ = ChannelColumn(form_);
    statusBar_ = FindWindowExA(form_, nullptr, STATUSCLASSNAMEA, nullptr);
    ASSERT_TRUE(panel_ && scrollBox_ && statusBar_);
    const std::vector<HWND> combos = PanelLists(form_);
    ASSERT_EQ(combos.size(), 2u);
    deviceList_ = combos[0];
    rateList_ = combos[1];
    deviceLabel_ = FindWindowExA(panel_, nullptr, "Static", "Device:");
    rateLabel_ = FindWindowExA(panel_, nullptr, "Static", "Rate:");
    ASSERT_TRUE(deviceLabel_ && rateLabel_);
    GetWindowRect(form_, &opening_);
  }
  void TearDown() override {
    PluginSession::TearDown();
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
  }

  RECT Client() const {
    RECT r{};
    GetClientRect(form_, &r);
    return r;
  }
  // Resizes the window as a user dragging its frame would.
  void ResizeBy(int dx, int dy) {
    RECT r{};
    GetWindowRect(form_, &r);
    SetWindowPos(form_, nullptr, 0, 0, WidthOf(r) + dx, HeightOf(r) + dy, SWP_NOMOVE | SWP_NOZORDER);
  }
  std::vector<HWND> AddRows(int count) {
    std::vector<HWND> rows;
    for (int i = 0; i < count; ++i) {
      rows.push_back(CreateWindowExA(0, "STATIC", "row", WS_CHILD | WS_VISIBLE, 0, kRowHeight * i, 100,
                                     kRowHeight, scrollBox_, nullptr, GetModuleHandleA(nullptr), nullptr));
    }
    host::PumpPendingMessages();
    return rows;
  }
  SCROLLINFO VerticalBar() const {
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    GetScrollInfo(scrollBox_, SB_VERT, &si);
    return si;
  }
  void Scroll(WORD request, WORD position = 0) {
    SendMessageA(scrollBox_, WM_VSCROLL, MAKEWPARAM(request, position), 0);
  }

  HWND panel_ = nullptr, scrollBox_ = nullptr, statusBar_ = nullptr;
  HWND deviceList_ = nullptr, rateList_ = nullptr, deviceLabel_ = nullptr, rateLabel_ = nullptr;
  RECT opening_{};
};

TEST_F(MainWindowTest, StaysOnTopWithItsOwnTaskbarButtonAndASizeableFrame) {
  EXPECT_EQ(TextOf(form_), "Tonvane");
  EXPECT_TRUE(ExStyle(form_) & WS_EX_TOPMOST);
  EXPECT_TRUE(ExStyle(form_) & WS_EX_APPWINDOW);
  EXPECT_TRUE(Style(form_) & WS_THICKFRAME);

  // Designed as 335 x 123 inside a single border; the sizeable frame keeps that outer size.
  RECT design{0, 0, 335, 123};
  AdjustWindowRectEx(&design, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, FALSE, ExStyle(form_));
  EXPECT_EQ(WidthOf(opening_), WidthOf(design));
  EXPECT_EQ(HeightOf(opening_), HeightOf(design));
  EXPECT_LE(WidthOf(Client()), 335);

  // Centred on the screen, whatever position was stored before.
  EXPECT_NEAR((opening_.left + opening_.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((opening_.top + opening_.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

  const auto big = reinterpret_cast<HICON>(SendMessageA(form_, WM_GETICON, ICON_BIG, 0));
  const auto small = reinterpret_cast<HICON>(SendMessageA(form_, WM_GETICON, ICON_SMALL, 0));
  ASSERT_TRUE(big && small) << "an icon of its own";
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(big, &info));
  BITMAP bm{};
  GetObjectA(info.hbmColor, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, GetSystemMetrics(SM_CXICON));
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);

  for (HWND control : {deviceList_, rateList_, deviceLabel_, statusBar_}) {
    LOGFONTA font{};
    ASSERT_TRUE(
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font, &font));
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(font.lfHeight, -11);
  }
}

TEST_F(MainWindowTest, ControlsStandWhereTheLayoutPutsThem) {
  const int width = WidthOf(Client());
  const int height = HeightOf(Client());
  // The frame took this much of the designed client width; right-anchored parts give it up.
  const int lost = 335 - width;

  EXPECT_EQ(InParent(panel_).left, 0);
  EXPECT_EQ(InParent(panel_).top, 0);
  EXPECT_EQ(WidthOf(InParent(panel_)), width);
  EXPECT_EQ(HeightOf(InParent(panel_)), 33);
  EXPECT_EQ(ExStyle(panel_) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_WINDOWEDGE), 0) << "no bevel";

  const RECT device = InParent(deviceList_);
  EXPECT_EQ(device.left, 45);
  EXPECT_EQ(device.top, 5);
  EXPECT_EQ(WidthOf(device), 191 - lost);
  EXPECT_EQ(HeightOf(device), 21);
  const RECT rate = InParent(rateList_);
  EXPECT_EQ(rate.left, 276 - lost);
  EXPECT_EQ(rate.top, 4);
  EXPECT_EQ(WidthOf(rate), 51);
  EXPECT_EQ(HeightOf(rate), 21);
  for (HWND list : {deviceList_, rateList_}) {
    EXPECT_EQ(Style(list) & 3, CBS_DROPDOWNLIST) << "no free text";
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR) << "no device remembered, none opened";
  }
  EXPECT_EQ(SendMessageA(rateList_, CB_GETCOUNT, 0, 0), 0) << "rates come with an open device";

  EXPECT_EQ(InParent(deviceLabel_).right, 40);
  EXPECT_EQ(InParent(deviceLabel_).top, 8);
  EXPECT_EQ(InParent(rateLabel_).right, rate.left - 5);
  EXPECT_EQ(InParent(rateLabel_).top, 7);

  const RECT column = InParent(scrollBox_);
  EXPECT_EQ(column.left, 0);
  EXPECT_EQ(column.top, 33);
  EXPECT_EQ(WidthOf(column), width);
  EXPECT_EQ(column.bottom, height - 19);
  EXPECT_EQ(Style(scrollBox_) & (WS_HSCROLL | WS_VSCROLL), 0) << "empty: no bar";
  EXPECT_EQ(GetWindow(scrollBox_, GW_CHILD), nullptr);

  const RECT status = InParent(statusBar_);
  EXPECT_EQ(status.left, 0);
  EXPECT_EQ(status.top, height - 19);
  EXPECT_EQ(WidthOf(status), width);
  EXPECT_EQ(status.bottom, height);
  EXPECT_TRUE(SendMessageA(statusBar_, SB_ISSIMPLE, 0, 0));
  EXPECT_EQ(LOWORD(SendMessageA(statusBar_, SB_GETTEXTLENGTHA, 0, 0)), 0) << "blank before a device opens";

  // Tab order: the lists come before the channel column.
  EXPECT_EQ(GetWindow(form_, GW_CHILD), panel_);
  EXPECT_EQ(GetWindow(panel_, GW_HWNDNEXT), scrollBox_);
}

TEST_F(MainWindowTest, WideningStretchesTheDeviceListAndKeepsTheRateListRight) {
  const RECT device = InParent(deviceList_);
  const RECT rate = InParent(rateList_);
  const RECT rateLabel = InParent(rateLabel_);
  const RECT deviceLabel = InParent(deviceLabel_);
  const RECT column = InParent(scrollBox_);
  const RECT status = InParent(statusBar_);

  ResizeBy(100, 40);
  EXPECT_EQ(WidthOf(InParent(deviceList_)), WidthOf(device) + 100);
  EXPECT_EQ(InParent(deviceList_).left, device.left);
  EXPECT_EQ(InParent(rateList_).left, rate.left + 100);
  EXPECT_EQ(WidthOf(InParent(rateList_)), WidthOf(rate));
  EXPECT_EQ(InParent(rateList_).top, rate.top);
  EXPECT_EQ(InParent(rateLabel_).left, rateLabel.left + 100) << "the label goes with its list";
  EXPECT_EQ(InParent(deviceLabel_).left, deviceLabel.left);
  EXPECT_EQ(HeightOf(InParent(panel_)), 33);
  EXPECT_EQ(WidthOf(InParent(scrollBox_)), WidthOf(column) + 100);
  EXPECT_EQ(HeightOf(InParent(scrollBox_)), HeightOf(column) + 40) << "the column takes the new height";
  EXPECT_EQ(InParent(statusBar_).top, status.top + 40);
  EXPECT_EQ(HeightOf(InParent(statusBar_)), 19);

  ResizeBy(-100, -40);
  EXPECT_EQ(InParent(deviceList_).right, device.right);
  EXPECT_EQ(InParent(rateList_).left, rate.left);
}

TEST_F(MainWindowTest, NeverNarrowerThanItOpens) {
  MINMAXINFO info{};
  info.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
  info.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
  SendMessageA(form_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, WidthOf(opening_));
  EXPECT_EQ(info.ptMinTrackSize.y, GetSystemMetrics(SM_CYMINTRACK)) << "no height constraint";
  EXPECT_EQ(info.ptMaxTrackSize.x, GetSystemMetrics(SM_CXMAXTRACK)) << "no maximum";

  ResizeBy(-60, 0);
  RECT r{};
  GetWindowRect(form_, &r);
  EXPECT_EQ(WidthOf(r), WidthOf(opening_));
  ResizeBy(200, -40);
  GetWindowRect(form_, &r);
  EXPECT_EQ(WidthOf(r), WidthOf(opening_) + 200);
  EXPECT_EQ(HeightOf(r), HeightOf(opening_) - 40) << "lower is allowed";
}

TEST_F(MainWindowTest, TallColumnScrollsWithTheThumbAndNeverSideways) {
  const auto rows = AddRows(8);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_TRUE(Style(scrollBox_) & WS_VSCROLL);
  EXPECT_FALSE(Style(scrollBox_) & WS_HSCROLL);
  RECT client{};
  GetClientRect(scrollBox_, &client);
  SCROLLINFO bar = VerticalBar();
  EXPECT_EQ(bar.nMin, 0);
  EXPECT_EQ(bar.nMax, 8 * kRowHeight - 1);
  EXPECT_EQ(static_cast<int>(bar.nPage), client.bottom);
  for (HWND row : rows)
    EXPECT_EQ(WidthOf(InParent(row)), client.right) << "rows fill the width beside the bar";

  Scroll(SB_THUMBTRACK, 50);
  EXPECT_EQ(InParent(rows[0]).top, -50) << "the column follows the thumb while it is dragged";
  EXPECT_EQ(InParent(rows[1]).top, -20);
  EXPECT_EQ(VerticalBar().nPos, 50);

  Scroll(SB_THUMBTRACK, 1000);
  EXPECT_EQ(InParent(rows[7]).bottom, client.bottom) << "stops with the last row at the bottom";
  Scroll(SB_LINEUP);
  EXPECT_EQ(InParent(rows[7]).bottom, client.bottom + 8);
  Scroll(SB_TOP);
  EXPECT_EQ(InParent(rows[0]).top, 0);
  EXPECT_EQ(VerticalBar().nPos, 0);

  ResizeBy(60, 0);
  GetClientRect(scrollBox_, &client);
  for (HWND row : rows) EXPECT_EQ(WidthOf(InParent(row)), client.right) << "widening widens every row";
  EXPECT_FALSE(Style(scrollBox_) & WS_HSCROLL);

  // A taller window shows every row: the bar goes and the rows take the full width.
  ResizeBy(0, 8 * kRowHeight);
  GetClientRect(scrollBox_, &client);
  EXPECT_FALSE(Style(scrollBox_) & WS_VSCROLL);
  EXPECT_EQ(WidthOf(InParent(rows[0])), client.right);
}

TEST_F(MainWindowTest, RemovingRowsShrinksTheRangeBackToTheTop) {
  const auto rows = AddRows(8);
  Scroll(SB_BOTTOM);
  ASSERT_GT(VerticalBar().nPos, 0);
  for (size_t i = 2; i < rows.size(); ++i) DestroyWindow(rows[i]);
  EXPECT_FALSE(Style(scrollBox_) & WS_VSCROLL) << "two rows fit";
  EXPECT_EQ(InParent(rows[0]).top, 0);
  EXPECT_EQ(InParent(rows[1]).top, kRowHeight);
}

// The column on its own, as the device layer fills it: suspended while the rows are
// placed, then worked out once.
class ChannelColumnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ChannelColumnTestHost";
    RegisterClassExA(&wc);
    host_ = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                            nullptr, nullptr, wc.hInstance, nullptr);
    column_ = std::make_unique<TScrollBox>(host_, RECT{0, 33, 300, 104});
    column_->OnResize = [this] { ++resizes_; };
  }
  void TearDown() override {
    column_.reset();
    DestroyWindow(host_);
  }
  std::vector<HWND> PlaceRows(int count) {
    std::vector<HWND> rows;
    for (int i = 0; i < count; ++i) {
      rows.push_back(CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, kRowHeight * i, 280,
                                     kRowHeight, column_->Handle(), nullptr, GetModuleHandleA(nullptr),
                                     nullptr));
    }
    host::PumpPendingMessages();
    return rows;
  }
  bool HasBar() const { return Style(column_->Handle()) & WS_VSCROLL; }

  HWND host_ = nullptr;
  std::unique_ptr<TScrollBox> column_;
  int resizes_ = 0;
};

TEST_F(ChannelColumnTest, SuspendedRangeWaitsUntilTheLastSuspensionEnds) {
  column_->DisableAutoRange();
  column_->DisableAutoRange();
  const auto rows = PlaceRows(8);
  EXPECT_FALSE(HasBar());
  column_->EnableAutoRange();
  EXPECT_FALSE(HasBar()) << "still suspended once";
  column_->EnableAutoRange();
  EXPECT_TRUE(HasBar());
  EXPECT_GT(resizes_, 0) << "the bar took width from the client area";
  EXPECT_EQ(column_->Rows(), rows);
  column_->EnableAutoRange();  // one too many does no harm
  column_->DisableAutoRange();
  PlaceRows(1);
  column_->EnableAutoRange();
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_RANGE;
  GetScrollInfo(column_->Handle(), SB_VERT, &si);
  EXPECT_EQ(si.nMax, 8 * kRowHeight - 1) << "the ninth row lies on the first";
}

TEST_F(ChannelColumnTest, ANewColumnIsPlacedFromTheTop) {
  auto rows = PlaceRows(8);
  SendMessageA(column_->Handle(), WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
  ASSERT_GT(column_->ScrollPos(), 0);
  column_->ScrollToTop();
  EXPECT_EQ(column_->ScrollPos(), 0);
  EXPECT_EQ(InParent(rows[0]).top, 0);

  // Scrolled down when the old rows go: the new ones still stand from the top.
  SendMessageA(column_->Handle(), WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  column_->ScrollToTop();
  column_->DisableAutoRange();
  for (HWND row : rows) DestroyWindow(row);
  rows = PlaceRows(4);
  column_->EnableAutoRange();
  EXPECT_TRUE(HasBar());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(InParent(rows[i]).top, kRowHeight * i);
  EXPECT_EQ(column_->ScrollPos(), 0);
}

TEST_F(ChannelColumnTest, StatusBarShowsItsSimpleText) {
  TStatusBar bar(host_, RECT{0, 200, 300, 219});
  EXPECT_EQ(bar.SimpleText(), "");
  bar.SetSimpleText("Sample type: Int16LSB");
  EXPECT_EQ(bar.SimpleText(), "Sample type: Int16LSB");
  EXPECT_EQ(StatusBarText(bar.Handle()), "Sample type: Int16LSB") << "the one panel there is";
  EXPECT_EQ(HeightOf(InParent(bar.Handle())), 19) << "the bar keeps the height it is given";
}

// What the user does in the dialog: read the file types offered, type a name, press OK.
struct DialogUser {
  static inline std::string typed;
  static inline std::vector<std::string> fileTypes;
  static inline int okPresses = 0;
  static void CALLBACK Act(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND dialog = ThisThreadsOpenDialog();
    if (!dialog) return;
    if (fileTypes.empty()) fileTypes = FileTypes(dialog);
    SetWindowTextA(FileNameBox(dialog), typed.c_str());
    if (++okPresses > 1) {
      // The name was refused: give up.
      KillTimer(nullptr, timer);
      PressCancel(dialog);
      return;
    }
    PressOk(dialog);
  }
};

TEST(OpenDialogTest, OffersWaveThenMp3FilesAndTakesOnlyAnExistingFile) {
  const ScratchDir scratch;
  const std::string dir = scratch.Folder();
  const std::string tone = dir + "tone.wav";
  CloseHandle(CreateFileA(tone.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  std::vector<std::string> refusals;
  host::MessageBoxWatcher watcher([&](const std::string& text) { refusals.push_back(text); });

  TOpenDialog dialog;
  dialog.DefaultExt = "wav";
  dialog.Filter = "Wave files|*.wav|MP3 files |*.mp3";
  dialog.Options = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                   OFN_ENABLESIZING | OFN_EXPLORER;

  char before[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, before);
  ASSERT_STRNE((std::string(before) + "\\").c_str(), dir.c_str());
  DialogUser::typed = tone;
  DialogUser::okPresses = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &DialogUser::Act);
  EXPECT_TRUE(dialog.Execute(nullptr));
  KillTimer(nullptr, timer);
  EXPECT_EQ(dialog.FileName, tone);
  EXPECT_EQ(DialogUser::fileTypes, (std::vector<std::string>{"Wave files", "MP3 files "}));
  char after[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, after);
  EXPECT_STREQ(after, before) << "choosing a file elsewhere leaves the current directory";

  // A file that does not exist is refused and the dialog stays open.
  DialogUser::typed = dir + "missing.wav";
  DialogUser::okPresses = 0;
  const UINT_PTR again = SetTimer(nullptr, 0, 50, &DialogUser::Act);
  EXPECT_FALSE(dialog.Execute(nullptr));
  KillTimer(nullptr, again);
  EXPECT_EQ(DialogUser::okPresses, 2);
  EXPECT_EQ(refusals.size(), 1u) << ::testing::PrintToString(refusals);
}

}  // namespace
}  // namespace tonvane
