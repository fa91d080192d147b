// The parcel buckets of one level: the pieces the cutter makes, keyed by
// parcel, held in memory up to a bucket size, then sorted by parcel and
// spilled to a run file in the temporary folder. Reading merges the runs
// and hands out one parcel at a time with its pieces in the order they
// were cut, so a level's memory is bounded by the bucket size whatever the
// input's size, and the result does not depend on the bucket size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/mapbuild/parcel_content.h"

// Appends `content` to `bytes` in the spill's binary form.
void SerializeParcelContent(const ParcelContent& content, std::vector<uint8_t>* bytes);
// Appends the content serialized at [data, data + size) to `content`
// (roads, items and names after those already there). False when malformed.
bool AppendSerializedContent(const uint8_t* data, size_t size, ParcelContent* content);

class ParcelSpill {
 public:
  // Runs are named `prefix`.N; each is written once `bucketBytes` of pieces
  // are held.
  ParcelSpill(std::string prefix, size_t bucketBytes);
  ~ParcelSpill();
  ParcelSpill(const ParcelSpill&) = delete;
  ParcelSpill& operator=(const ParcelSpill&) = delete;

  // Adds one piece of the parcel `key`. Returns 0, or -1 with *error when a
  // run cannot be written.
  int Add(uint64_t key, const ParcelContent& piece, std::string* error);
  // Spills what is held; after it, only reading is allowed.
  int Finish(std::string* error);
  // The next parcel in key order with all its pieces appended in cut order.
  // Returns 1 with *key and *content set, 0 at the end, -1 on a read error.
  int Next(uint64_t* key, ParcelContent* content, std::string* error);

  uint64_t SpilledBytes() const { return spilledBytes; }
  int Runs() const { return static_cast<int>(runs.size()); }

 private:
  struct Piece {
    uint64_t key;
    uint64_t sequence;
    uint32_t offset;
    uint32_t size;
  };
  struct Run;
  int WriteRun(std::string* error);
  int Advance(size_t run, std::string* error);

  std::string prefix;
  size_t bucketBytes;
  uint64_t sequence = 0;
  std::vector<uint8_t> held;
  std::vector<Piece> pieces;
  std::vector<std::unique_ptr<Run>> runs;
  uint64_t spilledBytes = 0;
};
