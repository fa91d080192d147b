// The window platform on the headless backend: timers on the virtual clock,
// modal runs, pen routing, composition, repaints from other threads, and
// messages between programs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/kernel.h"
#include "platform/quit_signals.h"
#include "platform/window.h"

namespace {

// A window that records what happens to it and paints itself one colour.
class Probe : public Window {
 public:
  explicit Probe(uint32_t rgb = Rgb(255, 0, 0)) : colour(rgb) {}
  std::vector<std::string> log;
  std::vector<uint32_t> timerTicks;
  uint32_t colour;
  int paints = 0;
  std::function<void(uint32_t)> onTimer;
  std::function<void(int32_t, int32_t)> onUp;

 protected:
  void OnPaint() override {
    ++paints;
    DrawingContext* dc = BeginPaint();
    FillRect(dc, Rect{0, 0, Width(), Height()}, colour);
    EndPaint(dc);
  }
  int OnEraseBkgnd(DrawingContext*) override { return 1; }
  void OnLButtonDown(uint32_t flags, int32_t x, int32_t y) override {
    log.push_back("down " + std::to_string(x) + " " + std::to_string(y) + (flags & MK_LBUTTON ? " pen" : ""));
  }
  void OnMouseMove(uint32_t flags, int32_t x, int32_t y) override {
    log.push_back("move " + std::to_string(x) + " " + std::to_string(y) + (flags & MK_LBUTTON ? " pen" : ""));
  }
  void OnLButtonUp(uint32_t, int32_t x, int32_t y) override {
    log.push_back("up " + std::to_string(x) + " " + std::to_string(y));
    if (onUp) onUp(x, y);
  }
  void OnTimer(uint32_t id) override {
    timerTicks.push_back(GetTickCount() - HeadlessBackend::START_TICK);
    log.push_back("timer " + std::to_string(id));
    if (onTimer) onTimer(id);
  }
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { SetBackend(&backend); }
  void TearDown() override { SetBackend(nullptr); }
  HeadlessBackend backend;
};

uint16_t ScreenAt(int32_t x, int32_t y) {
  const Canvas& screen = ScreenCanvas();
  return screen.pixels[x + y * screen.stride];
}

TEST_F(WindowTest, TimersFireAtTheirOwnTimesWithinAWait) {
  Probe probe;
  probe.onTimer = [&probe](uint32_t id) {
    // The auto-repeat pattern: first after 1000 ms, then every 500 ms.
    if (id == 1) {
      probe.KillTimer(1);
      probe.SetTimer(1, 500);
    }
    if (probe.timerTicks.size() == 4) probe.KillTimer(1);
  };
  backend.Call([&probe] { probe.SetTimer(1, 1000); }).Wait(5000).Quit();
  probe.RunModal();
  EXPECT_EQ(probe.timerTicks, (std::vector<uint32_t>{1000, 1500, 2000, 2500}));
}

TEST_F(WindowTest, SetTimerReplacesAndKillTimerStops) {
  Probe probe;
  backend.Call([&probe] { probe.SetTimer(7, 100); })
      .Wait(50)
      .Call([&probe] { probe.SetTimer(7, 300); })  // replaces: next at 50 + 300
      .Wait(400)
      .Call([&probe] { probe.KillTimer(7); })
      .Wait(1000)
      .Quit();
  probe.RunModal();
  EXPECT_EQ(probe.timerTicks, (std::vector<uint32_t>{350}));
}

TEST_F(WindowTest, PenInputGoesToTheTopWindowInWindowCoordinates) {
  Probe bottom(Rgb(0, 0, 255));
  Probe top(Rgb(0, 255, 0));
  bottom.Create(nullptr, true);
  top.Create(nullptr, true);
  top.MoveWindow(100, 50, 200, 100, true);
  backend.Down(150, 60).Move(160, 70).Up().Down(10, 10).Up().Quit();
  top.RunModal();
  // Only the modal window takes pen input; the pen-up comes where the pen was last.
  EXPECT_EQ(top.log, (std::vector<std::string>{"down 50 10 pen", "move 60 20 pen", "up 60 20"}));
  EXPECT_TRUE(bottom.log.empty());
}

TEST_F(WindowTest, ScreenIsComposedInStackingOrderAndHidingRepaintsWhatIsUncovered) {
  Probe bottom(Rgb(0, 0, 255));
  Probe top(Rgb(0, 255, 0));
  int bottomPaintsBeforeHide = 0;
  bottom.Create(nullptr, true);
  top.Create(nullptr, true);
  top.MoveWindow(100, 50, 200, 100, true);
  backend.Wait(1)
      .Call([&] {
        EXPECT_EQ(ScreenAt(0, 0), Rgb565(0, 0, 255));
        EXPECT_EQ(ScreenAt(100, 50), Rgb565(0, 255, 0));
        EXPECT_EQ(ScreenAt(299, 149), Rgb565(0, 255, 0));
        EXPECT_EQ(ScreenAt(300, 150), Rgb565(0, 0, 255));
        bottomPaintsBeforeHide = bottom.paints;
        top.ShowWindow(SW_HIDE);
      })
      .Wait(1)
      .Call([&] {
        EXPECT_EQ(ScreenAt(150, 100), Rgb565(0, 0, 255));
        EXPECT_GT(bottom.paints, bottomPaintsBeforeHide);
        bottomPaintsBeforeHide = -1;
      })
      .Quit();
  top.RunModal();
  EXPECT_EQ(bottomPaintsBeforeHide, -1) << "the checks did not run";
}

TEST_F(WindowTest, NestedModalRunReturnsItsResultAndTheOuterLoopGoesOn) {
  Probe outer;
  Probe inner;
  int innerResult = -2;
  outer.onUp = [&](int32_t x, int32_t) {
    if (x == 10) innerResult = inner.RunModal();
  };
  inner.onUp = [&](int32_t, int32_t) { inner.EndModal(7); };
  backend.Down(10, 10).Up()     // opens the inner window
      .Down(20, 20).Up()        // ends it with 7
      .Down(30, 30).Up()        // back to the outer window
      .Quit();
  EXPECT_EQ(outer.RunModal(), -1);  // ended by the quit
  EXPECT_EQ(innerResult, 7);
  EXPECT_EQ(inner.log, (std::vector<std::string>{"down 20 20 pen", "up 20 20"}));
  EXPECT_EQ(outer.log.back(), "up 30 30");
}

// A worker thread asks for a repaint; the headless clock does not move on
// until the worker is waiting again, so the repaint is in at the next step.
int SlowWorker(void* parameter) {
  auto* probe = static_cast<Probe*>(parameter);
  Sleep(30);
  probe->colour = Rgb(255, 255, 0);
  probe->Invalidate(false);
  return 0;
}

TEST_F(WindowTest, RepaintAskedForByAWorkerThreadIsInBeforeTheClockMoves) {
  Probe probe(Rgb(0, 0, 0));
  Thread* worker = nullptr;
  bool checked = false;
  backend.Call([&] { worker = StartThread(SlowWorker, &probe, THREAD_PRIORITY_BELOW_NORMAL); })
      .Wait(1)
      .Call([&] {
        EXPECT_EQ(ScreenAt(5, 5), Rgb565(255, 255, 0));
        checked = true;
      })
      .Quit();
  probe.RunModal();
  EXPECT_TRUE(checked);
  EXPECT_EQ(JoinThread(worker), 0);
}

TEST_F(WindowTest, GetTextNeverWritesPastTheBuffer) {
  Probe probe;
  probe.Create(nullptr, false);
  probe.SetWindowText("TEVO_LogViewer");
  char16_t buffer[8];
  for (char16_t& c : buffer) c = u'#';
  EXPECT_EQ(SendMessageTo(probe.Handle(), WM_GETTEXT, 0, reinterpret_cast<intptr_t>(buffer)), 0);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(SendMessageTo(probe.Handle(), WM_GETTEXT, 5, reinterpret_cast<intptr_t>(buffer)), 4);
  EXPECT_EQ(std::u16string(buffer), u"TEVO");
  EXPECT_EQ(buffer[5], u'#');
}

TEST_F(WindowTest, TitlesAreFoundIgnoringCaseAndForgottenWithTheWindow) {
  WindowHandle handle = 0;
  {
    Probe probe;
    probe.Create(nullptr, false);
    probe.SetWindowText("TEVO_LogViewer");
    handle = probe.Handle();
    EXPECT_EQ(FindWindowByTitle("Tevo_LogViewer"), handle);
    EXPECT_EQ(FindWindowByTitle("Tevo_LogViewe"), 0u);
  }
  EXPECT_EQ(FindWindowByTitle("Tevo_LogViewer"), 0u);
  EXPECT_EQ(SendMessageTo(handle, WM_USER + 1, 0, 0), 0);
}

// Another program: the main-menu stand-in answers the query with its target
// and prints each notification it gets.
TEST_F(WindowTest, MainMenuInAnotherProcessAnswersAndCountsNotifications) {
  std::string command = std::string(TEVO_MAINMENU_PATH) + " --count 2";
  FILE* mainMenu = popen(command.c_str(), "r");
  ASSERT_NE(mainMenu, nullptr);
  char line[128] = {};
  ASSERT_NE(std::fgets(line, sizeof line, mainMenu), nullptr);
  EXPECT_STREQ(line, "MainMenu ready\n");
  WindowHandle menu = FindWindowByTitle("mainmenu");
  ASSERT_NE(menu, 0u);
  WindowHandle target = static_cast<WindowHandle>(SendMessageTo(menu, WM_USER + 1, 0, 0));
  EXPECT_EQ(target, menu);
  EXPECT_EQ(PostMessageTo(target, WM_USER + 2, 1, 0), 1);
  EXPECT_EQ(PostMessageTo(target, WM_USER + 2, 1, 0), 1);
  std::string output;
  while (std::fgets(line, sizeof line, mainMenu) != nullptr) output += line;
  EXPECT_EQ(pclose(mainMenu), 0);
  EXPECT_EQ(output, "tap 1 wParam=1 lParam=0\ntap 2 wParam=1 lParam=0\n");
  EXPECT_EQ(FindWindowByTitle("MainMenu"), 0u);
}

}  // namespace

