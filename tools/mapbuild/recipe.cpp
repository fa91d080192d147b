#include "tools/mapbuild/recipe.h"

#include <yaml-cpp/yaml.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr int MAX_ORDER = 31;
constexpr int MAX_ROAD_CLASS = 9;
constexpr int MAX_CLASS_CODE = 0xFFFF;

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
      try {
        condition.number = std::stod(part.substr(compare + (atLeast ? 2 : 1)));
      } catch (...) {
        return false;
      }
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

// "62-4", "0", "2-10": level codes, finest first. False when unknown or reversed.
bool ParseLevelRange(const std::string& text, int* first, int* last) {
  const std::vector<std::string> ends = Split(text, '-');
  if (ends.empty() || ends.size() > 2) return false;
  try {
    *first = RecipeLevelIndex(std::stoi(ends[0]));
    *last = ends.size() == 2 ? RecipeLevelIndex(std::stoi(ends[1])) : *first;
  } catch (...) {
    return false;
  }
  return *first >= 0 && *last >= *first;
}

// "0-2" or "1": detail classes as visibility mask bits (class d is bit 16 >> d).
bool ParseDetail(const std::string& text, uint8_t* mask) {
  const std::vector<std::string> ends = Split(text, '-');
  if (ends.empty() || ends.size() > 2) return false;
  int first = 0, last = 0;
  try {
    first = std::stoi(ends[0]);
    last = ends.size() == 2 ? std::stoi(ends[1]) : first;
  } catch (...) {
    return false;
  }
  if (first < 0 || last >= RECIPE_DETAIL_CLASSES || last < first) return false;
  *mask = 0;
  for (int d = first; d <= last; ++d) *mask = static_cast<uint8_t>(*mask | (16 >> d));
  return true;
}

std::string Where(const YAML::Node& node, const std::string& name) {
  return name + ":" + std::to_string(node.Mark().line + 1);
}

bool ParseRule(const YAML::Node& node, const std::string& name, RecipeRule* rule, std::string* error) {
  const std::string at = Where(node, name);
  if (!node.IsMap()) {
    *error = at + ": a rule is a mapping (where, and one of road/area/line/label/along)";
    return false;
  }
  int kinds = 0;
  for (const KindKey& key : KIND_KEYS) {
    if (!node[key.key]) continue;
    ++kinds;
    rule->kind = key.kind;
    const int code = node[key.key].as<int>();
    const int limit = key.kind == RULE_ROAD ? MAX_ROAD_CLASS : MAX_CLASS_CODE;
    if (code < 0 || code > limit) {
      *error = at + ": " + key.key + " " + std::to_string(code) + " is outside 0.." + std::to_string(limit);
      return false;
    }
    rule->code = static_cast<uint16_t>(code);
    rule->describe = std::string(key.key) + " " + std::to_string(code);
  }
  if (kinds != 1) {
    *error = at + ": a rule names exactly one of road, area, line, label, along";
    return false;
  }
  const std::string where = node["where"] ? node["where"].as<std::string>() : "*";
  if (!ParseWhere(where, &rule->where)) {
    *error = at + ": cannot read the filter \"" + where + "\" (key=value|value, key=*, key!=value, key>=number, key<number, or *)";
    return false;
  }
  rule->describe = where + " -> " + rule->describe;
  if (node["levels"] && !ParseLevelRange(node["levels"].as<std::string>(), &rule->firstLevel, &rule->lastLevel)) {
    *error = at + ": levels are level codes from 62, 0, 2, 4, 6, 8, 10, finest first (e.g. 62-4)";
    return false;
  }
  rule->firstCreating = rule->firstLevel;
  rule->lastCreating = rule->lastLevel;
  if (node["creates"] &&
      !ParseLevelRange(node["creates"].as<std::string>(), &rule->firstCreating, &rule->lastCreating)) {
    *error = at + ": creates are level codes like levels (e.g. 0-10)";
    return false;
  }
  if (node["detail"] && !ParseDetail(node["detail"].as<std::string>(), &rule->detailMask)) {
    *error = at + ": detail is a range of detail classes 0..4 (e.g. 0-2)";
    return false;
  }
  rule->baseArea = node["base"] && node["base"].as<bool>();
  if (rule->baseArea && rule->kind != RULE_AREA) {
    *error = at + ": only areas can be base areas";
    return false;
  }
  if (node["text"]) rule->text = node["text"].as<std::string>();
  if ((rule->kind == RULE_LABEL || rule->kind == RULE_ALONG) && rule->text.empty()) {
    *error = at + ": a label names the attribute of its text (text: name)";
    return false;
  }
  rule->order = node["order"] ? node["order"].as<int>() : 0;
  if (rule->order < 0 || rule->order > MAX_ORDER) {
    *error = at + ": order is a drawing slot 0..31";
    return false;
  }
  if (node["rank"]) rule->rank = node["rank"].as<std::string>();
  return true;
}

