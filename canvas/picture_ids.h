// Ids of the program's pictures.
#pragma once

constexpr int PICTURE_SPRITE_SHEET = 129;      // buttons, day marks, gauge segments, card message
constexpr int PICTURE_MARKER = 131;            // map centre cross-hair, 32 x 32
constexpr int PICTURE_FACILITY_MARKS = 132;    // map facility marks atlas
constexpr int PICTURE_MAP_SYMBOLS = 133;       // small map symbols atlas
constexpr int PICTURE_NO_LOGS_NOTICE = 134;    // 320 x 128
constexpr int PICTURE_SLIDER_KNOB = 135;       // 24 x 13
constexpr int PICTURE_ROUND_BUTTONS = 136;     // minus, plus, back arrow, start and end flags
constexpr int PICTURE_MAP_FRAME = 137;         // 480 x 272 map-screen frame
constexpr int PICTURE_BUSY = 140;              // hourglass and dot of the busy indicator
constexpr int PICTURE_BROWSE_BACKGROUND = 144; // calendar, browsing
constexpr int PICTURE_DAY_DELETE_CONFIRM = 146;
constexpr int PICTURE_DELETE_BACKGROUND = 147; // calendar, deleting days
constexpr int PICTURE_DELETED_NOTICE = 149;
constexpr int PICTURE_SETTINGS_BACKGROUND = 150;
constexpr int PICTURE_ALL_DELETE_CONFIRM = 153;
constexpr int PICTURE_DELETE_FAILED_NOTICE = 154;      // 320 x 128: logs could not be deleted
constexpr int PICTURE_SETTINGS_UNREADABLE_NOTICE = 155; // 320 x 128: the settings file cannot be read
constexpr int PICTURE_SETTINGS_UNWRITTEN_NOTICE = 156;  // 320 x 128: the settings file could not be written
