#include "tools/mapbuild/feature_spill.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "tools/mapbuild/spill_io.h"

// A record: varints of the sequence (less the file's previous one), the
// source, the rule and the body's size, then the body: a flags byte, the
// rank when it is not zero, the text's size and bytes, and the geometry.
// Geometries whose every coordinate is a whole number of map units (all
// that the readers make, unless a repair added a crossing) are kept as
// zigzag varint deltas of those integers; any other as its WKB.
namespace {

constexpr size_t READ_BUFFER_BYTES = 1 << 18;
constexpr size_t WRITE_BUFFER_BYTES = 1 << 16;
constexpr uint8_t FLAG_INTEGER_GEOMETRY = 1;
constexpr uint8_t FLAG_RANK = 2;
// Whole map units fit 32 bits; the bound only keeps the conversion exact.
constexpr int64_t INTEGER_LIMIT = int64_t{1} << 32;
constexpr double MAX_INTEGER_COORDINATE = static_cast<double>(INTEGER_LIMIT);

// The geometry kinds of the integer form.
enum IntegerKind : uint8_t {
  KIND_POINT = 1,
  KIND_LINE = 2,
  KIND_POLYGON = 3,
  KIND_MULTIPOINT = 4,
  KIND_MULTILINE = 5,
  KIND_MULTIPOLYGON = 6,
};

bool WholeUnits(double v) {
  return std::fabs(v) < MAX_INTEGER_COORDINATE && v == std::trunc(v) && !(v == 0 && std::signbit(v));
}

// Writes geometries in the integer form: each point as the difference to
// the one before it in the feature. Returns false, leaving *out in any
// state, when a coordinate is not whole or the kind has no integer form.
class IntegerWriter {
 public:
  explicit IntegerWriter(std::vector<uint8_t>* out) : out(out) {}

  bool Geometry(const OGRGeometry& geometry) {
    switch (geometry.getGeometryType()) {
      case wkbPoint:
        return Kind(KIND_POINT) && Point(*geometry.toPoint());
      case wkbLineString:
        return Kind(KIND_LINE) && Line(*geometry.toLineString());
      case wkbPolygon:
        return Kind(KIND_POLYGON) && Polygon(*geometry.toPolygon());
      case wkbMultiPoint:
        return Kind(KIND_MULTIPOINT) && Parts(*geometry.toMultiPoint(), wkbPoint);
      case wkbMultiLineString:
        return Kind(KIND_MULTILINE) && Parts(*geometry.toMultiLineString(), wkbLineString);
      case wkbMultiPolygon:
        return Kind(KIND_MULTIPOLYGON) && Parts(*geometry.toMultiPolygon(), wkbPolygon);
      default:
        return false;
    }
  }

 private:
  bool Kind(IntegerKind kind) {
    out->push_back(kind);
    return true;
  }
  bool Coordinates(double x, double y) {
    if (!WholeUnits(x) || !WholeUnits(y)) return false;
    const auto ix = static_cast<int64_t>(x), iy = static_cast<int64_t>(y);
    PutSignedVarint(out, ix - lastX);
    PutSignedVarint(out, iy - lastY);
    lastX = ix;
    lastY = iy;
    return true;
  }
  bool Point(const OGRPoint& point) { return !point.IsEmpty() && Coordinates(point.getX(), point.getY()); }
  bool Line(const OGRSimpleCurve& line) {
    PutVarint(out, static_cast<uint64_t>(line.getNumPoints()));
    for (int i = 0; i < line.getNumPoints(); ++i) {
      if (!Coordinates(line.getX(i), line.getY(i))) return false;
    }
    return true;
  }
  bool Polygon(const OGRPolygon& polygon) {
    const OGRLinearRing* exterior = polygon.getExteriorRing();
    if (exterior == nullptr) {
      PutVarint(out, 0);
      return true;
    }
    PutVarint(out, static_cast<uint64_t>(polygon.getNumInteriorRings()) + 1);
    if (!Line(*exterior)) return false;
    for (int i = 0; i < polygon.getNumInteriorRings(); ++i) {
      if (!Line(*polygon.getInteriorRing(i))) return false;
    }
    return true;
  }
  bool Parts(const OGRGeometryCollection& parts, OGRwkbGeometryType partType) {
    PutVarint(out, static_cast<uint64_t>(parts.getNumGeometries()));
    for (int i = 0; i < parts.getNumGeometries(); ++i) {
      const OGRGeometry& part = *parts.getGeometryRef(i);
      if (part.getGeometryType() != partType) return false;
      const bool ok = partType == wkbPoint        ? Point(*part.toPoint())
                      : partType == wkbLineString ? Line(*part.toLineString())
                                                  : Polygon(*part.toPolygon());
      if (!ok) return false;
    }
    return true;
  }

