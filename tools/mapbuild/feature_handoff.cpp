#include "tools/mapbuild/feature_handoff.h"

#include <utility>

FeatureHandOff::FeatureHandOff(FeatureSink next) : next(std::move(next)) {
  batch.reserve(BATCH_FEATURES);
  thread = std::thread([this]() { Run(); });
}

FeatureHandOff::~FeatureHandOff() { Finish(); }

FeatureSink FeatureHandOff::Sink() {
  return [this](SourceFeature&& feature) { return Take(std::move(feature)); };
}

int FeatureHandOff::Take(SourceFeature&& feature) {
  if (failed.load()) return -1;
  batch.push_back(std::move(feature));
  if (batch.size() < BATCH_FEATURES) return 0;
  std::vector<SourceFeature> full;
  full.reserve(BATCH_FEATURES);
  std::swap(full, batch);
  return Hand(std::move(full));
}

int FeatureHandOff::Hand(std::vector<SourceFeature>&& full) {
  std::unique_lock<std::mutex> lock(mutex);
  changed.wait(lock, [this]() { return waiting.size() < WAITING_BATCHES || failed.load(); });
  if (failed.load()) return -1;
  waiting.push_back(std::move(full));
  changed.notify_all();
  return 0;
}

int FeatureHandOff::Finish() {
  if (!thread.joinable()) return failed.load() ? -1 : 0;
  if (!batch.empty()) Hand(std::move(batch));
  batch.clear();
  {
    std::lock_guard<std::mutex> lock(mutex);
    finishing = true;
  }
  changed.notify_all();
  thread.join();
  return failed.load() ? -1 : 0;
}

void FeatureHandOff::Run() {
  for (;;) {
    std::vector<SourceFeature> features;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [this]() { return !waiting.empty() || finishing; });
      if (waiting.empty()) return;
      features = std::move(waiting.front());
      waiting.pop_front();
    }
    changed.notify_all();
    for (SourceFeature& feature : features) {
      if (next(std::move(feature)) == 0) continue;
      std::lock_guard<std::mutex> lock(mutex);
      failed.store(true);
      waiting.clear();
      changed.notify_all();
      return;
    }
  }
}
