#include "tools/mapbuild/feature_spill.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t READ_BUFFER_BYTES = 1 << 18;

template <typename T>
void Put(std::vector<uint8_t>* bytes, T value) {
  const size_t at = bytes->size();
  bytes->resize(at + sizeof(T));
  std::memcpy(bytes->data() + at, &value, sizeof(T));
}

// The fixed head of a record: sequence, source, rule, rank, text and
// geometry sizes; the text and the geometry's WKB follow.
struct RecordHead {
  uint64_t sequence;
  uint32_t source;
  uint32_t rule;
  double rank;
  uint32_t textBytes;
  uint32_t wkbBytes;
};

// One level file being read: its next record's head.
struct Reader {
  FILE* file = nullptr;
  std::vector<char> buffer;
  RecordHead head{};
  bool atEnd = false;
  ~Reader() {
    if (file != nullptr) std::fclose(file);
  }
  bool Advance() {
    if (std::fread(&head, sizeof head, 1, file) != 1) {
      atEnd = true;
      return std::ferror(file) == 0;
    }
    return true;
  }
};

}  // namespace

FeatureSpill::~FeatureSpill() {
  if (prefix.empty()) return;
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    if (files[level] != nullptr) std::fclose(files[level]);
    std::remove(Path(level).c_str());
  }
}

std::string FeatureSpill::Path(int levelIndex) const { return prefix + "." + std::to_string(levelIndex); }

int FeatureSpill::Open(const std::string& filePrefix, std::string* error) {
  prefix = filePrefix;
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    files[level] = std::fopen(Path(level).c_str(), "wb");
    if (files[level] == nullptr) {
      *error = "cannot create the temporary file " + Path(level);
      return -1;
    }
  }
  return 0;
}

int FeatureSpill::Add(int source, const RecipeRule& rule, const SourceFeature& feature, std::string* error) {
  const size_t wkbBytes = feature.geometry->WkbSize();
  record.assign(sizeof(RecordHead) + feature.text.size() + wkbBytes, 0);
  const RecordHead head{sequence++, static_cast<uint32_t>(source), static_cast<uint32_t>(feature.rule), feature.rank,
                        static_cast<uint32_t>(feature.text.size()), static_cast<uint32_t>(wkbBytes)};
  std::memcpy(record.data(), &head, sizeof head);
  std::memcpy(record.data() + sizeof head, feature.text.data(), feature.text.size());
  feature.geometry->exportToWkb(wkbNDR, record.data() + sizeof head + feature.text.size(), wkbVariantIso);
  FILE* file = files[rule.lastLevel];
  if (std::fwrite(record.data(), 1, record.size(), file) != record.size()) {
    *error = "cannot write the temporary file " + Path(rule.lastLevel) + ": " + std::strerror(errno);
    return -1;
  }
  bytes += record.size();
  ++ranges[rule.firstLevel][rule.lastLevel];
  return 0;
}

int FeatureSpill::Close(std::string* error) {
  bool ok = true;
  for (FILE*& file : files) {
    if (file != nullptr) ok = std::fclose(file) == 0 && ok;
    file = nullptr;
  }
  if (!ok) *error = "cannot write the temporary files " + prefix + ".* (disk full?)";
  return ok ? 0 : -1;
}

int64_t FeatureSpill::CountAt(int levelIndex) const {
  int64_t count = 0;
  for (int first = 0; first <= levelIndex; ++first) {
    for (int last = levelIndex; last < STANDARD_LEVEL_COUNT; ++last) count += ranges[first][last];
  }
  return count;
}

int FeatureSpill::Read(int levelIndex, const Wanted& wanted, const Visit& visit, std::string* error) const {
  std::vector<std::unique_ptr<Reader>> readers;
  for (int last = levelIndex; last < STANDARD_LEVEL_COUNT; ++last) {
    auto reader = std::make_unique<Reader>();
    reader->file = std::fopen(Path(last).c_str(), "rb");
    if (reader->file == nullptr) {
      *error = "cannot read the temporary file " + Path(last);
      return -1;
    }
    reader->buffer.resize(READ_BUFFER_BYTES);
    std::setvbuf(reader->file, reader->buffer.data(), _IOFBF, reader->buffer.size());
    if (!reader->Advance()) {
      *error = "cannot read the temporary file " + Path(last);
      return -1;
    }
    readers.push_back(std::move(reader));
  }
  std::vector<uint8_t> body;
  SpilledFeature spilled;
  for (;;) {
    Reader* next = nullptr;
    for (const auto& reader : readers) {
      if (!reader->atEnd && (next == nullptr || reader->head.sequence < next->head.sequence)) next = reader.get();
    }
    if (next == nullptr) return 0;
    const RecordHead head = next->head;
    const size_t size = size_t{head.textBytes} + head.wkbBytes;
    if (!wanted(head.sequence, static_cast<int>(head.source), static_cast<int>(head.rule))) {
      if (std::fseek(next->file, static_cast<long>(size), SEEK_CUR) != 0) {
        *error = "cannot read the temporary features";
        return -1;
      }
    } else {
      body.resize(size);
      OGRGeometry* geometry = nullptr;
      if (std::fread(body.data(), 1, size, next->file) != size ||
          OGRGeometryFactory::createFromWkb(body.data() + head.textBytes, nullptr, &geometry, head.wkbBytes) !=
              OGRERR_NONE) {
        *error = "the temporary features are damaged";
        return -1;
      }
      spilled.sequence = head.sequence;
      spilled.source = static_cast<int>(head.source);
      spilled.feature.rule = static_cast<int>(head.rule);
      spilled.feature.rank = head.rank;
      spilled.feature.text.assign(reinterpret_cast<const char*>(body.data()), head.textBytes);
      spilled.feature.geometry.reset(geometry);
      if (visit(spilled) != 0) return -1;
    }
    if (!next->Advance()) {
      *error = "cannot read the temporary features";
      return -1;
    }
  }
}
