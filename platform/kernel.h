// Events, threads, critical sections, sleep and clocks.
#pragma once

#include <cstdint>

constexpr uint32_t WAIT_INFINITE = 0xFFFFFFFF;
constexpr int WAIT_SIGNALLED = 0;
constexpr int WAIT_TIMED_OUT = 1;

// Thread priorities on the device's scale, where 3 is normal and larger
// numbers run less urgently.
constexpr int THREAD_PRIORITY_NORMAL = 3;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = 4;

struct Event;

// Creates an auto-reset event, initially not set. Events of the same name
// within the process are one event (each creation must be matched by one
// CloseEvent); null or "" gives an unnamed event. Several SetEvent calls
// before a wait are taken as one wake-up.
Event* CreateEvent(const char* name);
void SetEvent(Event* event);
// Waits until the event is set (and resets it): WAIT_SIGNALLED, or
// WAIT_TIMED_OUT after timeoutMs (WAIT_INFINITE waits without limit).
int WaitEvent(Event* event, uint32_t timeoutMs);
// Drops one reference; null is accepted.
void CloseEvent(Event* event);

struct Thread;
typedef int (*ThreadProc)(void* parameter);

// Starts `proc(parameter)` at once on a new thread, at the given priority
// (a larger number runs at a lower OS priority where the OS allows it).
// Returns null on failure. The thread must be joined with JoinThread.
Thread* StartThread(ThreadProc proc, void* parameter, int priority);
// Waits for the thread to end and frees the handle; returns its exit code,
// or -1 for a null handle.
int JoinThread(Thread* thread);

// A lock for short critical sections.
class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter();
  void Leave();

 private:
  void* impl;
};

// Suspends the calling thread for `ms` milliseconds of real time.
void Sleep(uint32_t ms);

// True while every thread started by StartThread is waiting without limit
// on an event that is not set: the workers have nothing left to do. The
// headless backend uses it to let worker threads finish before it moves on.
bool WorkersIdle();

// The processor time the calling thread has used, in seconds: what a piece
// of work costs whatever else the machine runs meanwhile.
double ThreadCpuSeconds();

// The millisecond tick count and the local time come from the window
// backend's clock (the real clock, or a virtual one in the headless
// backend), so they are defined by the backend linked into the program.
uint32_t GetTickCount();

struct LocalTime {
  int32_t year = 0;
  int32_t month = 0;  // 1..12
  int32_t day = 0;    // 1..31
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
};
void GetLocalTime(LocalTime* time);

// The real clock's local time in the system's time zone: what the
// backends with a real clock answer to GetLocalTime.
LocalTime SystemLocalTime();
