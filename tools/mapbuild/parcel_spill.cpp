#include "tools/mapbuild/parcel_spill.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <queue>

namespace {

constexpr size_t READ_BUFFER_BYTES = 1 << 17;

template <typename T>
void Put(std::vector<uint8_t>* bytes, T value) {
  const size_t at = bytes->size();
  bytes->resize(at + sizeof(T));
  std::memcpy(bytes->data() + at, &value, sizeof(T));
}

void PutPoints(std::vector<uint8_t>* bytes, const std::vector<LocalPoint>& points) {
  Put<uint32_t>(bytes, static_cast<uint32_t>(points.size()));
  for (const LocalPoint& p : points) {
    Put<int32_t>(bytes, p.x);
    Put<int32_t>(bytes, p.y);
  }
}

// Reads the serialized form back, refusing anything that runs past its end.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size) : at(data), end(data + size) {}
  template <typename T>
  bool Get(T* value) {
    if (static_cast<size_t>(end - at) < sizeof(T)) return false;
    std::memcpy(value, at, sizeof(T));
    at += sizeof(T);
    return true;
  }
  bool Count(uint32_t* count, size_t itemBytes) {
    return Get(count) && static_cast<size_t>(end - at) / itemBytes >= *count;
  }
  bool Points(std::vector<LocalPoint>* points) {
    uint32_t count = 0;
    if (!Count(&count, 8)) return false;
    points->resize(count);
    for (LocalPoint& p : *points) {
      if (!Get(&p.x) || !Get(&p.y)) return false;
    }
    return true;
  }
  bool Done() const { return at == end; }

 private:
  const uint8_t* at;
  const uint8_t* end;
};

}  // namespace

void SerializeParcelContent(const ParcelContent& content, std::vector<uint8_t>* bytes) {
  Put<uint32_t>(bytes, static_cast<uint32_t>(content.roads.size()));
  for (const RoadLink& road : content.roads) {
    Put<uint8_t>(bytes, road.roadClass);
    PutPoints(bytes, road.points);
  }
  Put<uint32_t>(bytes, static_cast<uint32_t>(content.background.size()));
  for (const BackgroundItem& item : content.background) {
    Put<uint16_t>(bytes, item.code);
    Put<uint8_t>(bytes, item.area ? 1 : 0);
    Put<uint8_t>(bytes, item.order);
    PutPoints(bytes, item.points);
    Put<uint32_t>(bytes, static_cast<uint32_t>(item.hidden.size()));
    bytes->insert(bytes->end(), item.hidden.begin(), item.hidden.end());
  }
  Put<uint32_t>(bytes, static_cast<uint32_t>(content.names.size()));
  for (const NameItem& name : content.names) {
    Put<uint8_t>(bytes, name.type);
    Put<uint16_t>(bytes, name.code);
    Put<uint8_t>(bytes, name.detailMask);
    Put<uint8_t>(bytes, name.group);
    Put<int32_t>(bytes, name.priority);
    Put<int32_t>(bytes, name.anchor.x);
    Put<int32_t>(bytes, name.anchor.y);
    Put<uint32_t>(bytes, static_cast<uint32_t>(name.text.size()));
    for (char16_t c : name.text) Put<uint16_t>(bytes, static_cast<uint16_t>(c));
    PutPoints(bytes, name.offsets);
  }
}

bool AppendSerializedContent(const uint8_t* data, size_t size, ParcelContent* content) {
  Cursor in(data, size);
  uint32_t count = 0;
  if (!in.Count(&count, 5)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    RoadLink road;
    if (!in.Get(&road.roadClass) || !in.Points(&road.points)) return false;
    content->roads.push_back(std::move(road));
  }
  if (!in.Count(&count, 12)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    BackgroundItem item;
    uint8_t area = 0;
    uint32_t hidden = 0;
    if (!in.Get(&item.code) || !in.Get(&area) || !in.Get(&item.order) || !in.Points(&item.points) ||
        !in.Count(&hidden, 1)) {
      return false;
    }
    item.area = area != 0;
    item.hidden.resize(hidden);
    for (uint8_t& h : item.hidden) in.Get(&h);
    content->background.push_back(std::move(item));
  }
  if (!in.Count(&count, 25)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    NameItem name;
    uint32_t characters = 0;
    if (!in.Get(&name.type) || !in.Get(&name.code) || !in.Get(&name.detailMask) || !in.Get(&name.group) ||
        !in.Get(&name.priority) || !in.Get(&name.anchor.x) || !in.Get(&name.anchor.y) || !in.Count(&characters, 2)) {
      return false;
    }
    for (uint32_t c = 0; c < characters; ++c) {
      uint16_t unit = 0;
      in.Get(&unit);
      name.text.push_back(static_cast<char16_t>(unit));
    }
    if (!in.Points(&name.offsets)) return false;
    content->names.push_back(std::move(name));
  }
  return in.Done();
}

