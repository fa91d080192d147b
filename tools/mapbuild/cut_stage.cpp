#include "tools/mapbuild/cut_stage.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace {

// Pieces of the filling pass come after all pieces of the pass that makes parcels.
constexpr uint64_t FILLING_PASS_ORDER = uint64_t{1} << 62;
// Features a worker cuts between two updates of the meter and looks at the stop flag.
constexpr int64_t PROGRESS_FEATURES = 1024;
// A single feature's parcels between two progress lines.
constexpr int64_t PROGRESS_FEATURE_PARCELS = int64_t{1} << 20;
constexpr size_t MAX_CUT_EXAMPLES = 5;

// What the workers of one level share.
struct LevelJob {
  const BuildContext& context;
  const SourceSpills& features;
  const LevelGrid& grid;
  ParcelSpill* spill;
  int parts;
};

// One worker's share of one pass.
struct PartCut {
  int part = 0;
  bool creating = false;   // the pass of the rules that make parcels
  ParcelKeys* keys = nullptr;  // creating: the parcels it made; filling: all parcels
  CutReport report;
  int64_t features = 0;
  int64_t sinceUpdate = 0;  // features since the meter was last updated
  std::string error;
};

bool InRange(int level, int first, int last) { return level >= first && level <= last; }

// The features of this worker's share whose rules reach the level in this pass.
bool Wanted(const LevelJob& job, const PartCut& worker, uint64_t sequence, int source, int rule) {
  const RecipeRule& r = job.context.recipe.sources[source].rules[rule];
  const int level = job.grid.levelIndex;
  return sequence % static_cast<uint64_t>(job.parts) == static_cast<uint64_t>(worker.part) &&
         InRange(level, r.firstLevel, r.lastLevel) && InRange(level, r.firstCreating, r.lastCreating) == worker.creating;
}

int Interrupted(PartCut* worker) {
  worker->error = INTERRUPTED;
  return -1;
}

// Hands the pieces cut so far of one feature to the spill. Each parcel gets
// one piece of a feature, so pieces handed on before the feature is cut
// through share its sequence safely. A feature filling very many parcels
// says how far it has got.
int StorePieces(const LevelJob& job, PartCut* worker, uint64_t order, int64_t* handedOn, LevelParcels* cut) {
  for (const auto& [key, content] : *cut) {
    if (job.spill->Add(worker->part, key, order, content, &worker->error) != 0) return -1;
  }
  const int64_t now = *handedOn + static_cast<int64_t>(cut->size());
  if (*handedOn / PROGRESS_FEATURE_PARCELS != now / PROGRESS_FEATURE_PARCELS) {
    job.context.Line("level " + std::to_string(job.grid.levelCode) + ": one feature in " + std::to_string(now) +
                     " parcels so far");
  }
  *handedOn = now;
  cut->clear();
  return job.context.Stopped() ? Interrupted(worker) : 0;
}

// Counts one feature cut; now and then updates the meter and looks at the stop flag.
int CountFeature(const LevelJob& job, PartCut* worker) {
  ++worker->features;
  if (++worker->sinceUpdate < PROGRESS_FEATURES) return 0;
  if (job.context.Meter() != nullptr) job.context.Meter()->Add(static_cast<uint64_t>(worker->sinceUpdate));
  worker->sinceUpdate = 0;
  return job.context.Stopped() ? Interrupted(worker) : 0;
}

int CutOneFeature(const LevelJob& job, PartCut* worker, const SpilledFeature& spilled, LevelParcels* pieces) {
  const RecipeRule& rule = job.context.recipe.sources[spilled.source].rules[spilled.feature.rule];
  const uint64_t order = (worker->creating ? 0 : FILLING_PASS_ORDER) + spilled.sequence;
  int64_t handedOn = 0;
  const PiecesSink store = [&](LevelParcels* cut) { return StorePieces(job, worker, order, &handedOn, cut); };
  pieces->clear();
  if (CutFeature(job.grid, rule, spilled.feature, worker->creating, worker->keys, pieces, &worker->report, &store,
                 job.context.options.stop) != 0 ||
      store(pieces) != 0) {
    return job.context.Stopped() ? Interrupted(worker) : -1;
  }
  return CountFeature(job, worker);
}

