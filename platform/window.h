// Windows, dialogs, messages and timers: the stand-in for the device's
// window manager. One user-interface thread runs a message loop; each window
// paints into a surface of its own size, and the 480 x 272 screen is composed
// from the visible windows in stacking order (later windows above earlier
// ones). The loop takes its input and clock from a backend (a real SDL2
// window, or the headless backend that scripts and tests drive).
#pragma once

#include <cstdint>
#include <string>

#include "canvas/canvas.h"
#include "canvas/sizes.h"
#include "platform/gdi.h"

// Window messages, with their device values.
constexpr uint32_t WM_GETTEXT = 0x000D;
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_ERASEBKGND = 0x0014;
constexpr uint32_t WM_TIMER = 0x0113;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_USER = 0x0400;

// Flag of the pen messages: the pen is down.
constexpr uint32_t MK_LBUTTON = 0x0001;

// Show commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

// A window handle as other programs see it: a non-zero 32-bit value.
typedef uint32_t WindowHandle;

// A window or dialog. Derived screens override the handlers they need;
// every handler not overridden does the default processing, which does
// nothing visible. All members except Invalidate, InvalidateRect and
// PostMessage must be called on the user-interface thread.
class Window {
 public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Creates the window as a modeless window above `parent` (null: a
  // top-level window), runs OnInitDialog, and shows it unless it hid
  // itself or `visible` is false. Returns 1, or 0 when it exists already.
  int Create(Window* parent, bool visible);
  // Creates the window (when it does not exist yet), shows it and runs the
  // message loop until EndModal; returns the value given to EndModal, or
  // -1 when the program is asked to quit (the backend closed, the script
  // ended). Windows below it get no pen input meanwhile.
  int RunModal();
  // Ends RunModal with `result` once the current message has been handled.
  void EndModal(int result);
  // Destroys the window: hides it, kills its timers and drops its messages.
  void DestroyWindow();
  bool IsCreated() const { return created; }

  // Window title; a titled window can be found by other programs
  // (FindWindowByTitle), case-insensitively.
  void SetWindowText(const char* utf8Title);
  const std::string& WindowTitle() const { return title; }
  // This window's handle for other programs (registered with the title).
  WindowHandle Handle() const { return handle; }

  // Position and size in screen pixels; `repaint` invalidates it.
  void MoveWindow(int32_t x, int32_t y, int32_t width, int32_t height, bool repaint);
  void ShowWindow(int command);
  bool IsVisible() const { return visible; }
  int32_t Left() const { return left; }
  int32_t Top() const { return top; }
  int32_t Width() const { return width; }
  int32_t Height() const { return height; }

  // Asks for a repaint of the whole window or of a rectangle in window
  // coordinates (exclusive right and bottom). `erase` sends WM_ERASEBKGND
  // first. Callable from any thread.
  void Invalidate(bool erase);
  void InvalidateRect(const Rect& rect, bool erase);
  // Posts a message to this window's queue without waiting (any thread).
  void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

  // Pen capture: while set, every pen message goes to this window.
  void SetCapture();
  void ReleaseCapture();

  // Window timers: SetTimer starts (or restarts, replacing) timer `id` with
  // a period in milliseconds; WM_TIMER arrives each period until KillTimer.
  void SetTimer(uint32_t id, uint32_t periodMs);
  void KillTimer(uint32_t id);

  // Painting: BeginPaint validates the window and gives a new drawing
  // context on its surface (with the context defaults: default font, black
  // text, opaque white background, black pen); EndPaint deletes it.
  DrawingContext* BeginPaint();
  void EndPaint(DrawingContext* dc);

  // The window's own surface, as last painted.
  const Canvas& Surface() const { return surface; }

 protected:
  // Handlers. Pen coordinates are window coordinates; flags carry MK_LBUTTON
  // while the pen is down.
  virtual int OnInitDialog() { return 1; }
  virtual void OnPaint();
  virtual int OnEraseBkgnd(DrawingContext* dc);
  virtual void OnLButtonDown(uint32_t flags, int32_t x, int32_t y) { (void)flags, (void)x, (void)y; }
  virtual void OnLButtonUp(uint32_t flags, int32_t x, int32_t y) { (void)flags, (void)x, (void)y; }
  virtual void OnMouseMove(uint32_t flags, int32_t x, int32_t y) { (void)flags, (void)x, (void)y; }
  virtual void OnTimer(uint32_t id) { (void)id; }
  // WM_GETTEXT: copies the title with its terminator into a buffer of
  // `size` characters and returns its length (0 when size is 0).
  virtual intptr_t OnGetText(uintptr_t size, char16_t* buffer);
  // Any other message, including WM_USER messages from other programs;
  // the result is the reply of a send.
  virtual intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

 private:
  friend class WindowManager;

  bool created = false;
  bool visible = false;
  bool invalid = false;
  bool eraseWanted = false;
  bool modalEnded = false;
  int modalResult = 0;
  int32_t left = 0, top = 0, width = SCREEN_WIDTH, height = SCREEN_HEIGHT;
  Window* parent = nullptr;
  std::string title;
  WindowHandle handle = 0;
  Canvas surface;
  DrawingContext* paintContext = nullptr;
};

// Sends a message to this process's window `target` or to a window of
// another program, and waits for the handler's result. Returns 0 when the
// window does not exist (any more).
intptr_t SendMessageTo(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Posts a message without waiting: 1 when it was delivered to the target's
// queue, 0 when the window does not exist.
int PostMessageTo(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Finds a window by its title, in this program or another one, ignoring
// case. Returns its handle, or 0 when no window has that title.
WindowHandle FindWindowByTitle(const char* utf8Title);
// The same, but only among the windows of programs that use this program's
// device root (SetDeviceRoot): two devices on one host do not meet.
WindowHandle FindWindowOnDevice(const char* utf8Title);

// Asks every message loop to end (RunModal returns -1). Any thread.
void RequestQuit();
bool QuitRequested();

// The composed 480 x 272 screen, as last presented.
const Canvas& ScreenCanvas();
// The topmost visible window (the one the user sees), or null.
const Window* TopVisibleWindow();
