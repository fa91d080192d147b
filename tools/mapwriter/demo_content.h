// Synthetic parcel content for the demonstration map: in every parcel a
// few roads of different classes on a regular street grid that continues
// across parcel edges, a park, a river and a railway line, a place name
// and a road name along the main street. Plausible enough to exercise the
// decoders and the drawing passes; not real geography.
#pragma once

#include <cstdint>

#include "tools/mapwriter/map_writer.h"

// The content of the parcel at (row, column) of level `levelIndex` of a
// standard map (AddStandardLevels). The same arguments always give the same
// bytes.
ParcelData DemoParcelContent(int levelIndex, uint32_t row, uint32_t column);

// DemoParcelContent as a ParcelFiller for CoverBox and DescribeDemoMap.
ParcelFiller DemoContentFiller();
