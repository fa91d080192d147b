#include "platform/kernel.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <thread>

struct Event {
  std::mutex mutex;
  std::condition_variable changed;
  bool pending = false;
  int countedWaiters = 0;  // worker threads waiting without limit
  std::string name;
  int references = 1;
};

struct Thread {
  std::thread thread;
  int exitCode = 0;
};

namespace {

std::mutex registryMutex;
std::map<std::string, Event*>& NamedEvents() {
  static std::map<std::string, Event*> events;
  return events;
}

std::atomic<int> liveWorkers{0};
std::atomic<int> waitingWorkers{0};
thread_local bool isWorker = false;

// Lowers the calling thread's OS priority by the steps below normal; Linux
// takes a per-thread nice value.
void ApplyPriority(int priority) {
  int steps = priority - THREAD_PRIORITY_NORMAL;
  if (steps <= 0) return;
  pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), current + 2 * steps);
}

}  // namespace

Event* CreateEvent(const char* name) {
  if (name == nullptr || name[0] == '\0') return new Event;
  std::lock_guard<std::mutex> lock(registryMutex);
  auto& events = NamedEvents();
  auto found = events.find(name);
  if (found != events.end()) {
    ++found->second->references;
    return found->second;
  }
  auto* event = new Event;
  event->name = name;
  events[name] = event;
  return event;
}

void SetEvent(Event* event) {
  if (event == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(event->mutex);
    // The waiter that this wakes counts as busy from now on, so that
    // WorkersIdle never sees a set event whose worker has not woken yet.
    if (!event->pending && event->countedWaiters > 0) {
      --event->countedWaiters;
      --waitingWorkers;
    }
    event->pending = true;
  }
  event->changed.notify_one();
}

int WaitEvent(Event* event, uint32_t timeoutMs) {
  if (event == nullptr) return WAIT_TIMED_OUT;
  std::unique_lock<std::mutex> lock(event->mutex);
  if (timeoutMs == WAIT_INFINITE) {
    if (isWorker && !event->pending) {
      ++event->countedWaiters;
      ++waitingWorkers;
    }
    event->changed.wait(lock, [event] { return event->pending; });
  } else if (!event->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [event] { return event->pending; })) {
    return WAIT_TIMED_OUT;
  }
  event->pending = false;
  return WAIT_SIGNALLED;
}

void CloseEvent(Event* event) {
  if (event == nullptr) return;
  if (!event->name.empty()) {
    std::lock_guard<std::mutex> lock(registryMutex);
    if (--event->references > 0) return;
    NamedEvents().erase(event->name);
  }
  delete event;
}

Thread* StartThread(ThreadProc proc, void* parameter, int priority) {
  auto* thread = new Thread;
  ++liveWorkers;
  try {
    thread->thread = std::thread([thread, proc, parameter, priority] {
      isWorker = true;
      ApplyPriority(priority);
      thread->exitCode = proc(parameter);
      --liveWorkers;
    });
  } catch (...) {
    --liveWorkers;
    delete thread;
    return nullptr;
  }
  return thread;
}

int JoinThread(Thread* thread) {
  if (thread == nullptr) return -1;
  if (thread->thread.joinable()) thread->thread.join();
  int code = thread->exitCode;
  delete thread;
  return code;
}

CriticalSection::CriticalSection() : impl(new std::mutex) {}
CriticalSection::~CriticalSection() { delete static_cast<std::mutex*>(impl); }
void CriticalSection::Enter() { static_cast<std::mutex*>(impl)->lock(); }
void CriticalSection::Leave() { static_cast<std::mutex*>(impl)->unlock(); }

void Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool WorkersIdle() { return waitingWorkers.load() >= liveWorkers.load(); }

LocalTime SystemLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
