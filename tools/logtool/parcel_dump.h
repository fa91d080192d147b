// The text form of a decoded parcel, shared by "tevo-logtool dump" and the
// tests that read every decoded value of damaged maps.
#pragma once

#include <cstdint>
#include <cstdio>

#include "mapdata/background_records.h"
#include "mapdata/name_records.h"
#include "mapdata/parcel_list.h"
#include "mapdata/road_records.h"

// Writes to `out` the "parcel" line of `entry` (of the level with
// `levelCode`) and, below it, "unreadable" when its data cannot be read,
// else its roads, background and names as decoded (a kind that is absent or
// cannot be decoded as "null"). Each kind is acquired from the loaded map
// database and released again. Two spaces of indent per nesting step.
void PrintParcelDump(FILE* out, const ParcelEntry& entry, uint16_t levelCode);
// Writes the "parcel" line of `entry` and "unreadable" below it: for a
// parcel the caller knows cannot be read (its data lies beyond the file).
void PrintUnreadableParcel(FILE* out, const ParcelEntry& entry, uint16_t levelCode);

// The lines of one decoded section, from its "roads", "background" or
// "names" line down (every decoded value is read).
void PrintRoadParcel(FILE* out, const RoadParcel& roads);
void PrintBackgroundParcel(FILE* out, const BackgroundParcel& background);
void PrintNameParcel(FILE* out, const NameParcel& names);
