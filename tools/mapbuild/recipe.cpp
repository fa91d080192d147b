#include "tools/mapbuild/recipe.h"

#include <iconv.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "platform/files.h"
#include "platform/unicode.h"

namespace {

constexpr int MAX_ORDER = 31;
constexpr int MAX_LABEL_ORDER = 15;  // labels: the name group
constexpr int MAX_ROAD_CLASS = 9;
constexpr int MAX_CLASS_CODE = 0xFFFF;

// The keys each mapping of a recipe may have; anything else is a mistake
// (a misspelled key would otherwise be ignored and its rule apply
// everywhere).
const std::set<std::string> RECIPE_KEYS = {"title", "description", "sea", "extent", "sources"};
const std::set<std::string> SOURCE_KEYS = {"id",          "path",    "layer",  "encoding", "srs",  "from",
                                            "attribution", "licence", "rename", "trim",     "rules"};
// `from: coastline`: the source's features are the land polygons assembled
// from the coastline of the OSM file at its path.
constexpr char FROM_COASTLINE[] = "coastline";
const std::set<std::string> RENAME_KEYS = {"key", "texts"};
const std::set<std::string> RULE_KEYS = {"where", "road",   "area", "line", "label", "along", "levels",
                                         "creates", "detail", "base", "order", "text", "rank"};

// The kinds a rule may name, with the key that names them.
struct KindKey {
  const char* key;
  RuleKind kind;
};
constexpr KindKey KIND_KEYS[] = {
    {"road", RULE_ROAD}, {"area", RULE_AREA}, {"line", RULE_LINE}, {"label", RULE_LABEL}, {"along", RULE_ALONG},
};

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) parts.push_back(Trim(part));
  return parts;
}

// "key=a|b", "key=*", "key!=a", or "*" (no condition). False on a malformed one.
bool ParseWhere(const std::string& text, std::vector<RecipeCondition>* conditions) {
  if (Trim(text) == "*") return true;
  for (const std::string& part : Split(text, '&')) {
    const size_t compare = part.find_first_of("<>");
    if (compare != std::string::npos && compare > 0) {
      RecipeCondition condition;
      const bool atLeast = part.compare(compare, 2, ">=") == 0;
      if (!atLeast && part[compare] != '<') return false;
      condition.test = atLeast ? TEST_AT_LEAST : TEST_BELOW;
      condition.key = Trim(part.substr(0, compare));
      const std::string number = Trim(part.substr(compare + (atLeast ? 2 : 1)));
      char* end = nullptr;
      condition.number = std::strtod(number.c_str(), &end);
      if (condition.key.empty() || number.empty() || *end != '\0') return false;
      conditions->push_back(condition);
      continue;
    }
    const size_t equals = part.find('=');
    if (equals == std::string::npos || equals == 0) return false;
    RecipeCondition condition;
    condition.negate = part[equals - 1] == '!';
    condition.key = Trim(part.substr(0, condition.negate ? equals - 1 : equals));
    const std::string values = Trim(part.substr(equals + 1));
    if (condition.key.empty() || values.empty()) return false;
    if (values != "*") condition.values = Split(values, '|');
    conditions->push_back(condition);
  }
  return !conditions->empty();
}

// A whole number 0..99 written with digits only, as all of `text`.
bool ParseSmallWhole(const std::string& text, int* value) {
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *value = std::stoi(text);
  return true;
}

// "A-B" or "A": two whole numbers, the second A when missing.
bool ParseWholeRange(const std::string& text, int* first, int* last) {
  const std::vector<std::string> ends = Split(text, '-');
  if (ends.empty() || ends.size() > 2 || !ParseSmallWhole(ends[0], first)) return false;
  *last = *first;
  return ends.size() == 1 || ParseSmallWhole(ends[1], last);
}

// "62-4", "0", "2-10": level codes, finest first. False when unknown or reversed.
bool ParseLevelRange(const std::string& text, int* first, int* last) {
  int firstCode = 0, lastCode = 0;
  if (!ParseWholeRange(text, &firstCode, &lastCode)) return false;
  *first = RecipeLevelIndex(firstCode);
  *last = RecipeLevelIndex(lastCode);
  return *first >= 0 && *last >= *first;
}

