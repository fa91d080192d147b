#include "platform/window_manager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>

#include "canvas/blit.h"
#include "platform/ipc.h"
#include "platform/unicode.h"

struct MessageReply {
  std::mutex mutex;
  std::condition_variable done;
  bool answered = false;
  intptr_t value = 0;

  // Notifies under the lock: the waiter owns this reply on its stack and
  // may destroy it as soon as it sees the answer.
  void Answer(intptr_t result) {
    std::lock_guard<std::mutex> lock(mutex);
    answered = true;
    value = result;
    done.notify_all();
  }
};

namespace {

// Colour a window's background is erased with when it does not erase it itself.
constexpr uint32_t DEFAULT_BACKGROUND = Rgb(255, 255, 255);
// How long a send from another thread waits for the handler.
constexpr auto SEND_TIMEOUT = std::chrono::seconds(5);

std::atomic<bool> quitRequested{false};
std::atomic<Backend*> backend{nullptr};
// Held while another thread wakes the backend, so that once SetBackend has
// replaced a backend no thread still calls into it (the program may then
// destroy it).
std::mutex wakeMutex;

// Tick comparison that survives the 49-day wrap of a 32-bit tick count.
bool TickReached(uint32_t now, uint32_t due) { return static_cast<int32_t>(now - due) >= 0; }

// The clock and idle wait used before any backend is chosen (tools, tests
// that never open a window): the real monotonic clock, no input.
class IdleBackend : public Backend {
 public:
  uint32_t Tick() override {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) | 1u;
  }
  void Now(LocalTime* time) override;
  bool WaitInput(uint32_t, bool, InputEvent* event) override {
    event->kind = InputEvent::QUIT;
    return true;
  }
  void Wake() override {}
  void Present(const Canvas&) override {}
};

void IdleBackend::Now(LocalTime* time) { *time = SystemLocalTime(); }

IdleBackend idleBackend;

}  // namespace

// ---------------------------------------------------------------------------
// Backend selection and clock

void SetBackend(Backend* chosen) {
  std::lock_guard<std::mutex> lock(wakeMutex);
  backend = chosen;
  quitRequested = false;  // a new backend starts a new run (tests run several in one process)
}
Backend* CurrentBackend() { return backend.load(); }
Backend* WindowManager::CurrentBackendOrIdle() {
  Backend* current = backend.load();
  return current != nullptr ? current : &idleBackend;
}

void WindowManager::WakeBackend() {
  std::lock_guard<std::mutex> lock(wakeMutex);
  CurrentBackendOrIdle()->Wake();
}

uint32_t GetTickCount() { return WindowManager::Instance().CurrentBackendOrIdle()->Tick(); }
void GetLocalTime(LocalTime* time) { WindowManager::Instance().CurrentBackendOrIdle()->Now(time); }

void RequestQuit() {
  quitRequested = true;
  WindowManager::Instance().WakeBackend();
}
bool QuitRequested() { return quitRequested; }

const Canvas& ScreenCanvas() { return WindowManager::Instance().Screen(); }

const Window* TopVisibleWindow() { return WindowManager::Instance().TopVisible(); }

// ---------------------------------------------------------------------------
// WindowManager

WindowManager& WindowManager::Instance() {
  // Never destroyed: other programs' messages may arrive on the listener
  // thread while the program ends.
  static WindowManager* manager = new WindowManager;
  return *manager;
}

WindowManager::WindowManager() { CreateCanvas(&screen, SCREEN_WIDTH, SCREEN_HEIGHT); }

void WindowManager::Add(Window* window) {
  windows.push_back(window);
  screenDirty = true;
}

void WindowManager::Remove(Window* window) {
  windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
  modalStack.erase(std::remove(modalStack.begin(), modalStack.end(), window), modalStack.end());
  timers.erase(std::remove_if(timers.begin(), timers.end(), [window](const Timer& t) { return t.window == window; }),
               timers.end());
  if (capture == window) capture = nullptr;
  screenDirty = true;
}

Window* WindowManager::FindByHandle(WindowHandle handle) {
  for (Window* window : windows) {
    if (window->handle == handle) return window;
  }
  return nullptr;
}

Window* WindowManager::FindByTitle(const std::string& lowerCaseTitle) {
  for (Window* window : windows) {
    if (!window->title.empty() && FoldTitle(window->title) == lowerCaseTitle) return window;
  }
  return nullptr;
}

const Window* WindowManager::TopVisible() const {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if ((*it)->visible) return *it;
  }
  return nullptr;
}