// One worker's share of one pass.
int CutPart(const LevelJob& job, PartCut* worker) {
  LevelParcels pieces;
  const auto wanted = [&](uint64_t sequence, int source, int rule) {
    return Wanted(job, *worker, sequence, source, rule);
  };
  const auto visit = [&](const SpilledFeature& spilled) { return CutOneFeature(job, worker, spilled, &pieces); };
  const int status = job.features.Read(job.grid.levelIndex, wanted, visit, &worker->error);
  if (job.context.Meter() != nullptr) job.context.Meter()->Add(static_cast<uint64_t>(worker->sinceUpdate));
  worker->sinceUpdate = 0;
  return status;
}

// One pass by all workers at once, this thread being the first.
int RunPass(const LevelJob& job, std::vector<PartCut>* workers, std::string* error) {
  std::vector<int> status(workers->size(), 0);
  std::vector<std::thread> threads;
  for (size_t part = 1; part < workers->size(); ++part) {
    threads.emplace_back([&, part]() { status[part] = CutPart(job, &(*workers)[part]); });
  }
  status[0] = CutPart(job, &(*workers)[0]);
  for (std::thread& thread : threads) thread.join();
  for (size_t part = 0; part < workers->size(); ++part) {
    if (status[part] == 0) continue;
    *error = (*workers)[part].error;
    return -1;
  }
  return 0;
}

void AddCut(const PartCut& from, LevelCut* to) {
  CutReport& report = to->report;
  report.belowPixel += from.report.belowPixel;
  report.noParcel += from.report.noParcel;
  report.outsideMap += from.report.outsideMap;
  report.cutNames += from.report.cutNames;
  report.noRoom += from.report.noRoom;
  report.splitAreas += from.report.splitAreas;
  report.tooComplex += from.report.tooComplex;
  for (const std::string& example : from.report.cutExamples) {
    if (report.cutExamples.size() < MAX_CUT_EXAMPLES) report.cutExamples.push_back(example);
  }
  to->features += from.features;
}

}  // namespace

LevelGrid GridOfLevel(const MapDescription& map, int levelIndex) {
  const StandardLevel& standard = STANDARD_LEVELS[levelIndex];
  const MapLevelDescription& level = map.levels[levelIndex];
  LevelGrid grid;
  grid.levelIndex = levelIndex;
  grid.levelCode = standard.levelCode;
  grid.west = map.extent.x0;
  grid.south = map.extent.y0;
  grid.columns = level.ParcelGridColumns();
  grid.rows = level.ParcelGridRows();
  grid.parcelWidth = static_cast<int32_t>((int64_t{map.extent.x1} - map.extent.x0) / grid.columns);
  grid.parcelHeight = static_cast<int32_t>((int64_t{map.extent.y1} - map.extent.y0) / grid.rows);
  grid.firstStep = standard.firstStep;
  grid.lastStep = standard.lastStep;
  grid.pixelUnits = SCALE_STEPS[standard.firstStep].unitsPerPixelX;
  return grid;
}

int CutWorkers(const BuildOptions& options) { return std::clamp(options.workers, 1, MAX_WORKERS); }

int CutLevel(const BuildContext& context, const SourceSpills& features, const LevelGrid& grid, ParcelSpill* spill,
             LevelCut* cut, std::string* error) {
  const LevelJob job{context, features, grid, spill, CutWorkers(context.options)};
  const size_t parts = static_cast<size_t>(job.parts);
  std::vector<ParcelKeys> made(parts, ParcelKeys(grid));
  ParcelKeys existing(grid);
  std::vector<PartCut> workers(parts);
  for (const bool creating : {true, false}) {
    for (size_t part = 0; part < parts; ++part) {
      workers[part].part = static_cast<int>(part);
      workers[part].creating = creating;
      workers[part].keys = creating ? &made[part] : &existing;
    }
    if (RunPass(job, &workers, error) != 0) return -1;
    if (!creating) continue;
    for (ParcelKeys& keys : made) {
      existing.Merge(keys);
      keys = ParcelKeys();
    }
  }
  for (const PartCut& worker : workers) AddCut(worker, cut);
  if (spill->Finish(error) != 0) return -1;
  cut->spilledBytes = spill->SpilledBytes();
  cut->runs = spill->Runs();
  return 0;
}
