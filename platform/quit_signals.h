// Ending the program on SIGTERM and SIGINT.
#pragma once

// Makes SIGTERM and SIGINT end the message loop at any time, in either
// backend: the signal handler only writes a byte to a pipe, and a watcher
// thread turns it into RequestQuit, which wakes the loop's wait. A second
// signal of the same kind ends the process at once. Call once, after the
// backend is chosen. Returns 0, or -1 when the pipe or the thread cannot
// be made (the signals then keep their default action).
int InstallQuitSignals();

// The signal that asked the program to end (SIGTERM, SIGINT), or 0.
int QuitSignal();