void WindowManager::Restack(Window* window) {
  windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
  windows.push_back(window);
  screenDirty = true;
}

void WindowManager::Post(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam,
                         MessageReply* reply) {
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.push_back(QueuedMessage{target, message, wParam, lParam, reply, false, Rect{}});
  }
  WakeBackend();
}

void WindowManager::PostInvalidate(WindowHandle target, const Rect& rect, bool erase) {
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.push_back(QueuedMessage{target, 0, erase ? 1u : 0u, 0, nullptr, true, rect});
  }
  WakeBackend();
}

bool WindowManager::Withdraw(MessageReply* reply) {
  std::lock_guard<std::mutex> lock(queueMutex);
  auto found = std::find_if(queue.begin(), queue.end(), [reply](const QueuedMessage& m) { return m.reply == reply; });
  if (found == queue.end()) return false;
  queue.erase(found);
  return true;
}

void WindowManager::SetTimer(Window* window, uint32_t id, uint32_t periodMs) {
  KillTimer(window, id);
  uint32_t now = CurrentBackendOrIdle()->Tick();
  timers.push_back(Timer{window, id, periodMs, now + periodMs});
}

void WindowManager::KillTimer(Window* window, uint32_t id) {
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [window, id](const Timer& t) { return t.window == window && t.id == id; }),
               timers.end());
}

void WindowManager::PopModal(Window* window) {
  modalStack.erase(std::remove(modalStack.begin(), modalStack.end(), window), modalStack.end());
}

void WindowManager::ReleaseCapture(Window* window) {
  if (capture == window) capture = nullptr;
}

void WindowManager::InvalidateBelow(Window* hidden) {
  for (Window* window : windows) {
    if (window == hidden) break;
    if (window->visible) window->Invalidate(false);
  }
  screenDirty = true;
}

intptr_t WindowManager::Dispatch(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_GETTEXT:
      return window->OnGetText(wParam, reinterpret_cast<char16_t*>(lParam));
    case WM_TIMER:
      window->OnTimer(static_cast<uint32_t>(wParam));
      return 0;
    default:
      return window->OnMessage(message, wParam, lParam);
  }
}

// Takes one queued message; false when the queue is empty.
bool WindowManager::DispatchQueued() {
  QueuedMessage item;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    if (queue.empty()) return false;
    item = queue.front();
    queue.pop_front();
  }
  Window* window = FindByHandle(item.target);
  if (window == nullptr) {
    if (item.reply != nullptr) item.reply->Answer(0);
    return true;
  }
  if (item.invalidate) {
    window->invalid = true;
    window->eraseWanted = window->eraseWanted || item.wParam != 0;
    return true;
  }
  intptr_t result = Dispatch(window, item.message, item.wParam, item.lParam);
  if (item.reply != nullptr) item.reply->Answer(result);
  return true;
}

// Paints the lowest invalid visible window; false when none is invalid.
bool WindowManager::PaintInvalid() {
  for (Window* window : windows) {
    if (!window->visible || !window->invalid) continue;
    bool erase = window->eraseWanted;
    window->invalid = false;
    window->eraseWanted = false;
    if (erase) {
      DrawingContext* dc = CreateDrawingContext();
      SelectCanvas(dc, &window->surface);
      window->OnEraseBkgnd(dc);
      DeleteDrawingContext(dc);
    }
    window->OnPaint();
    screenDirty = true;
    return true;
  }
  return false;
}

bool WindowManager::NextTimerDue(uint32_t* due) {
  if (timers.empty()) return false;
  uint32_t now = CurrentBackendOrIdle()->Tick();
  uint32_t earliest = timers.front().due;
  for (const Timer& timer : timers) {
    if (static_cast<int32_t>(timer.due - now) < static_cast<int32_t>(earliest - now)) earliest = timer.due;
  }
  *due = earliest;
  return true;
}

// Fires the most overdue timer (one WM_TIMER however many periods passed).
bool WindowManager::FireDueTimer() {
  uint32_t now = CurrentBackendOrIdle()->Tick();
  Timer* next = nullptr;
  for (Timer& timer : timers) {
    if (!TickReached(now, timer.due)) continue;
    if (next == nullptr || static_cast<int32_t>(timer.due - next->due) < 0) next = &timer;
  }
  if (next == nullptr) return false;
  Window* window = next->window;
  uint32_t id = next->id;
  next->due = now + next->period;
  Dispatch(window, WM_TIMER, id, 0);
  return true;
}

