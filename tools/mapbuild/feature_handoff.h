// A link of the feature chain that hands the features over to a thread of
// its own, in batches, where they go on to the next link in the order they
// came. The reader (decoding, matching, making geometry) and the rest of the
// chain (filters, the spill's encoding and writing, freeing the geometry)
// then run on two cores. At most a few batches wait, so memory stays
// bounded however fast the reader is.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/mapbuild/source_reader.h"

class FeatureHandOff {
 public:
  // Starts the thread that passes the features on to `next`.
  explicit FeatureHandOff(FeatureSink next);
  // Finishes, if not done yet.
  ~FeatureHandOff();
  FeatureHandOff(const FeatureHandOff&) = delete;
  FeatureHandOff& operator=(const FeatureHandOff&) = delete;

  // The link for the reader. It returns -1 once `next` has failed (which
  // has set its own error); the features taken after that are dropped.
  FeatureSink Sink();

  // Passes on what is held and waits for the thread. Returns 0, or -1 when
  // `next` failed.
  int Finish();

  static constexpr size_t BATCH_FEATURES = 256;
  static constexpr size_t WAITING_BATCHES = 8;

 private:
  int Take(SourceFeature&& feature);
  int Hand(std::vector<SourceFeature>&& full);
  void Run();

  FeatureSink next;
  std::vector<SourceFeature> batch;  // the reader's, not yet handed over
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::vector<SourceFeature>> waiting;
  bool finishing = false;
  std::atomic<bool> failed{false};
  std::thread thread;
};
