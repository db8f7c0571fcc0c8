#pragma once

// The few controls the plug-in's window is built from, over plain Win32 and the
// common controls. Each object owns its window (or, for a window that another
// control made, only its subclassing) and sees that window's messages first.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tonvane {

class TControl;
// An event that tells its handler which control raised it.
using TNotifyEvent = std::function<void(TControl& sender)>;

// Edges of the parent that a control keeps its design distance to.
enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

class TControl {
 public:
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl();

  HWND Handle() const { return handle_; }
  HWND ParentHandle() const;
  // Bounds in the parent's client coordinates.
  RECT BoundsRect() const;
  int Left() const { return BoundsRect().left; }
  int Top() const { return BoundsRect().top; }
  int Width() const;
  int Height() const;
  int ClientWidth() const;
  int ClientHeight() const;
  virtual void SetBounds(int left, int top, int width, int height);
  void SetWidth(int width);

  bool Visible() const;
  void SetVisible(bool visible);
  HFONT Font() const;
  void SetFont(HFONT font);

  // The control's current bounds are its design bounds inside a parent whose client
  // area measured parentDesignWidth x parentDesignHeight; from now on the anchored
  // edges keep their distance to the parent's edges whenever the parent is resized.
  void SetAnchors(unsigned anchors, int parentDesignWidth, int parentDesignHeight);
  void ApplyAnchors(int parentWidth, int parentHeight);

  unsigned Anchors() const { return anchors_; }

  // Whether any of the control can be seen now: it and its parents are shown, the
  // top-level window is not minimized, and its parents' client areas (a scroll box
  // that has scrolled it away) do not clip all of it. What the control's sight owner
  // knows answers first (see SetKnownSight).
  bool InView() const;
  // An owner that already knows whether it can be seen (a window that has looked at
  // its scroll position once for a whole column of rows) says so for the length of a
  // batch of changes, and then forgets it again (nullopt): meanwhile this control and
  // those that take their sight from it answer InView without a walk up the parents.
  void SetKnownSight(std::optional<bool> seen) { knownSight_ = seen; }
  void TakeSightFrom(const TControl* owner) { sightOwner_ = owner; }
  // Marks the whole control for the next paint, when it is in view. One out of view
  // needs nothing: the system marks what it uncovers once it comes into view (a
  // scroll, a restored or uncovered window), and the paint then shows its state.
  void Invalidate() const;

  // A number for the owner's own use; the control never reads it.
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  // The object behind a window of this layer, or null.
  static TControl* FromHandle(HWND hwnd);

 protected:
  TControl() = default;
  // Creates the window and takes it over; the object owns it.
  void Create(DWORD exStyle, const char* className, const char* text, DWORD style, const RECT& bounds,
              HWND parent);
  // Takes over a window that something else made and destroys.
  void Subclass(HWND hwnd);
  // Every message of the window arrives here first.
  virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // For a control that paints every pixel itself: paints through paint(dc) on
  // WM_PAINT and WM_PRINTCLIENT and skips background erasing, which would only
  // flicker. True when msg was one of those three.
  template <typename Paint>
  bool PaintMessage(UINT msg, WPARAM wParam, Paint&& paint) {
    switch (msg) {
      case WM_ERASEBKGND:
        return true;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Handle(), &ps);
        paint(dc);
        EndPaint(Handle(), &ps);
        return true;
      }
      case WM_PRINTCLIENT:
        paint(reinterpret_cast<HDC>(wParam));
        return true;
      default:
        return false;
    }
  }
  // A WM_COMMAND or WM_NOTIFY that this control sent to its parent, handed back by
  // the parent; true when handled.
  virtual bool Notification(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

 private:
  friend bool ReflectNotification(UINT, WPARAM, LPARAM, LRESULT&);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void Detach();

  HWND handle_ = nullptr;
  WNDPROC previous_ = nullptr;
  bool ownsWindow_ = false;
  std::optional<bool> knownSight_;
  const TControl* sightOwner_ = nullptr;
  unsigned anchors_ = akLeft | akTop;
  RECT anchorMargins_{};  // distances to the parent's edges at design
  SIZE designSize_{};
  int tag_ = 0;
};

// Gives a child's notification back to the child's own object, so that a control
// handles its own events whatever its parent is. Parents call it for WM_COMMAND,
// WM_NOTIFY and the WM_HSCROLL/WM_VSCROLL that a child control (a track bar) sends;
// true when the child took it.
bool ReflectNotification(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
// Moves and sizes every anchored child of the parent to the parent's client size.
void ApplyChildAnchors(HWND parent);
// The direct child windows, in z-order.
std::vector<HWND> ChildWindows(HWND parent);

// A GDI font that lives as long as its owner.
class TFontHandle {
 public:
  TFontHandle(const char* face, int height);
  ~TFontHandle();
  TFontHandle(const TFontHandle&) = delete;
  TFontHandle& operator=(const TFontHandle&) = delete;
  HFONT Get() const { return font_; }

 private:
  HFONT font_;
};

// Registers a window class of this layer once. Its class procedure is the system's
// default one: every instance is taken over right after creation.
void RegisterControlClass(const char* name, UINT style);
// Window classes of this layer belong to the module; a module that is unloaded
// gives them back.
void UnregisterControlClasses();

}  // namespace tonvane