// "0-2" or "1": detail classes as visibility mask bits (class d is bit 16 >> d).
bool ParseDetail(const std::string& text, uint8_t* mask) {
  int first = 0, last = 0;
  if (!ParseWholeRange(text, &first, &last)) return false;
  if (last >= RECIPE_DETAIL_CLASSES || last < first) return false;
  *mask = 0;
  for (int d = first; d <= last; ++d) *mask = static_cast<uint8_t>(*mask | (16 >> d));
  return true;
}

std::string Where(const YAML::Node& node, const std::string& name) {
  return name + ":" + std::to_string(node.Mark().line + 1);
}

std::string Join(const std::set<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

// The reading of one recipe: the file's name for messages and the first
// mistake found.
struct RecipeReader {
  const std::string& name;
  std::string* error;

  bool Fail(const YAML::Node& node, const std::string& reason) {
    *error = Where(node, name) + ": " + reason;
    return false;
  }

  // False when `node` is not a mapping, has a key outside `allowed`, or has
  // one key twice.
  bool CheckKeys(const YAML::Node& node, const std::set<std::string>& allowed, const std::string& what) {
    if (!node.IsMap()) return Fail(node, what + " is a mapping of " + Join(allowed));
    std::set<std::string> seen;
    for (const auto& entry : node) {
      const YAML::Node& key = entry.first;
      if (!key.IsScalar()) return Fail(key, "a key of " + what + " is a single word");
      if (allowed.count(key.Scalar()) == 0) {
        return Fail(key, "unknown key \"" + key.Scalar() + "\" in " + what + " (its keys are " + Join(allowed) + ")");
      }
      if (!seen.insert(key.Scalar()).second) return Fail(key, "\"" + key.Scalar() + "\" is given twice in " + what);
    }
    return true;
  }

  // The text of `key` in `parent` into *out (unchanged when the key is
  // absent); false when it is not a single value or, with `required`, empty.
  bool Text(const YAML::Node& parent, const char* key, std::string* out, bool required = false) {
    const YAML::Node node = parent[key];
    if (!node) return !required || Fail(parent, std::string("\"") + key + "\" is missing");
    if (!node.IsScalar()) return Fail(node, std::string(key) + " takes a single value");
    if (required && node.Scalar().empty()) return Fail(node, std::string(key) + " is empty");
    *out = node.Scalar();
    return true;
  }

  bool Flag(const YAML::Node& parent, const char* key, bool* out) {
    const YAML::Node node = parent[key];
    if (node && !(node.IsScalar() && YAML::convert<bool>::decode(node, *out))) {
      return Fail(node, std::string(key) + " is true or false");
    }
    return true;
  }

  // A whole number from `low` to `high`.
  bool Whole(const YAML::Node& parent, const char* key, int low, int high, int* out) {
    const YAML::Node node = parent[key];
    if (!node) return true;
    const std::string text = node.IsScalar() ? node.Scalar() : std::string();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
      return Fail(node, std::string(key) + " is a whole number " + std::to_string(low) + ".." + std::to_string(high) +
                            (text.empty() ? "" : ", not \"" + text + "\""));
    }
    *out = static_cast<int>(value);
    return true;
  }

  // One text or a list of texts.
  bool TextList(const YAML::Node& parent, const char* key, std::vector<std::string>* list) {
    const YAML::Node node = parent[key];
    if (!node) return true;
    if (node.IsScalar()) {
      list->push_back(node.Scalar());
      return true;
    }
    if (!node.IsSequence()) return Fail(node, std::string(key) + " takes a value or a list of values");
    for (const YAML::Node& item : node) {
      if (!item.IsScalar() || item.Scalar().empty()) return Fail(item, std::string(key) + " lists single values");
      list->push_back(item.Scalar());
    }
    return true;
  }

  bool Kind(const YAML::Node& node, RecipeRule* rule) {
    int kinds = 0;
    for (const KindKey& key : KIND_KEYS) {
      if (!node[key.key]) continue;
      ++kinds;
      int code = 0;
      if (!Whole(node, key.key, 0, key.kind == RULE_ROAD ? MAX_ROAD_CLASS : MAX_CLASS_CODE, &code)) return false;
      rule->kind = key.kind;
      rule->code = static_cast<uint16_t>(code);
      rule->describe = std::string(key.key) + " " + std::to_string(code);
    }
    return kinds == 1 || Fail(node, "a rule names exactly one of road, area, line, label, along");
  }

  bool Levels(const YAML::Node& node, RecipeRule* rule) {
    std::string levels, creates;
    if (!Text(node, "levels", &levels) || !Text(node, "creates", &creates)) return false;
    if (!levels.empty() && !ParseLevelRange(levels, &rule->firstLevel, &rule->lastLevel)) {
      return Fail(node["levels"], "levels are level codes from 62, 0, 2, 4, 6, 8, 10, finest first (e.g. 62-4), not \"" +
                                      levels + "\"");
    }
    rule->firstCreating = rule->firstLevel;
    rule->lastCreating = rule->lastLevel;
    if (creates.empty()) return true;
    if (!ParseLevelRange(creates, &rule->firstCreating, &rule->lastCreating)) {
      return Fail(node["creates"], "creates are level codes like levels (e.g. 0-10), not \"" + creates + "\"");
    }
    if (rule->firstCreating < rule->firstLevel || rule->lastCreating > rule->lastLevel) {
      return Fail(node["creates"], "creates " + creates + " reaches outside the rule's levels" +
                                       (levels.empty() ? std::string() : " " + levels));
    }
    return true;
  }

  // Keys that only some kinds take.
  bool KindContradictions(const YAML::Node& node, const RecipeRule& rule) {
    const bool label = rule.kind == RULE_LABEL || rule.kind == RULE_ALONG;
    if (rule.baseArea && rule.kind != RULE_AREA) return Fail(node["base"], "only areas can be base areas");
    if (label && rule.text.empty()) return Fail(node, "a label names the attribute of its text (text: name)");
    for (const char* key : {"text", "rank", "detail"}) {
      if (!label && node[key]) return Fail(node[key], std::string(key) + " is for labels (label, along), not " + rule.describe);
    }
    if (label && rule.order > MAX_LABEL_ORDER) {
      return Fail(node["order"], "the order of a label is its name group 0.." + std::to_string(MAX_LABEL_ORDER));
    }
    return true;
  }

  bool ParseRuleNode(const YAML::Node& node, RecipeRule* rule) {
    if (!CheckKeys(node, RULE_KEYS, "a rule") || !Kind(node, rule)) return false;
    std::string where = "*", detail;
    if (!Text(node, "where", &where)) return false;
    if (!ParseWhere(where, &rule->where)) {
      return Fail(node["where"], "cannot read the filter \"" + where +
                                     "\" (key=value|value, key=*, key!=value, key>=number, key<number, or *)");
    }
    rule->describe = where + " -> " + rule->describe;
    if (!Levels(node, rule) || !Text(node, "detail", &detail)) return false;
    if (node["detail"] && !ParseDetail(detail, &rule->detailMask)) {
      return Fail(node["detail"], "detail is a range of detail classes 0..4 (e.g. 0-2), not \"" + detail + "\"");
    }
    return Flag(node, "base", &rule->baseArea) && Text(node, "text", &rule->text) && Text(node, "rank", &rule->rank) &&
           Whole(node, "order", 0, MAX_ORDER, &rule->order) && KindContradictions(node, *rule);
  }

  bool ParseSourceNode(const YAML::Node& node, const std::filesystem::path& base, RecipeSource* source) {
    if (!CheckKeys(node, SOURCE_KEYS, "a source") || !Text(node, "path", &source->path, true)) return false;
    source->resolvedPath = (base / source->path).lexically_normal().string();
    source->id = source->path;
    std::vector<std::string> licences;
    if (!Text(node, "id", &source->id) || !TextList(node, "layer", &source->layers) ||
        !Text(node, "encoding", &source->encoding) || !Text(node, "srs", &source->srs) ||
        !Text(node, "attribution", &source->attribution) || !TextList(node, "licence", &licences)) {
      return false;
    }
    if (source->id.empty()) return Fail(node["id"], "id is empty");
    std::string from;
    if (!Text(node, "from", &from)) return false;
    if (node["from"] && from != FROM_COASTLINE) {
      return Fail(node["from"], "from is coastline (land polygons assembled from an OSM file's coastline), not \"" +
                                    from + "\"");
    }
    source->landFromCoastline = from == FROM_COASTLINE;
    if (!source->encoding.empty() && !IsKnownEncoding(source->encoding)) {
      return Fail(node["encoding"], "unknown encoding \"" + source->encoding + "\" (e.g. CP932, UTF-8, ISO-8859-1)");
    }
    for (const std::string& licence : licences) source->licences.push_back((base / licence).lexically_normal().string());
    if (!LabelCorrections(node, source)) return false;
    const YAML::Node rules = node["rules"];
    if (!rules || !rules.IsSequence() || rules.size() == 0) return Fail(node, "a source needs a path and a list of rules");
    for (const YAML::Node& ruleNode : rules) {
      RecipeRule rule;
      if (!ParseRuleNode(ruleNode, &rule)) return false;
      source->rules.push_back(rule);
    }
    return true;
  }

  // rename: {key: ATTRIBUTE, texts: {VALUE: TEXT, ...}} and trim: [SUFFIX, ...].
  bool LabelCorrections(const YAML::Node& node, RecipeSource* source) {
    if (const YAML::Node rename = node["rename"]) {
      const char* shape = "rename is {key: ATTRIBUTE, texts: {VALUE: TEXT, ...}}";
      if (!rename.IsMap() || !rename["key"] || !rename["texts"] || !rename["texts"].IsMap()) return Fail(rename, shape);
      if (!CheckKeys(rename, RENAME_KEYS, "rename") || !Text(rename, "key", &source->renameKey, true)) return false;
      const YAML::Node texts = rename["texts"];
      for (const auto& entry : texts) {
        if (!entry.first.IsScalar() || !(entry.second.IsScalar() || entry.second.IsNull())) {
          return Fail(entry.first, "each text of rename is VALUE: TEXT (an empty TEXT leaves the label out)");
        }
        source->renames[entry.first.Scalar()] = entry.second.IsNull() ? "" : entry.second.Scalar();
      }
    }
    return TextList(node, "trim", &source->trimSuffixes);
  }

  // extent: [WEST, SOUTH, EAST, NORTH] in degrees, or data (the box of every
  // feature read).
  bool Extent(const YAML::Node& root, Recipe* recipe) {
    const YAML::Node extent = root["extent"];
    if (!extent) return true;
    if (extent.IsScalar() && extent.Scalar() == "data") {
      recipe->extentOfData = true;
      return true;
    }
    if (!extent.IsSequence() || extent.size() != 4) {
      return Fail(extent, "extent is [west, south, east, north] in degrees, or data");
    }
    for (int i = 0; i < 4; ++i) {
      if (!extent[i].IsScalar() || !YAML::convert<double>::decode(extent[i], recipe->extent[i])) {
        return Fail(extent[i], "extent is [west, south, east, north] in degrees, or data");
      }
    }
    recipe->hasExtent = recipe->extent[0] < recipe->extent[2] && recipe->extent[1] < recipe->extent[3];
    return recipe->hasExtent || Fail(extent, "extent must have west < east and south < north");
  }

  bool ParseRoot(const YAML::Node& root, const std::filesystem::path& base, Recipe* recipe) {
    if (!root.IsMap() || !root["sources"] || !root["sources"].IsSequence() || root["sources"].size() == 0) {
      *error = name + ": a recipe is a mapping with a list of sources";
      return false;
    }
    if (!CheckKeys(root, RECIPE_KEYS, "the recipe") || !Text(root, "title", &recipe->title) ||
        !Text(root, "description", &recipe->description) || !Flag(root, "sea", &recipe->sea) ||
        !Extent(root, recipe)) {
      return false;
    }
    for (const YAML::Node& sourceNode : root["sources"]) {
      RecipeSource source;
      if (!ParseSourceNode(sourceNode, base, &source)) return false;
      recipe->sources.push_back(source);
    }
    return true;
  }

  // The names GDAL's text recoding (iconv) knows.
  static bool IsKnownEncoding(const std::string& encoding) {
    const iconv_t converter = iconv_open("UTF-8", encoding.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(converter);
    return true;
  }
};

// The line (from 1) of the byte at `offset` of `text`.
size_t LineOf(const std::string& text, size_t offset) {
  size_t line = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) line += text[i] == '\n' ? 1 : 0;
  return line;
}

}  // namespace

