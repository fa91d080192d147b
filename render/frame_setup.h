// Setting a frame up over the map: the parcel lists of a view, and the
// decoded parcels a frame holds while its passes run, each acquired once.
// The renderer and the pass benchmarks build their frames through these.
#pragma once

#include "mapdata/map_owner.h"
#include "mapdata/parcel_list.h"
#include "render/draw_kit.h"
#include "render/frame.h"
#include "render/frame_view.h"

// The parcel lists of `view` of `map`: roads and names from the step's
// road level, background areas from its area level. The finest level is
// used only where its list is complete and its parcels cover all four
// corners of the loaded area; otherwise the base level is asked instead. Frees what *roads and *areas
// held first (null accepted); a list that cannot be built is null. Free the
// lists with FreeParcelList.
void SelectViewParcels(const MapDataOwner* map, const FrameView& view, ParcelList** roads, ParcelList** areas);

// Sets `frame` up to draw `view` of `map` into `kit` from the two parcel
// lists (the caller's; they must outlive the frame): the parcel index's
// entries of the step's levels, and the decoded parcels of the kinds the
// frame's passes will draw, each acquired once from the map's pools and
// held until ReleaseFrame. A frame with a null list holds no parcels (it
// draws no map). The track and the abort count are left to the caller.
void HoldFrame(MapDataOwner* map, const FrameView& view, const ParcelList* roadParcels,
               const ParcelList* areaParcels, DrawKit* kit, Frame* frame);

// Gives every parcel the frame holds back to the pools of `map` and clears
// its slots.
void ReleaseFrame(MapDataOwner* map, Frame* frame);