  std::vector<uint8_t>* out;
  int64_t lastX = 0, lastY = 0;
};

// Reads the integer form back into the geometry it was written from.
class IntegerReader {
 public:
  explicit IntegerReader(SpillCursor* in) : in(in) {}

  std::unique_ptr<OGRGeometry> Geometry() {
    uint8_t kind = 0;
    if (!in->Get(&kind)) return nullptr;
    switch (kind) {
      case KIND_POINT:
        return Point();
      case KIND_LINE:
        return Line<OGRLineString>();
      case KIND_POLYGON:
        return Polygon();
      case KIND_MULTIPOINT:
        return Parts<OGRMultiPoint>([this]() { return Point(); });
      case KIND_MULTILINE:
        return Parts<OGRMultiLineString>([this]() { return Line<OGRLineString>(); });
      case KIND_MULTIPOLYGON:
        return Parts<OGRMultiPolygon>([this]() { return Polygon(); });
      default:
        return nullptr;
    }
  }

 private:
  bool Coordinates(double* x, double* y) {
    int64_t dx = 0, dy = 0;
    if (!in->GetSignedVarint(&dx) || !in->GetSignedVarint(&dy) ||
        !AddWithin(&lastX, dx, -INTEGER_LIMIT, INTEGER_LIMIT) ||
        !AddWithin(&lastY, dy, -INTEGER_LIMIT, INTEGER_LIMIT)) {
      return false;
    }
    *x = static_cast<double>(lastX);
    *y = static_cast<double>(lastY);
    return true;
  }
  std::unique_ptr<OGRGeometry> Point() {
    double x = 0, y = 0;
    if (!Coordinates(&x, &y)) return nullptr;
    return std::make_unique<OGRPoint>(x, y);
  }
  template <typename LineType>
  std::unique_ptr<LineType> Line() {
    uint32_t count = 0;
    // Each point takes at least two bytes.
    if (!in->GetCount(&count, 2)) return nullptr;
    xs.resize(count);
    ys.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
      if (!Coordinates(&xs[i], &ys[i])) return nullptr;
    }
    auto line = std::make_unique<LineType>();
    line->setPoints(static_cast<int>(count), xs.data(), ys.data());
    return line;
  }
  std::unique_ptr<OGRGeometry> Polygon() {
    uint32_t rings = 0;
    if (!in->GetCount(&rings, 1)) return nullptr;
    auto polygon = std::make_unique<OGRPolygon>();
    for (uint32_t i = 0; i < rings; ++i) {
      std::unique_ptr<OGRLinearRing> ring = Line<OGRLinearRing>();
      if (!ring) return nullptr;
      polygon->addRingDirectly(ring.release());
    }
    return polygon;
  }
  template <typename Collection, typename ReadPart>
  std::unique_ptr<OGRGeometry> Parts(const ReadPart& readPart) {
    uint32_t count = 0;
    if (!in->GetCount(&count, 1)) return nullptr;
    auto parts = std::make_unique<Collection>();
    for (uint32_t i = 0; i < count; ++i) {
      std::unique_ptr<OGRGeometry> part = readPart();
      if (!part) return nullptr;
      parts->addGeometryDirectly(part.release());
    }
    return parts;
  }

  SpillCursor* in;
  int64_t lastX = 0, lastY = 0;
  std::vector<double> xs, ys;
};

