#include "tools/mapbuild/source_reader.h"

#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_minixml.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "logs/nmea_reader.h"
#include "tools/mapbuild/rule_matcher.h"

namespace {

constexpr double HUNDREDTHS_PER_DEGREE = 360000.0;
constexpr char OSM_OTHER_TAGS[] = "other_tags";

// WGS84 degrees to map units through the log reader's own conversion, as an
// OGR transformation so that OGRGeometry::transform walks every vertex.
}  // namespace

bool DegreesToMapUnits(double lon, double lat, double* x, double* y) {
  const double lonH = std::round(lon * HUNDREDTHS_PER_DEGREE);
  const double latH = std::round(lat * HUNDREDTHS_PER_DEGREE);
  int32_t mapX = 0, mapY = 0;
  const bool ok = std::isfinite(lonH) && std::isfinite(latH) && std::fabs(lonH) < 2e9 && std::fabs(latH) < 2e9 &&
                  WgsToMapUnits(static_cast<int32_t>(lonH), static_cast<int32_t>(latH), &mapX, &mapY) == 0;
  if (ok) {
    *x = mapX;
    *y = mapY;
  }
  return ok;
}

namespace {

class MapUnitTransform : public OGRCoordinateTransformation {
 public:
  OGRSpatialReference* GetSourceCS() override { return nullptr; }
  OGRSpatialReference* GetTargetCS() override { return nullptr; }
  OGRCoordinateTransformation* Clone() const override { return new MapUnitTransform(); }
  OGRCoordinateTransformation* GetInverse() const override { return nullptr; }
  int Transform(int count, double* x, double* y, double*, double*, int* success) override {
    int good = 0;
    for (int i = 0; i < count; ++i) {
      const bool ok = DegreesToMapUnits(x[i], y[i], &x[i], &y[i]);
      if (ok) ++good;
      if (success != nullptr) success[i] = ok;
    }
    return good == count;
  }
};

// The value of `key` of a feature: its own field, else the OSM driver's
// "other_tags" ("k"=>"v","k2"=>"v2"), parsed once per feature.
class Attributes final : public FeatureAttributes {
 public:
  Attributes(OGRFeature* feature, const RuleMatcher& matcher) : feature(feature), matcher(matcher) {}
  const char* Value(int key) override { return Get(matcher.KeyName(key)); }

 private:
  const char* Get(const std::string& key) {
    const int index = feature->GetFieldIndex(key.c_str());
    if (index >= 0) return feature->IsFieldSetAndNotNull(index) ? feature->GetFieldAsString(index) : nullptr;
    if (!parsed) ParseOtherTags();
    const auto found = tags.find(key);
    return found == tags.end() ? nullptr : found->second.c_str();
  }

  void ParseOtherTags() {
    parsed = true;
    const int index = feature->GetFieldIndex(OSM_OTHER_TAGS);
    if (index < 0 || !feature->IsFieldSetAndNotNull(index)) return;
    const char* p = feature->GetFieldAsString(index);
    std::string key, value;
    while (*p != '\0') {
      if (!Quoted(&p, &key) || std::strncmp(p, "=>", 2) != 0) return;
      p += 2;
      if (!Quoted(&p, &value)) return;
      tags[key] = value;
      if (*p == ',') ++p;
    }
  }
  // Reads "text" with backslash escapes; false when malformed.
  static bool Quoted(const char** p, std::string* out) {
    out->clear();
    if (**p != '"') return false;
    for (++*p; **p != '\0' && **p != '"'; ++*p) {
      if (**p == '\\' && (*p)[1] != '\0') ++*p;
      out->push_back(**p);
    }
    if (**p != '"') return false;
    ++*p;
    return true;
  }

