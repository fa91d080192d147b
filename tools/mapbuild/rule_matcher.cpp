#include "tools/mapbuild/rule_matcher.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The condition a rule is filed under: the first that requires its key to
// be there with a non-empty value (key=value, key=*, key>=n, key<n), or
// null when every condition can hold without the key.
const RecipeCondition* RequiredCondition(const RecipeRule& rule) {
  for (const RecipeCondition& condition : rule.where) {
    if (!condition.negate && !condition.key.empty()) return &condition;
  }
  return nullptr;
}

bool IsPolygonal(const OGRGeometry& geometry) {
  const OGRwkbGeometryType type = wkbFlatten(geometry.getGeometryType());
  return type == wkbPolygon || type == wkbMultiPolygon;
}

// Vertices rounded to map units may make a valid ring touch itself;
// clipping such an area would fail and lose it.
void RepairArea(std::unique_ptr<OGRGeometry>* geometry) {
  if (!IsPolygonal(**geometry) || (*geometry)->IsValid()) return;
  std::unique_ptr<OGRGeometry> valid((*geometry)->MakeValid());
  if (valid) *geometry = std::move(valid);
}

}  // namespace

RuleMatcher::RuleMatcher(const RecipeSource& source, Habits habits) : source(source), habits(habits) {
  const size_t rules = source.rules.size();
  conditionKeys.resize(rules);
  textKey.assign(rules, -1);
  rankKey.assign(rules, -1);
  ruleShapes.assign(rules, 0);
  for (size_t r = 0; r < rules; ++r) {
    const RecipeRule& rule = source.rules[r];
    for (const RecipeCondition& condition : rule.where) conditionKeys[r].push_back(AddKey(condition.key));
    if (!rule.text.empty()) textKey[r] = AddKey(rule.text);
    if (!rule.rank.empty()) rankKey[r] = AddKey(rule.rank);
    for (int shape = 0; shape < OBJECT_SHAPE_COUNT; ++shape) {
      if (RuleTakes(rule.kind, static_cast<ObjectShape>(shape))) ruleShapes[r] |= ShapeBit(static_cast<ObjectShape>(shape));
    }
  }
  if (!source.renameKey.empty()) renameKey = AddKey(source.renameKey);
  filed.resize(keyNames.size());
  for (size_t r = 0; r < rules; ++r) FileRule(static_cast<int>(r));
}

int RuleMatcher::AddKey(const std::string& name) {
  const auto known = keyNumbers.find(name);
  if (known != keyNumbers.end()) return known->second;
  const int number = static_cast<int>(keyNames.size());
  keyNames.push_back(&name);  // the recipe's own string, which outlives the table
  keyNumbers.emplace(std::string_view(name), number);
  return number;
}

int RuleMatcher::KeyOf(std::string_view name) const {
  const auto found = keyNumbers.find(name);
  return found == keyNumbers.end() ? -1 : found->second;
}

void RuleMatcher::FileRule(int rule) {
  const RecipeCondition* required = RequiredCondition(source.rules[rule]);
  if (required == nullptr) {
    unkeyed.push_back(rule);
    return;
  }
  const int key = KeyOf(required->key);
  if (std::find(filedKeys.begin(), filedKeys.end(), key) == filedKeys.end()) filedKeys.push_back(key);
  KeyedRules& rules = filed[key];
  if (required->test != TEST_EQUALS || required->values.empty()) {
    rules.anyValue.push_back(rule);
    return;
  }
  for (const std::string& value : required->values) {
    std::vector<int>& under = rules.byValue[value];
    if (under.empty() || under.back() != rule) under.push_back(rule);
  }
}

bool RuleMatcher::RequiredKeys(ObjectShape shape, std::set<std::string>* keys) const {
  bool keyed = true;
  for (size_t r = 0; r < source.rules.size(); ++r) {
    if ((ruleShapes[r] & ShapeBit(shape)) == 0) continue;
    const RecipeCondition* required = RequiredCondition(source.rules[r]);
    if (required != nullptr) keys->insert(required->key);
    keyed = keyed && required != nullptr;
  }
  return keyed;
}

bool RuleMatcher::Holds(int rule, FeatureAttributes& attributes) const {
  const std::vector<RecipeCondition>& where = source.rules[rule].where;
  for (size_t c = 0; c < where.size(); ++c) {
    if (!ConditionHolds(where[c], attributes.Value(conditionKeys[rule][c]))) return false;
  }
  return true;
}

bool RuleMatcher::ReadLabel(int rule, FeatureAttributes& attributes, Found* into) const {
  into->rule = rule;
  into->text.clear();
  into->rank = 0;
  if (textKey[rule] >= 0) {
    const char* text = attributes.Value(textKey[rule]);
    if (text == nullptr) return false;
    const std::string raw = text;  // the next lookup may reuse the reader's buffer
    into->text = CorrectedLabelText(source, renameKey >= 0 ? attributes.Value(renameKey) : nullptr, raw);
    if (into->text.empty()) return false;
  }
  if (rankKey[rule] >= 0) {
    const char* rank = attributes.Value(rankKey[rule]);
    into->rank = rank != nullptr ? std::atof(rank) : 0;
  }
  return true;
}

bool RuleMatcher::FindMatches(uint8_t shapes, FeatureAttributes& attributes) {
  candidates.clear();
  for (int rule : unkeyed) candidates.push_back(rule);
  for (int key : filedKeys) {
    const char* value = attributes.Value(key);
    if (value == nullptr || value[0] == '\0') continue;
    const KeyedRules& rules = filed[key];
    candidates.insert(candidates.end(), rules.anyValue.begin(), rules.anyValue.end());
    const auto under = rules.byValue.find(std::string_view(value));
    if (under != rules.byValue.end()) candidates.insert(candidates.end(), under->second.begin(), under->second.end());
  }
  std::sort(candidates.begin(), candidates.end());
  found.clear();
  for (int rule : candidates) {
    if ((ruleShapes[rule] & shapes) == 0) continue;
    if (!Holds(rule, attributes)) continue;
    Found match;
    if (ReadLabel(rule, attributes, &match)) found.push_back(std::move(match));
  }
  return !found.empty();
}

int RuleMatcher::Emit(std::unique_ptr<OGRGeometry> geometry, GeometryFault fault, const FeatureSink& sink,
                      SourceSummary* summary) {
  if (!geometry) {
    ++(fault == GEOMETRY_OUTSIDE ? summary->outside : summary->noGeometry);
    return 0;
  }
  if (habits.repairAreas) RepairArea(&geometry);
  for (size_t i = 0; i < found.size(); ++i) {
    SourceFeature out;
    out.rule = found[i].rule;
    // The last match takes the geometry itself; the others a copy.
    out.geometry = i + 1 < found.size() ? std::unique_ptr<OGRGeometry>(geometry->clone()) : std::move(geometry);
    out.text = std::move(found[i].text);
    out.rank = found[i].rank;
    ++summary->matched;
    if (const int result = sink(std::move(out)); result != 0) return result;
  }
  return 0;
}
