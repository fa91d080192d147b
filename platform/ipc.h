// Messages between programs: windows are found by title and reached by
// handle over abstract Unix domain sockets ("tevo/title/<title in lower
// case>" answers a window's handle, "tevo/proc/<pid>" takes the messages of
// one program's windows). Each title is also published for the device
// root in use ("tevo/device/<device root's identity>/title/<title>"), so
// that programs can look for a window of their own device only. Internal
// to the platform.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

// A handle that encodes the owning process: (pid << 10) | serial.
WindowHandle MakeWindowHandle();
bool IsLocalHandle(WindowHandle handle);

// Makes a title findable by other programs (replacing the window's previous
// title, if any), by every program of the user and by those of the same
// device root; an empty title withdraws it.
void PublishTitle(WindowHandle handle, const std::string& lowerCaseTitle);
// Withdraws every title of a window.
void WithdrawTitles(WindowHandle handle);

// Another program's window with this title: its handle or 0. With
// `sameDeviceOnly` only a window of a program using the same device root
// is found; otherwise that one first, then any of the user's.
WindowHandle FindRemoteTitle(const std::string& lowerCaseTitle, bool sameDeviceOnly);
// Delivers a message to another program's window. With `waitForReply` the
// handler's result is stored in `reply` (0 when it does not answer within a
// few seconds). Returns 1 when delivered, 0 when the window is unreachable.
int DeliverRemote(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam, bool waitForReply,
                  intptr_t* reply);

// Lower-case (ASCII) copy of a title, the form titles are compared in.
std::string FoldTitle(const std::string& title);
