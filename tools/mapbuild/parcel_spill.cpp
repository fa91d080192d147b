#include "tools/mapbuild/parcel_spill.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <queue>

#include "tools/mapbuild/spill_io.h"

// Points are kept as zigzag varints of their differences, counts as
// varints, and the other fields at their fixed sizes.
namespace {

constexpr size_t READ_BUFFER_BYTES = 1 << 17;
// Offsets are 32-bit: a bucket never holds more than 2 GiB.
constexpr size_t MAX_HELD_BYTES = size_t{1} << 31;
// The fewest bytes a point, road, background item, character and name can take.
constexpr size_t MIN_POINT_BYTES = 2;
constexpr size_t MIN_ROAD_BYTES = 2;
constexpr size_t MIN_ITEM_BYTES = 6;
constexpr size_t MIN_CHARACTER_BYTES = 2;
constexpr size_t MIN_NAME_BYTES = 11;

void PutPoints(std::vector<uint8_t>* bytes, const std::vector<LocalPoint>& points) {
  PutVarint(bytes, points.size());
  int64_t lastX = 0, lastY = 0;
  for (const LocalPoint& p : points) {
    PutSignedVarint(bytes, p.x - lastX);
    PutSignedVarint(bytes, p.y - lastY);
    lastX = p.x;
    lastY = p.y;
  }
}

bool GetPoints(SpillCursor* in, std::vector<LocalPoint>* points) {
  uint32_t count = 0;
  if (!in->GetCount(&count, MIN_POINT_BYTES)) return false;
  points->resize(count);
  int64_t x = 0, y = 0;
  for (LocalPoint& p : *points) {
    int64_t dx = 0, dy = 0;
    if (!in->GetSignedVarint(&dx) || !in->GetSignedVarint(&dy) || !AddWithin(&x, dx, INT32_MIN, INT32_MAX) ||
        !AddWithin(&y, dy, INT32_MIN, INT32_MAX)) {
      return false;
    }
    p.x = static_cast<int32_t>(x);
    p.y = static_cast<int32_t>(y);
  }
  return true;
}

// A run's records come sorted by parcel key, then by sequence. Each is
// the key's difference to the record before, the sequence (its difference
// to the one before when the key is the same), the content's size, all
// varints, then the content.
class RunWriter {
 public:
  explicit RunWriter(FILE* file) : file(file) {}
  bool Write(uint64_t key, uint64_t sequence, const uint8_t* content, size_t size) {
    head.clear();
    PutVarint(&head, key - lastKey);
    PutVarint(&head, key == lastKey ? sequence - lastSequence : sequence);
    PutVarint(&head, size);
    lastKey = key;
    lastSequence = sequence;
    bytes += head.size() + size;
    return std::fwrite(head.data(), 1, head.size(), file) == head.size() &&
           std::fwrite(content, 1, size, file) == size;
  }
  uint64_t Bytes() const { return bytes; }

 private:
  FILE* file;
  std::vector<uint8_t> head;
  uint64_t lastKey = 0, lastSequence = 0, bytes = 0;
};

}  // namespace

void SerializeParcelContent(const ParcelContent& content, std::vector<uint8_t>* bytes) {
  PutVarint(bytes, content.roads.size());
  for (const RoadLink& road : content.roads) {
    PutFixed<uint8_t>(bytes, road.roadClass);
    PutPoints(bytes, road.points);
  }
  PutVarint(bytes, content.background.size());
  for (const BackgroundItem& item : content.background) {
    PutFixed<uint16_t>(bytes, item.code);
    PutFixed<uint8_t>(bytes, item.area ? 1 : 0);
    PutFixed<uint8_t>(bytes, item.order);
    PutPoints(bytes, item.points);
    PutVarint(bytes, item.hidden.size());
    bytes->insert(bytes->end(), item.hidden.begin(), item.hidden.end());
  }
  PutVarint(bytes, content.names.size());
  for (const NameItem& name : content.names) {
    PutFixed<uint8_t>(bytes, name.type);
    PutFixed<uint16_t>(bytes, name.code);
    PutFixed<uint8_t>(bytes, name.detailMask);
    PutFixed<uint8_t>(bytes, name.group);
    PutFixed<int32_t>(bytes, name.priority);
    PutFixed<int32_t>(bytes, name.anchor.x);
    PutFixed<int32_t>(bytes, name.anchor.y);
    PutVarint(bytes, name.text.size());
    for (char16_t c : name.text) PutFixed<uint16_t>(bytes, static_cast<uint16_t>(c));
    PutPoints(bytes, name.offsets);
  }
}