// One run file being read back: its next record's key and bytes.
struct ParcelSpill::Run {
  std::string path;
  FILE* file = nullptr;
  std::vector<char> buffer;
  bool atEnd = false;
  uint64_t key = 0;
  uint64_t sequence = 0;
  std::vector<uint8_t> record;
  ~Run() {
    if (file != nullptr) std::fclose(file);
  }
};

ParcelSpill::ParcelSpill(std::string prefix, size_t bucketBytes, int parts)
    : prefix(std::move(prefix)), bucketBytes(bucketBytes), parts(static_cast<size_t>(std::max(parts, 1))) {}

ParcelSpill::~ParcelSpill() {
  for (const auto& run : runs) {
    if (run->file != nullptr) std::fclose(run->file);
    run->file = nullptr;
    std::remove(run->path.c_str());
  }
}

int ParcelSpill::Add(int index, uint64_t key, uint64_t sequence, const ParcelContent& piece, std::string* error) {
  Part& part = parts[static_cast<size_t>(index)];
  const size_t at = part.held.size();
  SerializeParcelContent(piece, &part.held);
  part.pieces.push_back({key, sequence, static_cast<uint32_t>(at), static_cast<uint32_t>(part.held.size() - at)});
  // Offsets are 32-bit: a bucket never holds more than 2 GiB.
  if (part.held.size() + part.pieces.size() * sizeof(Piece) >= bucketBytes || part.held.size() >= (size_t{1} << 31)) {
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
  uint64_t bytes = 0;
  for (const Piece& piece : part->pieces) {
    if (!ok) break;
    ok = std::fwrite(&piece.key, sizeof piece.key, 1, file) == 1 &&
         std::fwrite(&piece.sequence, sizeof piece.sequence, 1, file) == 1 &&
         std::fwrite(&piece.size, sizeof piece.size, 1, file) == 1 &&
         std::fwrite(part->held.data() + piece.offset, 1, piece.size, file) == piece.size;
    bytes += sizeof piece.key + sizeof piece.sequence + sizeof piece.size + piece.size;
  }
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
    Run& run = *runs[r];
    run.file = std::fopen(run.path.c_str(), "rb");
    if (run.file == nullptr) {
      *error = "cannot read the temporary file " + run.path;
      return -1;
    }
    run.buffer.resize(READ_BUFFER_BYTES);
    std::setvbuf(run.file, run.buffer.data(), _IOFBF, run.buffer.size());
    if (Advance(r, error) != 0) return -1;
  }
  return 0;
}

int ParcelSpill::MergeOldestRuns(std::string* error) {
  if (OpenRuns(0, MAX_OPEN_RUNS, error) != 0) return -1;
  auto merged = std::make_unique<Run>();
  merged->path = prefix + ".merged." + std::to_string(merges++);
  FILE* file = std::fopen(merged->path.c_str(), "wb");
  bool ok = file != nullptr;
  while (ok && !heap.empty()) {
    const size_t r = heap.top().second;
    heap.pop();
    const Run& run = *runs[r];
    const uint32_t size = static_cast<uint32_t>(run.record.size());
    ok = std::fwrite(&run.key, sizeof run.key, 1, file) == 1 &&
         std::fwrite(&run.sequence, sizeof run.sequence, 1, file) == 1 &&
         std::fwrite(&size, sizeof size, 1, file) == 1 && std::fwrite(run.record.data(), 1, size, file) == size;
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
  uint32_t size = 0;
  if (std::fread(&run.key, sizeof run.key, 1, run.file) != 1) {
    if (std::ferror(run.file)) {
      *error = "cannot read the temporary file " + run.path;
      return -1;
    }
    run.atEnd = true;
    std::fclose(run.file);
    run.file = nullptr;
    std::vector<char>().swap(run.buffer);
    std::remove(run.path.c_str());
    return 0;
  }
  run.record.resize(0);
  if (std::fread(&run.sequence, sizeof run.sequence, 1, run.file) == 1 &&
      std::fread(&size, sizeof size, 1, run.file) == 1) {
    run.record.resize(size);
    if (std::fread(run.record.data(), 1, size, run.file) == size) {
      heap.push({{run.key, run.sequence}, index});
      return 0;
    }
  }
  *error = "the temporary file " + run.path + " ends early";
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