// A backend whose wait gives no input and ends only when it is woken; the
// first wait raises `signal` against the process.
class SignalledBackend : public Backend {
 public:
  explicit SignalledBackend(int s) : signal(s) {}
  uint32_t Tick() override { return 1; }
  void Now(LocalTime* time) override { *time = LocalTime{}; }
  bool WaitInput(uint32_t, bool, InputEvent*) override {
    if (!raised) {
      raised = true;
      std::raise(signal);
    }
    std::unique_lock<std::mutex> lock(mutex);
    if (!wakeUp.wait_for(lock, std::chrono::seconds(20), [this] { return woken; })) std::exit(3);
    woken = false;
    return false;
  }
  void Wake() override {
    std::lock_guard<std::mutex> lock(mutex);
    woken = true;
    wakeUp.notify_all();
  }
  void Present(const Canvas&) override {}

 private:
  int signal;
  bool raised = false;
  std::mutex mutex;
  std::condition_variable wakeUp;
  bool woken = false;
};

// SIGTERM and SIGINT end the loop like the window's close button: the
// signal wakes the loop's wait, and the loop finds the quit asked for; a
// second signal ends the process at once. Each case runs in a process of
// its own, since signals and their handlers belong to the process.
TEST(QuitSignals, ASignalEndsTheLoopAndASecondOneTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int signal : {SIGTERM, SIGINT}) {
    EXPECT_EXIT(
        {
          SignalledBackend backend(signal);
          SetBackend(&backend);
          if (InstallQuitSignals() != 0) std::exit(2);
          Probe modal;
          int result = modal.RunModal();
          std::exit(result == -1 && QuitSignal() == signal ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
          if (InstallQuitSignals() != 0) std::exit(2);
          std::raise(signal);
          std::raise(signal);
          std::exit(0);
        },
        ::testing::KilledBySignal(signal), "");
  }
}
