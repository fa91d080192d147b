// Cuts one feature into the parcels of one level: generalised for the
// level (generalise.h), distributed over the parcels it touches by halving
// their range (parcel_distribute.h; areas stay closed rings, lines are cut
// where they cross a parcel edge and continue in the next parcel), and
// stored in parcel-local units by its rule kind's emitter
// (parcel_emitters.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "tools/mapbuild/generalise.h"
#include "tools/mapbuild/parcel_emitters.h"
#include "tools/mapbuild/parcel_grid.h"
#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/source_reader.h"

// Cuts `feature` (matched by `rule`) into the parcels of `grid` and adds
// the pieces to `pieces`, one content per parcel touched. With `creating`
// the parcels are made (their keys go into `existing`); without, pieces go
// only into parcels already in `existing`, and whole regions without
// parcels are skipped before any clipping. A feature touching many parcels
// hands its pieces to `sink` (when given) as they grow, so that its memory
// does not grow with its parcels. Returns 0, or -1 when the sink failed or
// `stop` was set (checked inside the long loops over one feature).
int CutFeature(const LevelGrid& grid, const RecipeRule& rule, const SourceFeature& feature, bool creating,
               ParcelKeys* existing, LevelParcels* pieces, CutReport* report, const PiecesSink* sink = nullptr,
               const std::atomic<bool>* stop = nullptr);
