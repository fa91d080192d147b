#include "platform/font_lookup.h"

#include <fontconfig/fontconfig.h>

#include <cctype>
#include <cstring>
#include <mutex>

#include "canvas/sizes.h"

namespace {

// The device's user-interface face. It is not installed here, so it always
// takes the fallback chain, which keeps the screens' pictures the same on
// every machine that has the first fallback face.
constexpr const char* DEVICE_FACE_NAMES[] = {DEVICE_FONT_FACE, "MS UI Gothic"};

// Japanese proportional Gothic faces, in the order they are preferred.
constexpr const char* FALLBACK_FACES[] = {"IPAPGothic", "VL PGothic", "Noto Sans CJK JP"};

// A face draws the screens' texts when it has these: hiragana あ, katakana
// ア and the kanji 年, 月, 日 of the dates.
constexpr FcChar32 JAPANESE_SAMPLE[] = {0x3042, 0x30A2, 0x5E74, 0x6708, 0x65E5};

// fontconfig keeps one process-wide configuration; its calls are serialised
// so that fonts can be created on any thread.
std::mutex fontconfigLock;

// What a candidate face must offer to be taken.
struct FaceRequirement {
  bool sameFamily;      // the matched face belongs to the asked family
  bool japaneseGlyphs;  // the matched face has the sample characters
};

// Family names compare as fontconfig compares them: blanks left out, ASCII
// letters in either case ("VL PGothic" is "vlpgothic").
bool SameFamilyName(const char* a, const char* b) {
  auto skipBlanks = [](const char* p) {
    while (*p == ' ') ++p;
    return p;
  };
  for (a = skipBlanks(a), b = skipBlanks(b); *a != '\0' && *b != '\0'; a = skipBlanks(a + 1), b = skipBlanks(b + 1)) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

bool HasFamily(FcPattern* match, const char* family) {
  FcChar8* name = nullptr;
  for (int n = 0; FcPatternGetString(match, FC_FAMILY, n, &name) == FcResultMatch; ++n) {
    if (SameFamilyName(reinterpret_cast<const char*>(name), family)) return true;
  }
  return false;
}

bool HasJapaneseGlyphs(FcPattern* match) {
  FcCharSet* charset = nullptr;
  if (FcPatternGetCharSet(match, FC_CHARSET, 0, &charset) != FcResultMatch) return false;
  for (FcChar32 c : JAPANESE_SAMPLE) {
    if (!FcCharSetHasChar(charset, c)) return false;
  }
  return true;
}

// Asks fontconfig for the best face of `family` (Japanese, upright, regular
// or bold) and takes it when it meets `need`. Call with fontconfigLock held.
bool MatchFace(const char* family, bool bold, FaceRequirement need, FontFaceFile* file) {
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return false;

  bool taken = false;
  FcChar8* path = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && (!need.sameFamily || HasFamily(match, family)) &&
      (!need.japaneseGlyphs || HasJapaneseGlyphs(match))) {
    int index = 0;
    int weight = FC_WEIGHT_REGULAR;
    FcBool embolden = FcFalse;
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
    // The usual configuration marks a regular face asked for bold as bold
    // with "embolden" set: that face still needs synthetic bold.
    FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
    file->path = reinterpret_cast<const char*>(path);
    file->index = index;
    file->bold = weight >= FC_WEIGHT_DEMIBOLD && embolden == FcFalse;
    taken = true;
  }
  FcPatternDestroy(match);
  return taken;
}

bool IsDeviceFace(const char* faceName) {
  for (const char* name : DEVICE_FACE_NAMES) {
    if (std::strcmp(faceName, name) == 0) return true;
  }
  return false;
}

// The fallback chain without the last, coverage-free step. Call with
// fontconfigLock held.
bool MatchJapaneseFallback(bool bold, FontFaceFile* file) {
  for (const char* family : FALLBACK_FACES) {
    if (MatchFace(family, bold, {true, true}, file)) return true;
  }
  return MatchFace("sans-serif", bold, {false, true}, file);
}

bool InitialiseFontconfig() {
  static const bool initialised = FcInit() == FcTrue;
  return initialised;
}

}  // namespace

int LookupFontFace(const char* faceName, bool bold, FontFaceFile* file) {
  std::lock_guard<std::mutex> lock(fontconfigLock);
  if (file == nullptr || !InitialiseFontconfig()) return 0;
  bool named = faceName != nullptr && faceName[0] != '\0' && !IsDeviceFace(faceName);
  if (named && MatchFace(faceName, bold, {true, true}, file)) return 1;
  if (MatchJapaneseFallback(bold, file)) return 1;
  return MatchFace("sans-serif", bold, {false, false}, file) ? 1 : 0;
}

bool HasJapaneseFace() {
  std::lock_guard<std::mutex> lock(fontconfigLock);
  FontFaceFile file;
  return InitialiseFontconfig() && MatchJapaneseFallback(false, &file);
}

// fontconfig loses a few hundred bytes while it parses its configuration
// files, once per process; LeakSanitizer would fail every program that draws
// text. Only sanitised builds carry this hook.
#if defined(__SANITIZE_ADDRESS__)
#define TEVO_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TEVO_LEAK_CHECKED 1
#endif
#endif
#ifdef TEVO_LEAK_CHECKED
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