// The body of a record: flags, rank, text and geometry.
void PutBody(const SourceFeature& feature, std::vector<uint8_t>* body) {
  body->assign(1, 0);
  uint8_t flags = 0;
  uint64_t rankBits = 0;
  std::memcpy(&rankBits, &feature.rank, sizeof rankBits);
  if (rankBits != 0) {
    flags |= FLAG_RANK;
    PutFixed(body, feature.rank);
  }
  PutVarint(body, feature.text.size());
  body->insert(body->end(), feature.text.begin(), feature.text.end());
  const size_t geometryAt = body->size();
  if (IntegerWriter(body).Geometry(*feature.geometry)) {
    flags |= FLAG_INTEGER_GEOMETRY;
  } else {
    body->resize(geometryAt + feature.geometry->WkbSize());
    feature.geometry->exportToWkb(wkbNDR, body->data() + geometryAt, wkbVariantIso);
  }
  (*body)[0] = flags;
}

bool GetBody(const uint8_t* data, size_t size, SourceFeature* feature) {
  SpillCursor in(data, size);
  uint8_t flags = 0;
  uint64_t textBytes = 0;
  const uint8_t* text = nullptr;
  feature->rank = 0;
  if (!in.Get(&flags) || (flags & ~(FLAG_INTEGER_GEOMETRY | FLAG_RANK)) != 0 ||
      ((flags & FLAG_RANK) != 0 && !in.Get(&feature->rank)) || !in.GetVarint(&textBytes) ||
      !in.GetBytes(textBytes, &text)) {
    return false;
  }
  feature->text.assign(reinterpret_cast<const char*>(text), textBytes);
  if ((flags & FLAG_INTEGER_GEOMETRY) != 0) {
    feature->geometry = IntegerReader(&in).Geometry();
    return feature->geometry != nullptr && in.Done();
  }
  const uint8_t* wkb = nullptr;
  const size_t wkbBytes = in.Left();
  OGRGeometry* geometry = nullptr;
  if (!in.GetBytes(wkbBytes, &wkb) ||
      OGRGeometryFactory::createFromWkb(wkb, nullptr, &geometry, wkbBytes) != OGRERR_NONE) {
    return false;
  }
  feature->geometry.reset(geometry);
  return true;
}

// One level file being read: its next record's head.
struct Reader {
  SpillFile file;
  uint64_t sequence = 0;
  uint64_t source = 0;
  uint64_t rule = 0;
  uint64_t bodyBytes = 0;
  bool atEnd = false;

  // Reads the next head; false when the file is damaged or cannot be read.
  bool Advance() {
    uint64_t delta = 0;
    const int first = file.ReadVarint(&delta);
    if (first == 0 && file.Position() == file.Size()) {
      atEnd = true;
      return true;
    }
    if (first != 1 || file.ReadVarint(&source) != 1 || file.ReadVarint(&rule) != 1 ||
        file.ReadVarint(&bodyBytes) != 1 || bodyBytes > file.Size() - std::min(file.Size(), file.Position())) {
      return false;
    }
    sequence += delta;
    return true;
  }
};

}  // namespace

FeatureSpill::~FeatureSpill() {
  if (prefix.empty()) return;
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    files[level].Close();
    std::remove(Path(level).c_str());
  }
}

std::string FeatureSpill::Path(int levelIndex) const { return prefix + "." + std::to_string(levelIndex); }

int FeatureSpill::Open(const std::string& filePrefix, std::string* error) {
  prefix = filePrefix;
  for (int level = 0; level < STANDARD_LEVEL_COUNT; ++level) {
    if (files[level].Open(Path(level), "wb", WRITE_BUFFER_BYTES, error) != 0) return -1;
  }
  return 0;
}

int FeatureSpill::Add(int source, const RecipeRule& rule, const SourceFeature& feature, std::string* error) {
  PutBody(feature, &body);
  const int level = rule.lastLevel;
  record.clear();
  PutVarint(&record, sequence - lastSequence[level]);
  PutVarint(&record, static_cast<uint64_t>(source));
  PutVarint(&record, static_cast<uint64_t>(feature.rule));
  PutVarint(&record, body.size());
  lastSequence[level] = sequence++;
  FILE* file = files[level].File();
  if (std::fwrite(record.data(), 1, record.size(), file) != record.size() ||
      std::fwrite(body.data(), 1, body.size(), file) != body.size()) {
    *error = "cannot write the temporary file " + Path(level) + ": " + std::strerror(errno);
    return -1;
  }
  fileBytes[level] += record.size() + body.size();
  bytes += record.size() + body.size();
  sources = std::max(sources, static_cast<uint64_t>(source) + 1);
  rules = std::max(rules, static_cast<uint64_t>(feature.rule) + 1);
  ++ranges[rule.firstLevel][level];
  return 0;
}