void WindowManager::Compose() {
  FillCanvas(&screen, 0);
  for (Window* window : windows) {
    if (!window->visible) continue;
    BlitOpaque(&screen, &window->surface, window->left, window->top, window->width, window->height, 0, 0);
  }
  screenDirty = false;
  CurrentBackendOrIdle()->Present(screen);
}

bool WindowManager::AcceptsInput(Window* window) {
  if (modalStack.empty()) return true;
  auto modalAt = std::find(windows.begin(), windows.end(), modalStack.back());
  auto windowAt = std::find(windows.begin(), windows.end(), window);
  return windowAt >= modalAt;
}

Window* WindowManager::WindowAt(int32_t x, int32_t y) {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    Window* window = *it;
    if (!window->visible || !AcceptsInput(window)) continue;
    if (x >= window->left && x < window->left + window->width && y >= window->top &&
        y < window->top + window->height) {
      return window;
    }
  }
  return nullptr;
}

void WindowManager::RouteInput(const InputEvent& event) {
  if (event.kind == InputEvent::QUIT) {
    quitRequested = true;
    return;
  }
  Window* target = capture != nullptr ? capture : WindowAt(event.x, event.y);
  if (event.kind == InputEvent::PEN_DOWN) {
    penDown = true;
  } else if (event.kind == InputEvent::PEN_UP) {
    penDown = false;
  }
  if (target == nullptr) return;
  int32_t x = event.x - target->left;
  int32_t y = event.y - target->top;
  switch (event.kind) {
    case InputEvent::PEN_DOWN:
      target->OnLButtonDown(MK_LBUTTON, x, y);
      break;
    case InputEvent::PEN_MOVE:
      target->OnMouseMove(penDown ? MK_LBUTTON : 0, x, y);
      break;
    case InputEvent::PEN_UP:
      target->OnLButtonUp(0, x, y);
      break;
    default:
      break;
  }
}

void WindowManager::RunPending() {
  while (DispatchQueued() || PaintInvalid() || FireDueTimer()) {
  }
  if (screenDirty) Compose();
}

void WindowManager::RunUntilEnded(Window* modal) {
  while (!modal->modalEnded && !quitRequested) {
    if (DispatchQueued() || PaintInvalid() || FireDueTimer()) continue;
    if (screenDirty) Compose();
    uint32_t due = 0;
    bool hasDue = NextTimerDue(&due);
    InputEvent event;
    if (CurrentBackendOrIdle()->WaitInput(due, hasDue, &event)) RouteInput(event);
  }
}

// ---------------------------------------------------------------------------
// Window

Window::Window() = default;

Window::~Window() { DestroyWindow(); }

int Window::Create(Window* parentWindow, bool show) {
  if (created) return 0;
  created = true;
  parent = parentWindow;
  handle = MakeWindowHandle();
  CreateCanvas(&surface, width, height);
  WindowManager::Instance().Add(this);
  OnInitDialog();
  if (show && !visible && created) ShowWindow(SW_SHOW);
  return 1;
}

int Window::RunModal() {
  WindowManager& manager = WindowManager::Instance();
  if (!created) Create(nullptr, true);
  manager.Restack(this);
  if (!visible) ShowWindow(SW_SHOW);
  modalEnded = false;
  modalResult = -1;
  manager.PushModal(this);
  manager.RunUntilEnded(this);
  manager.PopModal(this);
  int result = modalEnded ? modalResult : -1;
  modalEnded = false;
  ShowWindow(SW_HIDE);
  return result;
}

void Window::EndModal(int result) {
  modalResult = result;
  modalEnded = true;
}

void Window::DestroyWindow() {
  if (!created) return;
  ShowWindow(SW_HIDE);
  WithdrawTitles(handle);
  WindowManager::Instance().Remove(this);
  ReleaseCanvas(&surface);
  created = false;
  handle = 0;
}

void Window::SetWindowText(const char* utf8Title) {
  title = utf8Title != nullptr ? utf8Title : "";
  if (created) PublishTitle(handle, FoldTitle(title));
}

void Window::MoveWindow(int32_t x, int32_t y, int32_t w, int32_t h, bool repaint) {
  bool resized = w != width || h != height;
  left = x;
  top = y;
  width = w;
  height = h;
  if (created && resized) CreateCanvas(&surface, width, height);
  WindowManager::Instance().MarkScreenDirty();
  if (repaint || resized) Invalidate(true);
}

