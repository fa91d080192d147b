// The map builder run as a program for the demo device: it builds the map
// from the open geodata with its recipe, and it finds the roads of the
// demo drives in the same data (tevo-mapbuild --routes). Running it as a
// child keeps its geodata libraries out of the programs that make demo
// devices.
#pragma once

#include <functional>
#include <string>

#include "tools/demo/demo_device.h"

// The map builder's program and the sources it reads.
struct MapBuilderRun {
  std::string program;  // the path of tevo-mapbuild
  std::string recipe;   // the recipe file
  std::string data;     // the folder its source paths are relative to
};

// A DemoMapBuilder that runs the map builder on the host path asked for.
// Its progress lines reach stderr as it writes them; the parcel count
// comes from the summary it prints on stdout.
DemoMapBuilder MapBuilderProcess(const MapBuilderRun& run);

// A DemoRouter that gives the waypoints of the routes to the map builder
// and reads back the roads it found. When that fails, `warn` gets one line
// saying why and no route has roads.
DemoRouter RoadsFromMapBuilder(const MapBuilderRun& run, const std::function<void(const std::string&)>& warn);

// The parcel count in the summary the map builder prints with --summary
// ("parcels N" among "key value" lines); -1 when it holds none.
int ParcelsOfBuildSummary(const std::string& summary);