int FeatureSpill::Close(std::string* error) {
  bool ok = true;
  for (SpillFile& file : files) ok = file.Close() && ok;
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

int FeatureSpill::Read(int levelIndex, const Wanted& wanted, const Visit& visit, std::string* error,
                       uint64_t firstSequence) const {
  std::vector<std::unique_ptr<Reader>> readers;
  for (int last = levelIndex; last < STANDARD_LEVEL_COUNT; ++last) {
    auto reader = std::make_unique<Reader>();
    if (reader->file.Open(Path(last), "rb", READ_BUFFER_BYTES, error) != 0) return -1;
    // A file of another size than was written has been cut or added to.
    if (reader->file.Size() != fileBytes[last] || !reader->Advance()) return Damaged(last, error);
    readers.push_back(std::move(reader));
  }
  std::vector<uint8_t> body;
  SpilledFeature spilled;
  for (;;) {
    Reader* next = nullptr;
    int nextLevel = 0;
    for (size_t r = 0; r < readers.size(); ++r) {
      Reader* reader = readers[r].get();
      if (!reader->atEnd && (next == nullptr || reader->sequence < next->sequence)) {
        next = reader;
        nextLevel = levelIndex + static_cast<int>(r);
      }
    }
    if (next == nullptr) return 0;
    if (next->source >= sources || next->rule >= rules) return Damaged(nextLevel, error);
    const int source = static_cast<int>(next->source), rule = static_cast<int>(next->rule);
    const uint64_t sequence = firstSequence + next->sequence;
    if (!wanted(sequence, source, rule)) {
      if (!next->file.Skip(next->bodyBytes)) return Damaged(nextLevel, error);
    } else {
      body.resize(next->bodyBytes);
      if (!next->file.Read(body.data(), body.size()) || !GetBody(body.data(), body.size(), &spilled.feature)) {
        return Damaged(nextLevel, error);
      }
      spilled.sequence = sequence;
      spilled.source = source;
      spilled.feature.rule = rule;
      if (visit(spilled) != 0) return -1;
    }
    if (!next->Advance()) return Damaged(nextLevel, error);
  }
}

int FeatureSpill::Damaged(int levelIndex, std::string* error) const {
  *error = "the temporary file " + Path(levelIndex) + " is damaged or cannot be read";
  return -1;
}

SourceSpills::SourceSpills(std::string prefix, int sources)
    : prefix(std::move(prefix)), spills(static_cast<size_t>(std::max(sources, 0))) {}

FeatureSpill* SourceSpills::Open(int source, std::string* error) {
  std::unique_ptr<FeatureSpill>& spill = spills[static_cast<size_t>(source)];
  spill = std::make_unique<FeatureSpill>();
  if (spill->Open(prefix + "-" + std::to_string(source), error) != 0) return nullptr;
  return spill.get();
}

int SourceSpills::Read(int levelIndex, const FeatureSpill::Wanted& wanted, const FeatureSpill::Visit& visit,
                       std::string* error) const {
  uint64_t firstSequence = 0;
  for (const std::unique_ptr<FeatureSpill>& spill : spills) {
    if (spill == nullptr) continue;
    if (spill->Read(levelIndex, wanted, visit, error, firstSequence) != 0) return -1;
    firstSequence += static_cast<uint64_t>(spill->Count());
  }
  return 0;
}

int64_t SourceSpills::CountAt(int levelIndex) const {
  int64_t count = 0;
  for (const std::unique_ptr<FeatureSpill>& spill : spills) count += spill != nullptr ? spill->CountAt(levelIndex) : 0;
  return count;
}

uint64_t SourceSpills::Bytes() const {
  uint64_t bytes = 0;
  for (const std::unique_ptr<FeatureSpill>& spill : spills) bytes += spill != nullptr ? spill->Bytes() : 0;
  return bytes;
}
