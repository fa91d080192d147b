#include "tools/demo/map_builder_process.h"

#include <charconv>
#include <cstdio>
#include <sstream>
#include <vector>

#include "platform/child_process.h"
#include "tools/demo/route_text.h"

namespace {

constexpr char PARCELS_KEY[] = "parcels ";

// Runs the map builder; 0 when it ended with exit status 0, else -1 with
// how it ended in *error.
int RunBuilder(const MapBuilderRun& run, const std::vector<std::string>& options, const std::string* input,
               std::string* output, std::string* error) {
  std::vector<std::string> arguments{run.program, run.recipe, "--data", run.data};
  arguments.insert(arguments.end(), options.begin(), options.end());
  ChildEnd end;
  if (RunChildProcess(arguments, input, output, &end, error) != 0) return -1;
  if (end.exitStatus == 0) return 0;
  *error = run.program + " failed (" + DescribeChildEnd(end) + ")";
  return -1;
}

}  // namespace

int ParcelsOfBuildSummary(const std::string& summary) {
  std::istringstream lines(summary);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(PARCELS_KEY, 0) != 0) continue;
    int parcels = -1;
    const char* first = line.data() + sizeof PARCELS_KEY - 1;
    const std::from_chars_result result = std::from_chars(first, line.data() + line.size(), parcels);
    return result.ec == std::errc() && result.ptr == line.data() + line.size() && parcels >= 0 ? parcels : -1;
  }
  return -1;
}

DemoMapBuilder MapBuilderProcess(const MapBuilderRun& run) {
  return [run](const std::string& hostPath, std::string* error) {
    std::fprintf(stderr, "building the map from %s with %s by %s\n", run.data.c_str(), run.recipe.c_str(),
                 run.program.c_str());
    std::string summary;
    if (RunBuilder(run, {"-o", hostPath, "--summary"}, nullptr, &summary, error) != 0) return -1;
    const int parcels = ParcelsOfBuildSummary(summary);
    if (parcels < 0) *error = run.program + " printed no parcel count";
    return parcels;
  };
}

DemoRouter RoadsFromMapBuilder(const MapBuilderRun& run, const std::function<void(const std::string&)>& warn) {
  return [run, warn](const DriveRoute* routes, int count, std::vector<RouteRoads>* roads) {
    std::vector<WaypointRoute> waypoints;
    for (int i = 0; i < count; ++i) waypoints.push_back(WaypointsOf(routes[i]));
    const std::string asked = FormatWaypointText(waypoints);
    std::string answer, why;
    if (RunBuilder(run, {"--routes", "-"}, &asked, &answer, &why) == 0 &&
        ParseRoadText(answer, waypoints, roads, &why) == 0) {
      return 0;
    }
    if (!answer.empty()) why = "the roads from " + run.program + " are unreadable: " + why;
    warn("the demo drives cannot follow the roads: " + why);
    roads->assign(static_cast<size_t>(count), {});
    return -1;
  };
}