void Window::ShowWindow(int command) {
  bool show = command != SW_HIDE;
  if (show == visible) return;
  WindowManager& manager = WindowManager::Instance();
  visible = show;
  if (show) {
    invalid = true;
    eraseWanted = true;
  } else {
    manager.ReleaseCapture(this);
    manager.InvalidateBelow(this);
  }
  manager.MarkScreenDirty();
}

void Window::Invalidate(bool erase) { InvalidateRect(Rect{0, 0, width, height}, erase); }

void Window::InvalidateRect(const Rect& rect, bool erase) {
  if (handle != 0) WindowManager::Instance().PostInvalidate(handle, rect, erase);
}

void Window::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (handle != 0) WindowManager::Instance().Post(handle, message, wParam, lParam, nullptr);
}

void Window::SetCapture() { WindowManager::Instance().SetCapture(this); }
void Window::ReleaseCapture() { WindowManager::Instance().ReleaseCapture(this); }

void Window::SetTimer(uint32_t id, uint32_t periodMs) { WindowManager::Instance().SetTimer(this, id, periodMs); }
void Window::KillTimer(uint32_t id) { WindowManager::Instance().KillTimer(this, id); }

DrawingContext* Window::BeginPaint() {
  invalid = false;
  DrawingContext* dc = CreateDrawingContext();
  SelectCanvas(dc, &surface);
  WindowManager::Instance().MarkScreenDirty();
  return dc;
}

void Window::EndPaint(DrawingContext* dc) { DeleteDrawingContext(dc); }

void Window::OnPaint() { EndPaint(BeginPaint()); }

int Window::OnEraseBkgnd(DrawingContext* dc) {
  FillRect(dc, Rect{0, 0, width, height}, DEFAULT_BACKGROUND);
  return 1;
}

intptr_t Window::OnGetText(uintptr_t size, char16_t* buffer) {
  if (size == 0 || buffer == nullptr) return 0;
  std::u16string text = Utf8ToUtf16(title);
  size_t n = std::min<size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n * sizeof(char16_t));
  buffer[n] = u'\0';
  return static_cast<intptr_t>(n);
}

intptr_t Window::OnMessage(uint32_t, uintptr_t, intptr_t) { return 0; }

// ---------------------------------------------------------------------------
// Messages by handle and title

intptr_t SendMessageTo(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (target == 0) return 0;
  if (IsLocalHandle(target)) {
    WindowManager& manager = WindowManager::Instance();
    Window* window = manager.FindByHandle(target);
    return window != nullptr ? manager.Dispatch(window, message, wParam, lParam) : 0;
  }
  intptr_t reply = 0;
  DeliverRemote(target, message, wParam, lParam, true, &reply);
  return reply;
}

int PostMessageTo(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (target == 0) return 0;
  if (IsLocalHandle(target)) {
    WindowManager::Instance().Post(target, message, wParam, lParam, nullptr);
    return 1;
  }
  return DeliverRemote(target, message, wParam, lParam, false, nullptr);
}

namespace {

// This program's windows share its device root, so a local one always counts.
WindowHandle FindTitle(const char* utf8Title, bool sameDeviceOnly) {
  if (utf8Title == nullptr) return 0;
  std::string folded = FoldTitle(utf8Title);
  if (Window* local = WindowManager::Instance().FindByTitle(folded)) return local->Handle();
  return FindRemoteTitle(folded, sameDeviceOnly);
}

}  // namespace

WindowHandle FindWindowByTitle(const char* utf8Title) { return FindTitle(utf8Title, false); }

WindowHandle FindWindowOnDevice(const char* utf8Title) { return FindTitle(utf8Title, true); }

// Called by the listener thread for another program's message to one of
// ours: queued for the user-interface thread; a send waits for the result.
intptr_t DeliverFromOtherProgram(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                 bool waitForReply) {
  WindowManager& manager = WindowManager::Instance();
  if (!waitForReply) {
    manager.Post(target, message, wParam, lParam, nullptr);
    return 0;
  }
  MessageReply reply;
  manager.Post(target, message, wParam, lParam, &reply);
  {
    std::unique_lock<std::mutex> lock(reply.mutex);
    if (reply.done.wait_for(lock, SEND_TIMEOUT, [&reply] { return reply.answered; })) return reply.value;
  }
  // No answer in time: take the message back unless the loop holds it
  // already, in which case its answer is on the way.
  if (manager.Withdraw(&reply)) return 0;
  std::unique_lock<std::mutex> lock(reply.mutex);
  reply.done.wait(lock, [&reply] { return reply.answered; });
  return reply.value;
}
