#include "tools/mapbuild/coastline_land.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "platform/child_process.h"
#include "platform/unicode.h"

namespace {

// The program's exit statuses: 0 clean, 1 warnings, 2 errors in the
// coastline data (it still writes what it could assemble); 3 a fatal
// error, 4 a command line it refused.
constexpr int EXIT_DATA_ERRORS = 2;
constexpr int EXIT_FATAL = 3;
constexpr int EXIT_COMMAND_LINE = 4;

// Gaps in the coastline are not closed: the program measures the gap in
// whole degrees of longitude and latitude, and its default of 1 degree would
// join the ends that a regional extract leaves at its edge across 100 km of
// land or sea, making up a coast. An open coast is left to the caller.
constexpr char CLOSE_NO_GAPS[] = "0";
constexpr char DATABASE_FILE[] = "/coastline.db";
constexpr char MESSAGES_FILE[] = "/coastline.log";
// The most of its messages that are kept: it writes a few summary lines.
constexpr size_t MAX_MESSAGE_BYTES = 4096;
constexpr char LAND_LAYER[] = "land_polygons";

std::string Failed(const RecipeSource& source, const std::string& what) { return source.id + ": " + what; }

// The arguments of the run: land polygons only, in WGS84 degrees, without
// a spatial index (the polygons are read in order, once).
std::vector<std::string> Arguments(const std::string& program, const std::string& input, const std::string& database) {
  // A file name starting with "-" would be taken for an option.
  const std::string file = !input.empty() && input[0] == '-' ? "./" + input : input;
  return {program, "--output-polygons=land", "--srs=4326", "--no-index", "--overwrite",
          std::string("--close-distance=") + CLOSE_NO_GAPS, "--output-database=" + database, file};
}

// `text` cut to MAX_MESSAGE_BYTES before a character that would not fit
// whole; given one byte more than that, it tells where a character ends.
std::string CutMessage(std::string text) {
  text.resize(Utf8CutLength(text, MAX_MESSAGE_BYTES));
  return text;
}

// The text of the messages file (at most MAX_MESSAGE_BYTES); the file is removed.
std::string TakeMessages(const std::string& path) {
  std::string text;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    text.resize(MAX_MESSAGE_BYTES + 1);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
  }
  std::remove(path.c_str());
  return CutMessage(text);
}

// The non-empty lines of `text` joined by spaces, cut at MAX_MESSAGE_BYTES
// before a character that would not fit whole.
std::string JoinLines(const std::string& text) {
  std::string lines;
  for (size_t start = 0; start < text.size() && lines.size() < MAX_MESSAGE_BYTES;) {
    const size_t end = std::min(text.find('\n', start), text.size());
    if (end > start) lines += (lines.empty() ? "" : " ") + text.substr(start, end - start);
    start = end + 1;
  }
  return CutMessage(lines);
}

std::string WhyItFailed(const ChildEnd& end) {
  if (end.signal != 0) return "ended by " + DescribeChildEnd(end);
  if (end.exitStatus == EXIT_FATAL) return "stopped with a fatal error (exit status 3)";
  if (end.exitStatus == EXIT_COMMAND_LINE) return "refused its command line (exit status 4)";
  return "failed (" + DescribeChildEnd(end) + ")";
}

// Runs the program; 0 when it ran to its end (with or without findings in
// the data), else -1 with *error.
int RunAssembly(const RecipeSource& source, const std::string& temporaryDirectory, CoastlineSummary* coast,
                std::string* error) {
  const std::string program = FindProgramOnPath(COASTLINE_PROGRAM);
  if (program.empty()) {
    *error = Failed(source, std::string("cannot assemble land and sea from the coastline: ") + COASTLINE_PROGRAM +
                                " is not on PATH (install the Debian package " + COASTLINE_PROGRAM +
                                ", or give land polygons with --land)");
    return -1;
  }
  const auto started = std::chrono::steady_clock::now();
  const std::string database = temporaryDirectory + DATABASE_FILE, messages = temporaryDirectory + MESSAGES_FILE;
  // Its summary ("There were N warnings.") comes on stdout, which is ours
  // for --summary; its messages on stderr. Both are said in our own lines.
  ChildEnd end;
  std::string summary;
  const int ran = RunChildProcess(Arguments(program, source.resolvedPath, database), nullptr, &summary, &end, error,
                                  &messages, MAX_MESSAGE_BYTES + 1);
  summary = CutMessage(summary);
  coast->messages = JoinLines(summary + TakeMessages(messages));
  if (end.outputBytes > summary.size()) {
    coast->messages += " [its output was cut: " + std::to_string(end.outputBytes) + " bytes, of which the first " +
                       std::to_string(summary.size()) + " were kept]";
  }
  if (ran != 0) {
    *error = Failed(source, *error);
    return -1;
  }
  coast->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  coast->exitStatus = end.exitStatus;
  if (end.signal != 0 || end.exitStatus < 0 || end.exitStatus > EXIT_DATA_ERRORS) {
    *error = Failed(source, program + " on " + source.resolvedPath + " " + WhyItFailed(end) +
                                (coast->messages.empty() ? std::string() : ": " + coast->messages));
    return -1;
  }
  std::error_code failure;
  coast->databaseBytes = std::filesystem::file_size(database, failure);
  return 0;
}

// One number of the program's summary table.
int64_t Integer(OGRFeature* row, const char* field) {
  const int index = row->GetFieldIndex(field);
  return index < 0 ? 0 : row->GetFieldAsInteger64(index);
}

