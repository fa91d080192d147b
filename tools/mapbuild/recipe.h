// The recipe of a map build: which open-data sources are read and, per
// source, which features become which records at which levels.
//
// A recipe is a YAML file (see the RECIPE section of doc/man/tevo-mapbuild.1
// for the format and tools/mapbuild/recipes/ for the demo map's and the
// standard OSM recipe with their mapping tables).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "mapdata/map_layout.h"

// Levels are those of STANDARD_LEVELS, finest first.
// Detail classes within a level (the five display-scale thresholds).
constexpr int RECIPE_DETAIL_CLASSES = 5;

// What a rule makes of a matching feature.
enum RuleKind {
  RULE_ROAD = 0,     // a road link of a road class 0..9 (lines)
  RULE_AREA = 1,     // a filled background area (polygons)
  RULE_LINE = 2,     // a background line (lines; polygons give their outline)
  RULE_LABEL = 3,    // a point label, type 1 (points; polygons give a point inside)
  RULE_ALONG = 4,    // a label along the line, type 3 (lines)
};
constexpr int RULE_KIND_COUNT = 5;

// The forms in which an OSM object meets the rules: a tagged node is a
// point, a way a line, and a closed way or a multipolygon relation an area.
enum ObjectShape { SHAPE_POINT = 0, SHAPE_LINE = 1, SHAPE_AREA = 2 };
constexpr int OBJECT_SHAPE_COUNT = 3;

// Which rule kinds take which form of an object: labels take points and
// areas (a point inside), roads, lines and along labels take lines, areas
// take areas. A closed way is offered both as a line and as an area, so
// each kind takes it once. Sources read through GDAL hand their features
// to every rule, whatever their geometry, as the geometry is the file's.
constexpr bool RULE_TAKES[RULE_KIND_COUNT][OBJECT_SHAPE_COUNT] = {
    //  point  line   area
    {false, true, false},  // RULE_ROAD
    {false, false, true},  // RULE_AREA
    {false, true, false},  // RULE_LINE
    {true, false, true},   // RULE_LABEL
    {false, true, false},  // RULE_ALONG
};
constexpr bool RuleTakes(RuleKind kind, ObjectShape shape) { return RULE_TAKES[kind][shape]; }

// One condition on a feature's attributes: key=value|value, key=*,
// key!=value, key>=number, key<number.
enum ConditionTest { TEST_EQUALS = 0, TEST_AT_LEAST = 1, TEST_BELOW = 2 };
struct RecipeCondition {
  std::string key;
  std::vector<std::string> values;  // empty: any non-empty value
  bool negate = false;
  ConditionTest test = TEST_EQUALS;
  double number = 0;  // TEST_AT_LEAST, TEST_BELOW
};

struct RecipeRule {
  std::vector<RecipeCondition> where;  // all must hold; empty: every feature
  RuleKind kind = RULE_AREA;
  uint16_t code = 0;        // road class or background / name class code
  bool baseArea = false;    // an area drawn by the base-area pass (listed in `base`)
  std::string text;         // attribute holding the label's text (labels)
  // Levels by index into STANDARD_LEVELS, finest..coarsest inclusive.
  int firstLevel = 0, lastLevel = STANDARD_LEVEL_COUNT - 1;
  // Levels at which the rule's features make parcels of their own; at the
  // other levels of its range they only go into parcels that other rules made.
  int firstCreating = 0, lastCreating = STANDARD_LEVEL_COUNT - 1;
  // Detail classes at which a label is shown (mask bits 15..11).
  uint8_t detailMask = 0x1F;
  int order = 0;            // drawing slot of background records, 0..31
  std::string rank;         // labels: numeric attribute; higher ranks are placed first
  std::string describe;     // the rule as written, for messages
};

struct RecipeSource {
  std::string id;
  std::string path;          // as written in the recipe
  std::string resolvedPath;  // relative to the data folder
  std::vector<std::string> layers;  // empty: every layer
  // The features are the land polygons assembled from the coastline of the
  // OSM file at the path (`from: coastline`), not the file's own.
  bool landFromCoastline = false;
  std::string encoding;      // for shapefiles without a .cpg, e.g. CP932
  std::string srs;           // for sources that carry no CRS, e.g. EPSG:4612
  std::string attribution;
  std::vector<std::string> licences;  // licence files, relative to the data folder
  // Corrections of label texts: the feature whose `renameKey` attribute has
  // a value listed in `renames` is labelled with the text given there, as
  // written (an empty text leaves its labels out); `trimSuffixes` are cut
  // from the end of the other label texts when something is left, so that names of one kind read
  // alike (e.g. places with and without their municipal suffix).
  std::string renameKey;
  std::map<std::string, std::string> renames;
  std::vector<std::string> trimSuffixes;
  std::vector<RecipeRule> rules;
};

struct Recipe {
  std::string title;        // first header text field
  std::string description;  // second header text field
  bool sea = false;         // the map's background is sea (land is an area)
  bool hasExtent = false;
  double extent[4] = {};    // west, south, east, north in WGS84 degrees
  bool extentOfData = false;  // the extent is the box of every feature read
  std::string dataDirectory;
  std::vector<RecipeSource> sources;
};

// Reads the recipe at `path`. Source paths are resolved against
// `dataDirectory` when it is not empty, else against the recipe's own
// folder. Returns 0, or -1 with the reason (file, line) in *error.
int LoadRecipe(const std::string& path, const std::string& dataDirectory, Recipe* recipe, std::string* error);

// Parses the recipe text `text` as LoadRecipe does; `name` names it in messages.
int ParseRecipe(const std::string& text, const std::string& name, const std::string& dataDirectory,
                Recipe* recipe, std::string* error);

// The source path that stands for the OSM extract given on the command line.
constexpr char RECIPE_EXTRACT_PATH[] = "$EXTRACT";

// Points the sources whose path is RECIPE_EXTRACT_PATH at `extract`.
// Returns 0, or -1 with *error when the recipe names the extract and none
// was given, or an extract was given and the recipe has no place for it.
int UseExtract(Recipe* recipe, const std::string& extract, std::string* error);

// Points the sources that assemble land from the coastline at `land`
// instead, a polygon file of land areas (e.g. land polygons downloaded
// beside the extract); "" leaves the recipe as it is. Returns 0, or -1 with
// *error when the recipe has no such source.
int UseLandPolygons(Recipe* recipe, const std::string& land, std::string* error);

// True when the attribute lookup `value` (null: attribute missing) satisfies `condition`.
bool ConditionHolds(const RecipeCondition& condition, const char* value);

// The label text of a source's feature: `text` (the rule's text attribute),
// or the text `key` (the source's renameKey attribute, may be null) is
// renamed to; otherwise cut of the source's trim suffixes. Empty: no label.
std::string CorrectedLabelText(const RecipeSource& source, const char* key, const std::string& text);

// Index of `levelCode` in STANDARD_LEVELS, or -1.
int RecipeLevelIndex(int levelCode);
