// The message loop behind Window: the window list in stacking order, the
// message queue, timers, pen routing and screen composition. Internal to the
// platform; screens use platform/window.h.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/backend.h"
#include "platform/window.h"

// Reply slot of a message sent from another thread (another program's send
// arrives on the listener thread and waits here for the handler's result).
struct MessageReply;

class WindowManager {
 public:
  static WindowManager& Instance();

  // Window bookkeeping (user-interface thread).
  void Add(Window* window);
  void Remove(Window* window);
  Window* FindByHandle(WindowHandle handle);
  Window* FindByTitle(const std::string& lowerCaseTitle);
  void Restack(Window* window);
  const Window* TopVisible() const;  // a newly shown modal window goes on top

  // Queue (any thread). Messages to windows that no longer exist are dropped.
  void Post(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam, MessageReply* reply);
  void PostInvalidate(WindowHandle target, const Rect& rect, bool erase);
  // Takes a queued send back; false when the loop has taken it already.
  bool Withdraw(MessageReply* reply);

  // Timers (user-interface thread).
  void SetTimer(Window* window, uint32_t id, uint32_t periodMs);
  void KillTimer(Window* window, uint32_t id);

  // Runs the loop until `modal` has ended or a quit is requested.
  void RunUntilEnded(Window* modal);
  // Handles everything that is due now without waiting for input.
  void RunPending();

  // Dispatches a message to a window of this program at once (sends from
  // the user-interface thread itself).
  intptr_t Dispatch(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

  // Modal runs, innermost last: windows below the innermost get no pen input.
  void PushModal(Window* window) { modalStack.push_back(window); }
  void PopModal(Window* window);

  void SetCapture(Window* window) { capture = window; }
  void ReleaseCapture(Window* window);
  void MarkScreenDirty() { screenDirty = true; }
  void InvalidateBelow(Window* window);  // what a hidden window uncovers
  const Canvas& Screen() const { return screen; }
  Backend* CurrentBackendOrIdle();
  // Wakes the backend's wait from any thread.
  void WakeBackend();

 private:
  WindowManager();

  struct QueuedMessage {
    WindowHandle target;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    MessageReply* reply;
    bool invalidate;
    Rect rect;
  };
  struct Timer {
    Window* window;
    uint32_t id;
    uint32_t period;
    uint32_t due;
  };

  bool DispatchQueued();
  bool PaintInvalid();
  bool FireDueTimer();
  bool NextTimerDue(uint32_t* due);
  void Compose();
  void RouteInput(const InputEvent& event);
  Window* WindowAt(int32_t x, int32_t y);
  bool AcceptsInput(Window* window);

  std::vector<Window*> windows;  // stacking order, bottom first
  std::vector<Window*> modalStack;
  std::vector<Timer> timers;
  Window* capture = nullptr;
  bool penDown = false;
  bool screenDirty = true;
  Canvas screen;

  std::mutex queueMutex;
  std::deque<QueuedMessage> queue;
};
