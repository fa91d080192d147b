// UTF-8 <-> UTF-16 conversions for paths and texts.
#pragma once

#include <string>

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);
// A zero-terminated UTF-16 string; null gives "".
std::string Utf16ToUtf8(const char16_t* text);

// Byte offset of the first sequence in `text` that is not valid UTF-8 (a
// stray or missing continuation byte, an overlong form, a surrogate, a code
// point above U+10FFFF), or std::string::npos when all of it is valid.
size_t FindInvalidUtf8(const std::string& text);
// The longest prefix of `text`, at most `maxBytes` long, that ends on a
// character boundary of UTF-8: a text cut to a byte field keeps no part of
// a character.
size_t Utf8CutLength(const std::string& text, size_t maxBytes);
// The same for UTF-16 code units: a cut never keeps half of a surrogate pair.
size_t Utf16CutLength(const std::u16string& text, size_t maxUnits);