int RecipeLevelIndex(int levelCode) {
  for (int i = 0; i < STANDARD_LEVEL_COUNT; ++i) {
    if (STANDARD_LEVELS[i].levelCode == levelCode) return i;
  }
  return -1;
}

bool ConditionHolds(const RecipeCondition& condition, const char* value) {
  if (condition.test != TEST_EQUALS) {
    if (value == nullptr || value[0] == '\0') return false;
    char* end = nullptr;
    const double number = std::strtod(value, &end);
    if (end == value) return false;
    return condition.test == TEST_AT_LEAST ? number >= condition.number : number < condition.number;
  }
  bool matches = false;
  if (value != nullptr && value[0] != '\0') {
    if (condition.values.empty()) {
      matches = true;
    } else {
      for (const std::string& wanted : condition.values) matches = matches || wanted == value;
    }
  }
  return condition.negate ? !matches : matches;
}

std::string CorrectedLabelText(const RecipeSource& source, const char* key, const std::string& text) {
  if (key != nullptr) {
    const auto rename = source.renames.find(key);
    if (rename != source.renames.end()) return rename->second;  // a correction is used as written
  }
  std::string corrected = text;
  for (const std::string& suffix : source.trimSuffixes) {
    const size_t at = corrected.size() - std::min(corrected.size(), suffix.size());
    if (!suffix.empty() && corrected.size() > suffix.size() && corrected.compare(at, suffix.size(), suffix) == 0) {
      corrected.resize(at);
      break;
    }
  }
  return corrected;
}