  OGRFeature* feature;
  const RuleMatcher& matcher;
  bool parsed = false;
  std::map<std::string, std::string> tags;
};

bool WantsLayer(const RecipeSource& source, const char* name) {
  if (source.layers.empty()) return true;
  for (const std::string& layer : source.layers) {
    if (layer == name) return true;
  }
  return false;
}

// The transformation of a layer to WGS84 longitude/latitude; null (with no
// error) when the layer already is WGS84 or has no CRS and none was given.
bool LayerTransform(const RecipeSource& source, OGRLayer* layer,
                    std::unique_ptr<OGRCoordinateTransformation>* transform, std::string* error) {
  OGRSpatialReference given;
  const OGRSpatialReference* from = layer->GetSpatialRef();
  if (!source.srs.empty()) {
    if (given.SetFromUserInput(source.srs.c_str()) != OGRERR_NONE) {
      *error = source.id + ": cannot read the CRS \"" + source.srs + "\"";
      return false;
    }
    from = &given;
  }
  transform->reset();
  if (from == nullptr) return true;  // taken as WGS84 degrees, as the recipe says by giving none
  OGRSpatialReference sourceCrs(*from);
  sourceCrs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  OGRSpatialReference wgs84;
  wgs84.SetWellKnownGeogCS("WGS84");
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  transform->reset(OGRCreateCoordinateTransformation(&sourceCrs, &wgs84));
  if (!*transform) {
    *error = source.id + ": no transformation from the layer's CRS to WGS84";
    return false;
  }
  return true;
}

// The ids of the objects an OSM XML file marks as deleted
// (action="delete": an editor's working copy keeps deleted objects until
// they are uploaded). They are no longer part of the data. Nodes, ways and
// relations have ids of their own; the set holds "node/ID", "way/ID" and
// "relation/ID". Files that are not OSM XML give an empty set. Returns
// false when an OSM XML file cannot be parsed: the deleted objects would
// then be taken as data.
bool FindDeletedOsmObjects(const std::string& path, std::set<std::string>* deleted) {
  const std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : "";
  if (extension != ".osm") return true;
  CPLXMLNode* root = CPLParseXMLFile(path.c_str());
  if (root == nullptr) return false;
  for (const CPLXMLNode* top = root; top != nullptr; top = top->psNext) {
    if (top->eType != CXT_Element || std::strcmp(top->pszValue, "osm") != 0) continue;
    for (const CPLXMLNode* object = top->psChild; object != nullptr; object = object->psNext) {
      if (object->eType != CXT_Element) continue;
      const char* action = CPLGetXMLValue(object, "action", "");
      const char* id = CPLGetXMLValue(object, "id", nullptr);
      if (std::strcmp(action, "delete") == 0 && id != nullptr) deleted->insert(std::string(object->pszValue) + "/" + id);
    }
  }
  CPLDestroyXMLNode(root);
  return true;
}

// True when `feature` of the OSM driver is one of the `deleted` objects:
// points are nodes, lines ways, areas closed ways (osm_way_id) or
// relations (osm_id), other relations relations.
bool IsDeletedOsmFeature(OGRLayer* layer, OGRFeature* feature, const std::set<std::string>& deleted) {
  if (deleted.empty()) return false;
  const std::string name = layer->GetName();
  auto idOf = [&](const char* field) -> std::string {
    const int index = feature->GetFieldIndex(field);
    return index >= 0 && feature->IsFieldSetAndNotNull(index) ? feature->GetFieldAsString(index) : std::string();
  };
  const std::string wayId = idOf("osm_way_id"), id = idOf("osm_id");
  if (!wayId.empty()) return deleted.count("way/" + wayId) > 0;
  if (id.empty()) return false;
  const char* kind = name == "points" ? "node/" : name == "lines" ? "way/" : "relation/";
  return deleted.count(kind + id) > 0;
}

void SilentHandler(CPLErr level, CPLErrorNum, const char* message) {
  if (level >= CE_Failure) std::fprintf(stderr, "tevo-mapbuild: GDAL: %s\n", message);
}

// Keeps the first failure GDAL reports while a source is opened and read,
// so that the build fails with it instead of going on with what was read
// up to there (a truncated file, a parser that gave up). While not
// listening (transforming what was read), failures are printed as before.
class ReadFailures {
 public:
  ReadFailures() { CPLPushErrorHandlerEx(Handler, this); }
  ~ReadFailures() { CPLPopErrorHandler(); }
  ReadFailures(const ReadFailures&) = delete;
  ReadFailures& operator=(const ReadFailures&) = delete;

  void Listen(bool on) { listening = on; }
  bool Failed() const { return failed; }
  // "SOURCE: GDAL: MESSAGE" with what was being done.
  std::string Describe(const RecipeSource& source, const std::string& doing) const {
    return source.id + ": " + doing + " " + source.resolvedPath + " failed" + (message.empty() ? "" : ": GDAL: " + message);
  }

 private:
  static void Handler(CPLErr level, CPLErrorNum number, const char* text) {
    auto* self = static_cast<ReadFailures*>(CPLGetErrorHandlerUserData());
    if (self == nullptr || !self->listening) {
      SilentHandler(level, number, text);
      return;
    }
    if (level < CE_Failure || self->failed) return;
    self->failed = true;
    self->message = text != nullptr ? text : "";
  }

