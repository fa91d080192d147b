// UTF-8 <-> UTF-16 conversions for paths and texts.
#pragma once

#include <string>

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);
// A zero-terminated UTF-16 string; null gives "".
std::string Utf16ToUtf8(const char16_t* text);
