#include "tools/mapbuild/encode_stage.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "tools/mapbuild/parcel_cutter.h"
#include "tools/mapbuild/parcel_pieces.h"
#include "tools/mapwriter/map_writer.h"

namespace {

// A parcel's data areas: one for a whole parcel, else one per piece
// (empty: a piece without data).
using DataAreas = std::vector<std::optional<ParcelData>>;

void AddReport(const EncodeReport& from, EncodeReport* to) {
  to->droppedItems += from.droppedItems;
  to->droppedLinks += from.droppedLinks;
  to->droppedNames += from.droppedNames;
  to->failedParcels += from.failedParcels;
  to->failures.insert(to->failures.end(), from.failures.begin(), from.failures.end());
}

bool Empty(const ParcelData& data) { return data.road.empty() && data.background.empty() && data.names.empty(); }

// The content whole, when it fits one data area without leaving anything out.
bool EncodeWhole(const ParcelContent& content, DataAreas* areas) {
  EncodeReport whole;
  areas->assign(1, ParcelData());
  return EncodeParcelContent(content, &*(*areas)[0], &whole) == 0 && DroppedForSize(whole) == 0;
}

// The content divided into the pieces of split kind `kind`, each encoded;
// returns what did not fit.
EncodeReport EncodePieces(const ParcelContent& content, int kind, DataAreas* areas) {
  EncodeReport pieces;
  const std::vector<ParcelContent> divided = DivideParcelContent(content, PIECE_GRIDS[kind - 1]);
  areas->assign(divided.size(), std::nullopt);
  for (size_t p = 0; p < divided.size(); ++p) {
    ParcelData piece;
    if (EncodeParcelContent(divided[p], &piece, &pieces) == 0 && !Empty(piece)) (*areas)[p] = std::move(piece);
  }
  return pieces;
}

// The content divided into pieces on the first grid at which every piece
// fits, else on the finest grid; returns what did not fit.
EncodeReport EncodeDivided(const ParcelContent& content, StoredParcel* stored, DataAreas* areas) {
  EncodeReport pieces;
  for (int kind = 1; kind <= SPLIT_KINDS; ++kind) {
    pieces = EncodePieces(content, kind, areas);
    stored->splitKind = static_cast<uint8_t>(kind);
    stored->side = PIECE_GRIDS[kind - 1];
    if (DroppedForSize(pieces) == 0) break;
  }
  return pieces;
}

// A hot spot's content in order of importance, so that what the encoders
// leave out for want of room is the least important: road links by class
// (main roads first, the minor streets last), background items by drawing
// slot (the base areas first); names are written by group and priority
// already. Ties keep the order in which they came.
ParcelContent ByImportance(ParcelContent content) {
  std::stable_sort(content.roads.begin(), content.roads.end(),
                   [](const RoadLink& a, const RoadLink& b) { return a.roadClass < b.roadClass; });
  std::stable_sort(content.background.begin(), content.background.end(),
                   [](const BackgroundItem& a, const BackgroundItem& b) { return a.order < b.order; });
  return content;
}

// Appends a parcel's data areas to the level's data file.
class AreaWriter {
 public:
  AreaWriter(uint16_t blockSize, FILE* file, LevelData* data) : blockSize(blockSize), file(file), data(data) {}

  int Append(const DataAreas& areas, std::string* error) {
    for (const std::optional<ParcelData>& area : areas) {
      if (!area) {
        data->areaBytes.push_back(0);
        continue;
      }
      if (EncodeDataArea(*area, blockSize, &bytes, error) != 0) return -1;
      if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        *error = "cannot write the temporary file " + data->dataPath + ": " + std::strerror(errno);
        return -1;
      }
      data->dataBytes += bytes.size();
      data->areaBytes.push_back(static_cast<uint32_t>(bytes.size()));
    }
    return 0;
  }

 private:
  uint16_t blockSize;
  FILE* file;
  LevelData* data;
  std::vector<uint8_t> bytes;
};

// Encodes one parcel, whole or divided, and appends it; an empty whole
// parcel is no parcel.
int StoreParcel(uint64_t key, const ParcelContent& content, AreaWriter* writer, LevelData* data, DataAreas* areas,
                std::string* error) {
  StoredParcel stored{static_cast<uint32_t>(key >> 32), static_cast<uint32_t>(key & 0xFFFFFFFF), 0, 0};
  if (EncodeWhole(content, areas)) {
    if (Empty(*(*areas)[0])) return 0;
  } else {
    EncodeReport left = EncodeDivided(content, &stored, areas);
    // Even the finest grid overflowed: keep the most important content.
    if (DroppedForSize(left) > 0) {
      left = EncodePieces(ByImportance(content), SPLIT_KINDS, areas);
      data->hotSpots.push_back({stored.row, stored.column, left.droppedItems, left.droppedLinks, left.droppedNames,
                                left.failedParcels});
    }
    AddReport(left, &data->report);
    ++data->divided;
  }
  if (writer->Append(*areas, error) != 0) return -1;
  data->parcels.push_back(stored);
  return 0;
}

// Every parcel of the spill in turn.
int StoreParcels(const BuildContext& context, ParcelSpill* spill, AreaWriter* writer, LevelData* data,
                 std::string* error) {
  uint64_t key = 0;
  ParcelContent content;
  DataAreas areas;
  int status = 0;
  while ((status = spill->Next(&key, &content, error)) == 1) {
    data->mergedNames += MergeRepeatedAlongNames(&content);
    if (StoreParcel(key, content, writer, data, &areas, error) != 0) return -1;
    if (context.Stopped()) {
      *error = INTERRUPTED;
      return -1;
    }
  }
  return status;
}

}  // namespace

int64_t DroppedForSize(const EncodeReport& report) {
  return int64_t{report.droppedItems} + report.droppedLinks + report.droppedNames + report.failedParcels;
}

int EncodeLevel(const BuildContext& context, uint16_t blockSize, ParcelSpill* spill, LevelData* data,
                std::string* error) {
  FILE* file = std::fopen(data->dataPath.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot create the temporary file " + data->dataPath;
    return -1;
  }
  AreaWriter writer(blockSize, file, data);
  const int status = StoreParcels(context, spill, &writer, data, error);
  const bool closed = std::fclose(file) == 0;
  if (status != 0) return -1;
  if (!closed) {
    *error = "cannot write the temporary file " + data->dataPath + ": " + std::strerror(errno);
    return -1;
  }
  return 0;
}
