// The tap notification every screen sends to the device's main menu when a
// tap lands on an active element.
#pragma once

#include <cstdint>

#include "platform/window.h"

// Asks the main menu for the target of the notifications.
constexpr uint32_t MSG_QUERY_TAP_TARGET = WM_USER + 1;  // 1025
// The notification itself, wParam 1, lParam 0.
constexpr uint32_t MSG_TAP = WM_USER + 2;  // 1026
// Title of the main menu's window.
constexpr char MAIN_MENU_TITLE[] = "MainMenu";

// Where the notifications go; 0 means nowhere. Set at the calendar's start.
extern WindowHandle tapNotifyTarget;

// Posts MSG_TAP (wParam 1, lParam 0) to tapNotifyTarget without waiting;
// does nothing when there is no target.
void NotifyTap();
