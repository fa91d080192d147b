// Finding font files for face names with fontconfig (used by the text code
// of the drawing contexts only).
#pragma once

#include <string>

// A font file and the face inside it.
struct FontFaceFile {
  std::string path;
  int index = 0;      // face index inside a collection file
  bool bold = false;  // the face itself is bold (no emboldening needed)
};

// Finds the file for `faceName` (UTF-8). The device's face "MS UI ゴシック"
// (also spelt "MS UI Gothic"), a null or empty name, and any face that is
// not installed with Japanese glyphs fall back to IPAPGothic, then VL
// PGothic, then Noto Sans CJK JP, then whatever fontconfig offers for
// Japanese, and last to fontconfig's default sans-serif face, so that text
// still shows. `bold` asks for a bold face of the chosen family; when the
// family has none, the regular face is returned with bold false. Returns 1
// and fills `file`, or 0 when fontconfig knows no font at all. Thread-safe.
int LookupFontFace(const char* faceName, bool bold, FontFaceFile* file);

// True when a face with Japanese glyphs is installed (any step of the
// fallback chain but the last). Thread-safe.
bool HasJapaneseFace();