int ParseRecipe(const std::string& text, const std::string& name, const std::string& dataDirectory,
                Recipe* recipe, std::string* error) {
  *recipe = Recipe();
  const std::filesystem::path base =
      dataDirectory.empty() ? std::filesystem::path(name).parent_path() : std::filesystem::path(dataDirectory);
  recipe->dataDirectory = base.string();
  // The texts go into the map and the attribution file as UTF-8: a recipe
  // in another encoding would put bytes there that no reader can show.
  const size_t invalid = FindInvalidUtf8(text);
  if (invalid != std::string::npos) {
    *error = name + ":" + std::to_string(LineOf(text, invalid)) + ": not UTF-8 (byte " + std::to_string(invalid) +
             "); a recipe is written in UTF-8";
    return -1;
  }
  RecipeReader reader{name, error};
  try {
    if (!reader.ParseRoot(YAML::Load(text), base, recipe)) return -1;
  } catch (const YAML::Exception& exception) {
    *error = name + ":" + std::to_string(exception.mark.line + 1) + ": " + exception.msg;
    return -1;
  }
  return 0;
}

int LoadRecipe(const std::string& path, const std::string& dataDirectory, Recipe* recipe, std::string* error) {
  // Opened as every outside file is: a named pipe or a device in its place
  // is refused at once instead of waited on.
  FILE* file = OpenReadableFile(path.c_str());
  if (file == nullptr) {
    *error = "cannot read the recipe " + path + ": " + (errno == EINVAL ? "not a plain file" : std::strerror(errno));
    return -1;
  }
  std::string text;
  char chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    *error = "cannot read the recipe " + path;
    return -1;
  }
  return ParseRecipe(text, path, dataDirectory, recipe, error);
}

int UseExtract(Recipe* recipe, const std::string& extract, std::string* error) {
  bool named = false;
  for (RecipeSource& source : recipe->sources) {
    if (source.path != RECIPE_EXTRACT_PATH) continue;
    named = true;
    source.resolvedPath = extract;
  }
  if (named && extract.empty()) {
    *error = "the recipe reads the OSM extract given with --osm EXTRACT, and none was given";
    return -1;
  }
  if (!named && !extract.empty()) {
    *error = "the recipe has no source for the extract given with --osm (a source with path: \"$EXTRACT\")";
    return -1;
  }
  return 0;
}

int UseLandPolygons(Recipe* recipe, const std::string& land, std::string* error) {
  if (land.empty()) return 0;
  bool used = false;
  for (RecipeSource& source : recipe->sources) {
    if (!source.landFromCoastline) continue;
    used = true;
    source.landFromCoastline = false;
    source.resolvedPath = land;
    source.layers.clear();
  }
  if (!used) {
    *error = "the recipe has no place for the land polygons given with --land (a source with from: coastline)";
    return -1;
  }
  return 0;
}
