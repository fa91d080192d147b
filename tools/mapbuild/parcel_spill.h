// The parcel buckets of one level: the pieces the cutters make, keyed by
// parcel and numbered by the order in which they belong in it, held in
// memory up to a bucket size, then sorted by parcel and spilled to a run
// file in the temporary folder. Several cutters may fill one spill at once,
// each through its own part. Reading merges the runs and hands out one
// parcel at a time with its pieces in their order, so a level's memory is
// bounded by the bucket size whatever the input's size, and the result does
// not depend on the bucket size or on how the work was shared.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <queue>
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
  // Runs are named `prefix`.N; a part writes one once it holds
  // `bucketBytes` of pieces.
  ParcelSpill(std::string prefix, size_t bucketBytes, int parts = 1);
  ~ParcelSpill();
  ParcelSpill(const ParcelSpill&) = delete;
  ParcelSpill& operator=(const ParcelSpill&) = delete;

  // Adds one piece of the parcel `key` through `part` (one thread per part);
  // `sequence` orders the pieces of a parcel and is unique within it.
  // Returns 0, or -1 with *error when a run cannot be written.
  int Add(int part, uint64_t key, uint64_t sequence, const ParcelContent& piece, std::string* error);
  // Spills what is held; after it, only reading is allowed.
  int Finish(std::string* error);
  // The next parcel in key order with all its pieces appended in cut order.
  // Returns 1 with *key and *content set, 0 at the end, -1 on a read error.
  int Next(uint64_t* key, ParcelContent* content, std::string* error);

  uint64_t SpilledBytes() const { return spilledBytes; }
  // Runs written by the parts (before any were merged).
  int Runs() const { return runsWritten; }

 private:
  struct Piece {
    uint64_t key;
    uint64_t sequence;
    uint32_t offset;
    uint32_t size;
  };
  struct Run;
  struct Part {
    std::vector<uint8_t> held;
    std::vector<Piece> pieces;
  };
  // Runs by (key, sequence) of their next record, smallest first.
  using HeapEntry = std::pair<std::pair<uint64_t, uint64_t>, size_t>;
  using Heap = std::priority_queue<HeapEntry, std::vector<HeapEntry>, std::greater<HeapEntry>>;
  static constexpr size_t MAX_OPEN_RUNS = 64;

  int WriteRun(Part* part, std::string* error);
  int OpenRuns(size_t first, size_t last, std::string* error);
  int MergeOldestRuns(std::string* error);
  // Reads the run's next record and queues the run, or closes and removes it at its end.
  int Advance(size_t run, std::string* error);

  std::string prefix;
  size_t bucketBytes;
  std::vector<Part> parts;
  std::mutex runsMutex;
  std::vector<std::unique_ptr<Run>> runs;
  uint64_t spilledBytes = 0;
  Heap heap;
  int merges = 0;
  int runsWritten = 0;
};