bool AppendSerializedContent(const uint8_t* data, size_t size, ParcelContent* content) {
  SpillCursor in(data, size);
  uint32_t count = 0;
  if (!in.GetCount(&count, MIN_ROAD_BYTES)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    RoadLink road;
    if (!in.Get(&road.roadClass) || !GetPoints(&in, &road.points)) return false;
    content->roads.push_back(std::move(road));
  }
  if (!in.GetCount(&count, MIN_ITEM_BYTES)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    BackgroundItem item;
    uint8_t area = 0;
    uint32_t hidden = 0;
    const uint8_t* flags = nullptr;
    if (!in.Get(&item.code) || !in.Get(&area) || !in.Get(&item.order) || !GetPoints(&in, &item.points) ||
        !in.GetCount(&hidden, 1) || !in.GetBytes(hidden, &flags)) {
      return false;
    }
    item.area = area != 0;
    item.hidden.assign(flags, flags + hidden);
    content->background.push_back(std::move(item));
  }
  if (!in.GetCount(&count, MIN_NAME_BYTES)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    NameItem name;
    uint32_t characters = 0;
    if (!in.Get(&name.type) || !in.Get(&name.code) || !in.Get(&name.detailMask) || !in.Get(&name.group) ||
        !in.Get(&name.priority) || !in.Get(&name.anchor.x) || !in.Get(&name.anchor.y) ||
        !in.GetCount(&characters, MIN_CHARACTER_BYTES)) {
      return false;
    }
    for (uint32_t c = 0; c < characters; ++c) {
      uint16_t unit = 0;
      in.Get(&unit);
      name.text.push_back(static_cast<char16_t>(unit));
    }
    if (!GetPoints(&in, &name.offsets)) return false;
    content->names.push_back(std::move(name));
  }
  return in.Done();
}

// One run file being read back: its next record's key and bytes.
struct ParcelSpill::Run {
  std::string path;
  SpillFile file;
  bool atEnd = false;
  uint64_t key = 0;
  uint64_t sequence = 0;
  std::vector<uint8_t> record;
};

ParcelSpill::ParcelSpill(std::string prefix, size_t bucketBytes, int parts)
    : prefix(std::move(prefix)), bucketBytes(bucketBytes), parts(static_cast<size_t>(std::max(parts, 1))) {}

ParcelSpill::~ParcelSpill() {
  for (const auto& run : runs) {
    run->file.Close();
    std::remove(run->path.c_str());
  }
}

int ParcelSpill::Add(int index, uint64_t key, uint64_t sequence, const ParcelContent& piece, std::string* error) {
  Part& part = parts[static_cast<size_t>(index)];
  // Room for a whole bucket from the start: growing by doubling would
  // leave up to twice the bucket size allocated and copy it over and over.
  // Only what the pieces fill is ever resident.
  if (part.held.capacity() == 0) {
    part.held.reserve(std::min(bucketBytes, MAX_HELD_BYTES));
    part.pieces.reserve(bucketBytes / sizeof(Piece) + 1);
  }
  const size_t at = part.held.size();
  SerializeParcelContent(piece, &part.held);
  part.pieces.push_back({key, sequence, static_cast<uint32_t>(at), static_cast<uint32_t>(part.held.size() - at)});
  if (part.held.size() + part.pieces.size() * sizeof(Piece) >= bucketBytes || part.held.size() >= MAX_HELD_BYTES) {
    return WriteRun(&part, error);
  }
  return 0;
}