  bool listening = true;
  bool failed = false;
  std::string message;
};

// False with the reason when a layer the recipe names is not in the dataset.
bool HasNamedLayers(const RecipeSource& source, GDALDataset* dataset, std::string* error) {
  for (const std::string& wanted : source.layers) {
    bool found = false;
    std::string names;
    for (OGRLayer* layer : dataset->GetLayers()) {
      found = found || wanted == layer->GetName();
      names += (names.empty() ? "" : ", ") + std::string(layer->GetName());
    }
    if (!found) {
      *error = source.id + ": " + source.resolvedPath + " has no layer \"" + wanted + "\" (its layers: " + names + ")";
      return false;
    }
  }
  return true;
}

}  // namespace

void PrepareGdal() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  GDALAllRegister();
  CPLSetErrorHandler(SilentHandler);
}

int DegreesToMapGeometry(OGRGeometry* geometry) {
  MapUnitTransform toMap;
  return geometry->transform(&toMap) == OGRERR_NONE ? 0 : -1;
}

namespace {

using LayerTransforms = std::map<OGRLayer*, std::unique_ptr<OGRCoordinateTransformation>>;

// Opens the source's dataset and prepares a transform to degrees for each
// layer the source reads; null with the reason in *error.
std::unique_ptr<GDALDataset> OpenSource(const RecipeSource& source, ReadFailures* failures, LayerTransforms* transforms,
                                        std::string* error) {
  CPLStringList options;
  if (!source.encoding.empty()) options.AddNameValue("ENCODING", source.encoding.c_str());
  std::unique_ptr<GDALDataset> dataset(static_cast<GDALDataset*>(
      GDALOpenEx(source.resolvedPath.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, options.List(), nullptr)));
  if (failures->Failed()) {
    *error = failures->Describe(source, "opening");
    return nullptr;
  }
  if (!dataset) {
    *error = source.id + ": cannot open " + source.resolvedPath;
    return nullptr;
  }
  if (!HasNamedLayers(source, dataset.get(), error)) return nullptr;
  for (OGRLayer* layer : dataset->GetLayers()) {
    if (!WantsLayer(source, layer->GetName())) continue;
    if (!LayerTransform(source, layer, &(*transforms)[layer], error)) return nullptr;
  }
  return dataset;
}

}  // namespace

int ReadSource(const RecipeSource& source, const FeatureSink& sink, SourceSummary* summary, std::string* error) {
  PrepareGdal();
  ReadFailures failures;
  LayerTransforms transforms;
  std::unique_ptr<GDALDataset> dataset = OpenSource(source, &failures, &transforms, error);
  if (!dataset) return -1;
  std::set<std::string> deleted;
  if (!FindDeletedOsmObjects(source.resolvedPath, &deleted) || failures.Failed()) {
    *error = failures.Describe(source, "reading the objects marked deleted in");
    return -1;
  }
  MapUnitTransform toMap;
  RuleMatcher matcher(source, RuleMatcher::Habits{true, true});
  // Reading through the dataset serves every driver, and the OSM driver
  // needs it: it hands out the features of all its layers interleaved.
  dataset->ResetReading();
  for (;;) {
    OGRLayer* layer = nullptr;
    failures.Listen(true);
    std::unique_ptr<OGRFeature> feature(dataset->GetNextFeature(&layer, nullptr, nullptr, nullptr));
    failures.Listen(false);
    if (failures.Failed()) {
      *error = failures.Describe(source, "reading feature " + std::to_string(summary->read + summary->deleted + 1) + " of");
      return -1;
    }
    if (!feature) break;
    const auto transform = transforms.find(layer);
    if (transform == transforms.end()) continue;
    if (IsDeletedOsmFeature(layer, feature.get(), deleted)) {
      ++summary->deleted;
      continue;
    }
    Attributes attributes(feature.get(), matcher);
    const auto mapGeometry = [&](GeometryFault* fault) -> std::unique_ptr<OGRGeometry> {
      std::unique_ptr<OGRGeometry> geometry(feature->StealGeometry());
      if (!geometry || geometry->IsEmpty()) return nullptr;
      if ((transform->second && geometry->transform(transform->second.get()) != OGRERR_NONE) ||
          geometry->transform(&toMap) != OGRERR_NONE) {
        *fault = GEOMETRY_OUTSIDE;
        return nullptr;
      }
      return geometry;
    };
    if (matcher.Match(ANY_SHAPE, attributes, mapGeometry, sink, summary) != 0) return -1;
  }
  return 0;
}
