#include "tools/mapbuild/build_report.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <vector>

namespace {

constexpr double BYTES_PER_MB = 1024.0 * 1024.0;

// What was counted and how often.
struct Counted {
  const char* what;
  int64_t count;
};

// ", N what" for each count in turn, leaving out those that are none.
std::string Counts(std::initializer_list<Counted> counts) {
  std::string text;
  for (const Counted& c : counts) {
    if (c.count != 0) text += ", " + std::to_string(c.count) + " " + c.what;
  }
  return text;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / BYTES_PER_MB);
  return text;
}

std::string AttributionText(const Recipe& recipe, std::string* error) {
  std::ostringstream out;
  out << "Map data of " << (recipe.title.empty() ? std::string("this map") : recipe.title) << "\n"
      << "Built by " << PROGRAM_TEXT << " from the sources below; the data were processed (reprojected to the\n"
      << "Tokyo datum, generalised, clipped to parcels, subset and reformatted).\n\n";
  for (const RecipeSource& source : recipe.sources) {
    out << "* " << source.id << " (" << source.path << ")\n";
    if (!source.attribution.empty()) out << "  " << source.attribution << "\n";
    for (const std::string& licence : source.licences) out << "  licence text: " << licence << "\n";
  }
  std::vector<std::string> written;
  for (const RecipeSource& source : recipe.sources) {
    for (const std::string& licence : source.licences) {
      if (std::find(written.begin(), written.end(), licence) != written.end()) continue;
      written.push_back(licence);
      const std::string text = ReadWhole(licence);
      if (text.empty()) {
        *error = "cannot read the licence text " + licence;
        return std::string();
      }
      out << "\n======== " << licence << " ========\n" << text;
    }
  }
  return out.str();
}

std::string ShortAttribution(const Recipe& recipe) {
  std::string text;
  for (const RecipeSource& source : recipe.sources) {
    const std::string& a = source.attribution;
    const std::string first = a.substr(0, a.find_first_of(";\n"));
    if (first.empty() || text.find(first) != std::string::npos) continue;
    text += (text.empty() ? "" : "; ") + first;
  }
  return text;
}

std::string DescribeSource(const RecipeSource& source, const SourceCounts& counts) {
  const SourceSummary& read = counts.read;
  const OsmReadSummary& osm = counts.osm;
  return "source " + source.id + ": " + std::to_string(read.read) + " features read, " + std::to_string(read.matched) +
         " rule matches" +
         Counts({{"without geometry (left out)", read.noGeometry},
                 {"outside map units (left out)", read.outside},
                 {"objects marked deleted by an editor (left out)", read.deleted},
                 {"relations with members missing from the extract (left out)", osm.incompleteRelations},
                 {"areas that do not close (left out)", osm.brokenAreas},
                 {"features repeating another exactly (left out)", counts.repeated},
                 {"point labels repeating a label nearby (merged)", counts.merged}}) +
         (osm.indexBytes > 0 ? ", node locations " + Megabytes(osm.indexBytes) + " on disk" : std::string());
}

std::string DescribeLevel(const LevelCounts& level, const CutReport& cut, const EncodeReport& encode) {
  return "level " + std::to_string(level.levelCode) + ": " + std::to_string(level.features) + " features into " +
         std::to_string(level.parcels) + " parcels" +
         Counts({{"parcels divided into pieces", level.divided},
                 {"smaller than a pixel (left out)", cut.belowPixel},
                 {"pieces outside this level's parcels", cut.noParcel},
                 {"features cut at the map's edge (the rest left out)", cut.outsideMap},
                 {"areas split for holes or points", cut.splitAreas},
                 {"area pieces over the point limit (left out)", cut.tooComplex},
                 {"along-line names without room (left out)", cut.noRoom},
                 {"names cut to 32 characters", cut.cutNames},
                 {"background items over a section's size (left out)", encode.droppedItems},
                 {"road links over a section's size (left out)", encode.droppedLinks},
                 {"names over a section's size (left out)", encode.droppedNames},
                 {"parcels the writer refused (left out)", encode.failedParcels}}) +
         ", " + Megabytes(level.spilledBytes) + " spilled in " + std::to_string(level.runs) + " runs";
}

std::string DescribeHotSpot(uint16_t levelCode, double lon, double lat, const HotSpot& spot) {
  char place[64];
  std::snprintf(place, sizeof place, "lon %.4f, lat %.4f", lon, lat);
  const std::string left = Counts({{"road links", spot.links},
                                   {"background items", spot.items},
                                   {"names", spot.names},
                                   {"pieces the writer refused", spot.refusedPieces}});
  return "level " + std::to_string(levelCode) + ": hot spot at " + place +
         " does not fit its parcel even in pieces; kept the most important content, left out " + left.substr(2);
}