// Reads the counts the program wrote beside the polygons.
int ReadCounts(const RecipeSource& source, const std::string& database, CoastlineSummary* coast, std::string* error) {
  CPLErrorReset();
  std::unique_ptr<GDALDataset> dataset(
      static_cast<GDALDataset*>(GDALOpenEx(database.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
  OGRLayer* land = dataset ? dataset->GetLayerByName(LAND_LAYER) : nullptr;
  OGRLayer* meta = dataset ? dataset->ExecuteSQL("SELECT num_ways, num_unconnected_nodes FROM meta", nullptr, nullptr)
                           : nullptr;
  std::unique_ptr<OGRFeature> row(meta != nullptr ? meta->GetNextFeature() : nullptr);
  if (land == nullptr || row == nullptr) {
    const std::string message = CPLGetLastErrorMsg();
    *error = Failed(source, "cannot read the land polygons assembled from the coastline in " + database +
                                (message.empty() ? std::string() : ": GDAL: " + message));
    if (meta != nullptr) dataset->ReleaseResultSet(meta);
    return -1;
  }
  coast->coastlineWays = Integer(row.get(), "num_ways");
  coast->openEnds = Integer(row.get(), "num_unconnected_nodes");
  coast->landPolygons = land->GetFeatureCount(TRUE);
  row.reset();
  dataset->ReleaseResultSet(meta);
  return 0;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

}  // namespace

int ReadCoastlineLand(const RecipeSource& source, const std::string& temporaryDirectory, const FeatureSink& sink,
                      SourceSummary* summary, CoastlineSummary* coast, std::string* error) {
  PrepareGdal();
  *coast = CoastlineSummary();
  const std::string database = temporaryDirectory + DATABASE_FILE;
  if (RunAssembly(source, temporaryDirectory, coast, error) != 0 || ReadCounts(source, database, coast, error) != 0) {
    return -1;
  }
  // A coast that an extract cuts, or that has a gap, closes no ring: its
  // land would be left out of the polygons and drawn as sea. Land
  // everywhere, with the coast as a line, is the lesser fault.
  coast->usable = coast->landPolygons > 0 && coast->openEnds == 0;
  int status = 0;
  if (coast->usable) {
    RecipeSource polygons = source;
    polygons.resolvedPath = database;
    polygons.layers = {LAND_LAYER};
    polygons.encoding.clear();
    polygons.srs.clear();
    status = ReadSource(polygons, sink, summary, error);
  }
  std::remove(database.c_str());
  return status;
}

int CheckLandPolygons(const std::string& path, std::string* error) {
  PrepareGdal();
  std::unique_ptr<GDALDataset> dataset(
      static_cast<GDALDataset*>(GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
  if (!dataset) return 0;
  // Stops at the first polygon: a real land file answers at once.
  for (OGRLayer* layer : dataset->GetLayers()) {
    layer->ResetReading();
    while (std::unique_ptr<OGRFeature> feature{layer->GetNextFeature()}) {
      const OGRGeometry* geometry = feature->GetGeometryRef();
      const OGRwkbGeometryType type = geometry != nullptr ? wkbFlatten(geometry->getGeometryType()) : wkbUnknown;
      if (type == wkbPolygon || type == wkbMultiPolygon || type == wkbCurvePolygon || type == wkbMultiSurface) {
        return 0;
      }
    }
  }
  *error = "the land file " + path +
           " holds no polygon (lines or points only): --land needs land polygons, else the map would be all sea";
  return -1;
}

std::string DescribeCoastline(const RecipeSource& source, const CoastlineSummary& coast) {
  const std::string cost = std::string(" (") + COASTLINE_PROGRAM + " " + Seconds(coast.seconds) + ", a " +
                           std::to_string(coast.databaseBytes >> 10) + " KB database)";
  if (coast.coastlineWays == 0) {
    return "source " + source.id + ": no coastline found in " + source.resolvedPath + ", so " + COASTLINE_PROGRAM +
           " made no polygons: no sea, the map is land everywhere" + cost;
  }
  return "source " + source.id + ": " + std::to_string(coast.coastlineWays) + " coastline ways assembled into " +
         std::to_string(coast.landPolygons) + " land polygons" + (coast.usable ? "" : " (not used)") + cost +
         (coast.messages.empty() ? std::string() : std::string(": ") + COASTLINE_PROGRAM + " said " + coast.messages);
}

std::string CoastlineWarning(const RecipeSource& source, const CoastlineSummary& coast) {
  if (coast.coastlineWays == 0) return std::string();
  const std::string landEverywhere =
      ", so land and sea cannot be told apart: the map is land everywhere with the coast as a line (--land LAND "
      "gives land polygons instead)";
  if (coast.openEnds > 0) {
    return "source " + source.id + ": " + std::to_string(coast.openEnds) + " coastline ends in " + source.resolvedPath +
           " join no ring (an extract cut across the coast, or a gap)" + landEverywhere;
  }
  if (!coast.usable) {
    return "source " + source.id + ": the coastline in " + source.resolvedPath + " gave no land polygon (" +
           coast.messages + ")" + landEverywhere;
  }
  if (coast.exitStatus == EXIT_DATA_ERRORS) {
    return "source " + source.id + ": " + std::string(COASTLINE_PROGRAM) + " found errors in the coastline (" +
           coast.messages + ") and used what it could assemble";
  }
  return std::string();
}