int ParcelSpill::WriteRun(Part* part, std::string* error) {
  if (part->pieces.empty()) return 0;
  std::sort(part->pieces.begin(), part->pieces.end(), [](const Piece& a, const Piece& b) {
    return a.key != b.key ? a.key < b.key : a.sequence < b.sequence;
  });
  auto run = std::make_unique<Run>();
  {
    std::lock_guard<std::mutex> lock(runsMutex);
    run->path = prefix + "." + std::to_string(runs.size());
    runs.push_back(nullptr);
    ++runsWritten;
  }
  const std::string path = run->path;
  FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file != nullptr;
  RunWriter writer(file);
  for (const Piece& piece : part->pieces) {
    if (!ok) break;
    ok = writer.Write(piece.key, piece.sequence, part->held.data() + piece.offset, piece.size);
  }
  const uint64_t bytes = writer.Bytes();
  if (file != nullptr) ok = std::fclose(file) == 0 && ok;
  {
    std::lock_guard<std::mutex> lock(runsMutex);
    spilledBytes += bytes;
    for (auto& slot : runs) {
      if (!slot) {
        slot = std::move(run);
        break;
      }
    }
  }
  if (!ok) {
    *error = "cannot write the temporary file " + path + ": " + std::strerror(errno);
    return -1;
  }
  part->held.clear();
  part->pieces.clear();
  return 0;
}

int ParcelSpill::Finish(std::string* error) {
  for (Part& part : parts) {
    if (WriteRun(&part, error) != 0) return -1;
  }
  std::vector<Part>().swap(parts);
  // Never more runs open at once than MAX_OPEN_RUNS: the oldest are merged
  // into one larger run until the rest fit.
  while (runs.size() > MAX_OPEN_RUNS) {
    if (MergeOldestRuns(error) != 0) return -1;
  }
  return OpenRuns(0, runs.size(), error);
}

int ParcelSpill::OpenRuns(size_t first, size_t last, std::string* error) {
  heap = Heap();
  for (size_t r = first; r < last; ++r) {
    if (runs[r]->file.Open(runs[r]->path, "rb", READ_BUFFER_BYTES, error) != 0 || Advance(r, error) != 0) return -1;
  }
  return 0;
}

int ParcelSpill::MergeOldestRuns(std::string* error) {
  if (OpenRuns(0, MAX_OPEN_RUNS, error) != 0) return -1;
  auto merged = std::make_unique<Run>();
  merged->path = prefix + ".merged." + std::to_string(merges++);
  FILE* file = std::fopen(merged->path.c_str(), "wb");
  bool ok = file != nullptr;
  RunWriter writer(file);
  while (ok && !heap.empty()) {
    const size_t r = heap.top().second;
    heap.pop();
    const Run& run = *runs[r];
    ok = writer.Write(run.key, run.sequence, run.record.data(), run.record.size());
    if (ok && Advance(r, error) != 0) {
      if (file != nullptr) std::fclose(file);
      return -1;
    }
  }
  if (file != nullptr) ok = std::fclose(file) == 0 && ok;
  runs.erase(runs.begin(), runs.begin() + MAX_OPEN_RUNS);
  runs.push_back(std::move(merged));
  if (!ok) {
    *error = "cannot write the temporary file " + runs.back()->path + ": " + std::strerror(errno);
    return -1;
  }
  return 0;
}

int ParcelSpill::Advance(size_t index, std::string* error) {
  Run& run = *runs[index];
  uint64_t size = 0;
  if (run.file.Position() == run.file.Size()) {
    run.atEnd = true;
    run.file.Close();
    std::remove(run.path.c_str());
    return 0;
  }
  run.record.resize(0);
  uint64_t keyStep = 0, sequence = 0;
  if (run.file.ReadVarint(&keyStep) == 1 && run.file.ReadVarint(&sequence) == 1 && run.file.ReadVarint(&size) == 1 &&
      size <= run.file.Size() - run.file.Position()) {
    run.key += keyStep;
    run.sequence = keyStep == 0 ? run.sequence + sequence : sequence;
    run.record.resize(size);
    if (run.file.Read(run.record.data(), size)) {
      heap.push({{run.key, run.sequence}, index});
      return 0;
    }
  }
  *error = "the temporary file " + run.path + " is damaged or cannot be read";
  return -1;
}

int ParcelSpill::Next(uint64_t* key, ParcelContent* content, std::string* error) {
  if (heap.empty()) return 0;
  // The smallest key's pieces from every run, in their order.
  *key = heap.top().first.first;
  *content = ParcelContent();
  while (!heap.empty() && heap.top().first.first == *key) {
    const size_t r = heap.top().second;
    heap.pop();
    if (!AppendSerializedContent(runs[r]->record.data(), runs[r]->record.size(), content)) {
      *error = "the temporary files " + prefix + ".* are damaged";
      return -1;
    }
    if (Advance(r, error) != 0) return -1;
  }
  return 1;
}
