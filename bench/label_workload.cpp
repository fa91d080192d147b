#include "bench/label_workload.h"

#include "tools/splitmix64.h"

namespace {

constexpr uint64_t LABEL_SEED = 5;
constexpr int32_t MIN_LABEL_CHARS = 4;
constexpr int32_t MAX_LABEL_CHARS = 8;

// Characters of place and facility names: kanji, hiragana, katakana.
const char16_t CHARACTERS[] =
    u"東京新宿渋谷池袋上野品川目黒世田谷区市町村駅前通り公園神社寺院病院学校郵便局銀行図書館交番消防署"
    u"国道県道橋川山谷坂丘台森林田畑中央本北南西東口入出大小高低のがにをはでとやへ"
    u"ガソリンスタンドホテルコンビニセンタープラザビルパークタワーマート";

}  // namespace

std::vector<std::u16string> LabelWorkload() {
  SplitMix64 random(LABEL_SEED);
  const size_t characterCount = sizeof(CHARACTERS) / sizeof(CHARACTERS[0]) - 1;
  std::vector<std::u16string> labels(LABEL_WORKLOAD_COUNT);
  for (std::u16string& label : labels) {
    const size_t length = static_cast<size_t>(random.Range(MIN_LABEL_CHARS, MAX_LABEL_CHARS));
    for (size_t i = 0; i < length; ++i) label.push_back(CHARACTERS[random.Next() % characterCount]);
  }
  return labels;
}