std::vector<std::string> StringList(const YAML::Node& node) {
  std::vector<std::string> list;
  if (!node) return list;
  if (node.IsSequence()) {
    for (const YAML::Node& item : node) list.push_back(item.as<std::string>());
  } else {
    list.push_back(node.as<std::string>());
  }
  return list;
}

bool ParseSource(const YAML::Node& node, const std::string& name, const std::filesystem::path& base,
                 RecipeSource* source, std::string* error) {
  const std::string at = Where(node, name);
  if (!node.IsMap() || !node["path"] || !node["rules"] || !node["rules"].IsSequence()) {
    *error = at + ": a source needs a path and a list of rules";
    return false;
  }
  source->path = node["path"].as<std::string>();
  source->resolvedPath = (base / source->path).lexically_normal().string();
  source->id = node["id"] ? node["id"].as<std::string>() : source->path;
  source->layers = StringList(node["layer"]);
  if (node["encoding"]) source->encoding = node["encoding"].as<std::string>();
  if (node["srs"]) source->srs = node["srs"].as<std::string>();
  if (node["attribution"]) source->attribution = node["attribution"].as<std::string>();
  for (const std::string& licence : StringList(node["licence"])) {
    source->licences.push_back((base / licence).lexically_normal().string());
  }
  for (const YAML::Node& ruleNode : node["rules"]) {
    RecipeRule rule;
    if (!ParseRule(ruleNode, name, &rule, error)) return false;
    source->rules.push_back(rule);
  }
  return true;
}

}  // namespace

int RecipeLevelIndex(int levelCode) {
  for (int i = 0; i < RECIPE_LEVEL_COUNT; ++i) {
    if (RECIPE_LEVEL_CODES[i] == levelCode) return i;
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

int ParseRecipe(const std::string& text, const std::string& name, const std::string& dataDirectory,
                Recipe* recipe, std::string* error) {
  *recipe = Recipe();
  const std::filesystem::path base =
      dataDirectory.empty() ? std::filesystem::path(name).parent_path() : std::filesystem::path(dataDirectory);
  recipe->dataDirectory = base.string();
  try {
    const YAML::Node root = YAML::Load(text);
    if (!root.IsMap() || !root["sources"] || !root["sources"].IsSequence()) {
      *error = name + ": a recipe is a mapping with a list of sources";
      return -1;
    }
    if (root["title"]) recipe->title = root["title"].as<std::string>();
    if (root["description"]) recipe->description = root["description"].as<std::string>();
    recipe->sea = root["sea"] && root["sea"].as<bool>();
    if (root["extent"]) {
      const YAML::Node extent = root["extent"];
      if (!extent.IsSequence() || extent.size() != 4) {
        *error = Where(extent, name) + ": extent is [west, south, east, north] in degrees";
        return -1;
      }
      for (int i = 0; i < 4; ++i) recipe->extent[i] = extent[i].as<double>();
      recipe->hasExtent = recipe->extent[0] < recipe->extent[2] && recipe->extent[1] < recipe->extent[3];
      if (!recipe->hasExtent) {
        *error = Where(extent, name) + ": extent must have west < east and south < north";
        return -1;
      }
    }
    for (const YAML::Node& sourceNode : root["sources"]) {
      RecipeSource source;
      if (!ParseSource(sourceNode, name, base, &source, error)) return -1;
      recipe->sources.push_back(source);
    }
  } catch (const YAML::Exception& exception) {
    *error = name + ":" + std::to_string(exception.mark.line + 1) + ": " + exception.msg;
    return -1;
  }
  return 0;
}

int LoadRecipe(const std::string& path, const std::string& dataDirectory, Recipe* recipe, std::string* error) {
  std::ifstream file(path);
  if (!file) {
    *error = "cannot read the recipe " + path;
    return -1;
  }
  std::stringstream text;
  text << file.rdbuf();
  return ParseRecipe(text.str(), path, dataDirectory, recipe, error);
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
