// The sizes every part of the program shares: the device's screen, the map
// canvas the renderer draws into, and the face name of every font.
#pragma once

#include <cstdint>

// The device's touch screen in pixels.
constexpr int32_t SCREEN_WIDTH = 480;
constexpr int32_t SCREEN_HEIGHT = 272;

// The map canvases: larger than the screen so that the picture can be
// dragged before a new frame comes; the screen shows the middle of it.
constexpr int32_t MAP_CANVAS_WIDTH = 996;
constexpr int32_t MAP_CANVAS_HEIGHT = 580;

// The face of every font the program creates (UTF-8).
constexpr const char* DEVICE_FONT_FACE = "MS UI ゴシック";
