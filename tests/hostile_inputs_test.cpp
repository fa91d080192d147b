// The map builder and the map commands of the log tool against broken and
// hostile inputs, run as a user runs them: each must refuse what it cannot
// use with a message and a non-zero exit, never hang, and never lose the
// map it would replace.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <osmium/builder/attr.hpp>
#include <osmium/io/pbf_output.hpp>
#include <osmium/io/writer.hpp>

#include "logs_test_support.h"
#include "platform/unicode.h"

namespace {

// Seconds after which a command that has not finished is taken to hang.
constexpr int HANG_SECONDS = 30;
// The same for builds of the largest geometries (minutes of work on a
// machine shared with other builds; running away took well over ten).
constexpr int LARGE_BUILD_SECONDS = 600;

std::string Quote(const std::string& text) { return "'" + text + "'"; }

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

// Runs `program arguments` in `folder` with its output captured; killed
// after `seconds`.
ToolRun RunIn(const fs::path& folder, const std::string& program, const std::string& arguments,
              int seconds = HANG_SECONDS) {
  const std::string line = "cd " + Quote(folder.string()) + " && timeout -s KILL " + std::to_string(seconds) + " " +
                           Quote(program) + " " + arguments + " >stdout.txt 2>stderr.txt";
  const int status = std::system(line.c_str());
  return {status == -1 ? -1 : WEXITSTATUS(status), ReadFile(folder / "stdout.txt"), ReadFile(folder / "stderr.txt")};
}

// A road and a named place near Nagoya, a licence, and a recipe over them.
constexpr char SOURCE[] = R"({"type":"FeatureCollection","features":[
{"type":"Feature","properties":{"kind":"road"},"geometry":{"type":"LineString","coordinates":[[136.90,35.17],[136.92,35.17]]}},
{"type":"Feature","properties":{"kind":"place","name":"栄"},"geometry":{"type":"Point","coordinates":[136.91,35.172]}}]})";
constexpr char RECIPE[] = R"(title: test
sources:
  - id: shapes
    path: s.geojson
    licence: [LICENCE.txt]
    rules:
      - {where: "kind=road", road: 3, levels: 62-0}
      - {where: "kind=place", label: 320, text: name, levels: 62}
)";

class HostileInputTest : public ScratchDirectoryTest {
 protected:
  void SetUp() override {
    ScratchDirectoryTest::SetUp();
    Write("s.geojson", SOURCE);
    Write("LICENCE.txt", "licence text\n");
    Write("r.yaml", RECIPE);
    fs::create_directories(directory / "out");
    BuildOldMap();
  }

  // The map a build would replace, and its attribution file, as they are.
  void BuildOldMap() {
    const ToolRun run = Build("r.yaml -o out/m.kwi");
    ASSERT_EQ(run.status, 0) << run.err;
    oldMap = ReadFile(directory / "out/m.kwi");
    oldAttribution = ReadFile(directory / "out/m.kwi.txt");
  }

  ToolRun Build(const std::string& arguments, int seconds = HANG_SECONDS) {
    return RunIn(directory, TEVO_MAPBUILD, arguments, seconds);
  }
  ToolRun Logtool(const std::string& arguments) { return RunIn(directory, TEVO_LOGTOOL, arguments); }

  // The old map and attribution file are as they were, and nothing else
  // (no temporary file) is left beside them.
  void ExpectOldMapKept(const std::string& what) {
    EXPECT_EQ(ReadFile(directory / "out/m.kwi"), oldMap) << what;
    EXPECT_EQ(ReadFile(directory / "out/m.kwi.txt"), oldAttribution) << what;
  }
  void ExpectNothingBesideTheMap(const std::string& what) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory / "out")) names.push_back(entry.path().filename());
    EXPECT_EQ(names.size(), 2u) << what << ": " << ::testing::PrintToString(names);
  }

  // Runs the builder in a child process whose files may grow to
  // `fileLimit` bytes; past that a write fails (`ignoreSignal`, as on a
  // full disk) or the kernel kills the child in the write (SIGXFSZ).
  int BuildWithFileLimit(rlim_t fileLimit, bool ignoreSignal) {
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(directory.c_str()) != 0) _exit(120);
      const struct rlimit limit{fileLimit, fileLimit}, noCore{0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(121);
      signal(SIGXFSZ, ignoreSignal ? SIG_IGN : SIG_DFL);
      if (freopen("stderr.txt", "w", stderr) == nullptr) _exit(122);
      // A builder the kernel kills cannot remove its temporary folder: keep
      // it in the scratch directory, which the test removes.
      setenv("TMPDIR", directory.c_str(), 1);
      execl(TEVO_MAPBUILD, TEVO_MAPBUILD, "r.yaml", "-o", "out/m.kwi", static_cast<char*>(nullptr));
      _exit(123);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
  }

  // Builds each case's one feature (name, source, rule) and expects the
  // build to finish with every level reported.
  struct GeometryCase {
    std::string name, source, rule;
    std::string alsoSays = "";  // a further fragment of the progress lines
  };
  void BuildEach(const std::vector<GeometryCase>& cases) {
    for (const GeometryCase& c : cases) {
      Write("x.geojson", c.source);
      Write("x.yaml", "sources:\n  - path: x.geojson\n    rules:\n      - {" + c.rule + "}\n");
      const ToolRun run = Build("x.yaml -o out/x.kwi", LARGE_BUILD_SECONDS);
      EXPECT_EQ(run.status, 0) << c.name << "\n" << run.err;
      EXPECT_NE(run.err.find("level 10:"), std::string::npos) << c.name << ": no progress to the last level";
      EXPECT_NE(run.err.find(c.alsoSays), std::string::npos) << c.name << ": no \"" << c.alsoSays << "\"";
    }
  }

  std::string oldMap, oldAttribution;
};

// Makes the files of one case in its folder.
using Setup = std::function<void(const fs::path& folder)>;

// One hostile input of the builder: the files it needs besides the
// fixture, the arguments, and what the builder must answer.
struct HostileCase {
  const char* name;
  Setup setup;
  std::string arguments;
  int status;
  const char* message;
};

std::string DataFile(const std::string& relative) {
  const char* data = std::getenv("TEVO_TEST_DATA_DIR");
  return std::string(data != nullptr ? data : ".") + "/" + relative;
}

// The fixture recipe with `from` replaced by `to` (the first time).
std::string RecipeWith(const std::string& from, const std::string& to) {
  std::string text = RECIPE;
  text.replace(text.find(from), from.size(), to);
  return text;
}

Setup Recipe(const std::string& text) {
  return [text](const fs::path& folder) { WriteFile(folder / "r.yaml", text); };
}

// `name` made by `make`, and the recipe naming it instead of `replacing`.
Setup FileFor(const std::string& replacing, const std::string& name, const std::function<void(const fs::path&)>& make) {
  return [=](const fs::path& folder) {
    make(folder / name);
    WriteFile(folder / "r.yaml", RecipeWith(replacing, name));
  };
}
void MakeFifo(const fs::path& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path; }

// The real road shapefile as n.shp, its .shp cut short by `cut` bytes or
// its .dbf a named pipe.
Setup RoadShapefile(size_t cut, bool dbfIsFifo) {
  return FileFor("s.geojson", "n.shp", [=](const fs::path& shp) {
    const std::string real = DataFile("geodata/osaka-shp/N01-07L-2K-27_Road");
    const std::string bytes = ReadFile(real + ".shp");
    WriteFile(shp, bytes.substr(0, bytes.size() - cut));
    fs::copy_file(real + ".shx", fs::path(shp).replace_extension(".shx"));
    if (dbfIsFifo) MakeFifo(fs::path(shp).replace_extension(".dbf"));
    if (!dbfIsFifo) fs::copy_file(real + ".dbf", fs::path(shp).replace_extension(".dbf"));
  });
}

// An OSM XML source n.osm with `text`.
Setup OsmSource(const std::string& text) {
  return [text](const fs::path& folder) {
    WriteFile(folder / "n.osm", text);
    WriteFile(folder / "r.yaml", "sources:\n  - path: n.osm\n    rules:\n"
                                 "      - {where: \"railway=station\", label: 257, text: name, levels: 62}\n");
  };
}

std::string WithoutLastBytes(const std::string& path, size_t cut) {
  const std::string bytes = ReadFile(path);
  return bytes.substr(0, bytes.size() - cut);
}

// An OSM object of a crafted extract: its type ('n', 'w' or 'r'), id,
// location (nodes), node ids (ways), way ids (relations) and tags.
struct OsmObject {
  char type;
  int64_t id;
  double lon = 0, lat = 0;
  std::vector<int64_t> refs = {};
  std::vector<std::pair<std::string, std::string>> tags = {};
};

// The objects in the order given as an uncompressed PBF n.osm.pbf, in which
// every `from` text is then replaced by `to` of the same length (to put
// bytes no writer would write), and a recipe over it.
Setup OsmPbf(const std::vector<OsmObject>& objects, const std::string& from = "", const std::string& to = "") {
  return [=](const fs::path& folder) {
    using namespace osmium::builder::attr;
    osmium::memory::Buffer buffer(1 << 16, osmium::memory::Buffer::auto_grow::yes);
    for (const OsmObject& o : objects) {
      std::vector<std::pair<const char*, const char*>> tags;
      for (const auto& tag : o.tags) tags.emplace_back(tag.first.c_str(), tag.second.c_str());
      if (o.type == 'n') {
        osmium::builder::add_node(buffer, _id(o.id), _version(1), _location(o.lon, o.lat), _tags(tags));
      } else if (o.type == 'w') {
        osmium::builder::add_way(buffer, _id(o.id), _version(1), _nodes(std::vector<osmium::object_id_type>(o.refs.begin(), o.refs.end())), _tags(tags));
      } else {
        std::vector<member_type> members;
        for (int64_t ref : o.refs) members.emplace_back(osmium::item_type::way, ref, "outer");
        osmium::builder::add_relation(buffer, _id(o.id), _version(1), _members(members), _tags(tags));
      }
    }
    const fs::path pbf = folder / "n.osm.pbf";
    osmium::io::Writer writer(osmium::io::File(pbf.string(), "pbf,pbf_compression=none"), osmium::io::overwrite::allow);
    writer(std::move(buffer));
    writer.close();
    std::string bytes = ReadFile(pbf);
    if (!from.empty()) {
      const size_t at = bytes.find(from);
      ASSERT_NE(at, std::string::npos) << from;
      bytes.replace(at, from.size(), to);
    }
    WriteFile(pbf, bytes);
    WriteFile(folder / "r.yaml", "sources:\n  - path: n.osm.pbf\n    rules:\n"
                                 "      - {where: \"highway=*\", road: 3, levels: 62-0}\n"
                                 "      - {where: \"building=*\", area: 3200, levels: 62}\n"
                                 "      - {where: \"name=*\", label: 320, text: name, levels: 62}\n");
  };
}

// A road near Nagoya with its two nodes.
const std::vector<OsmObject> ROAD_NODES = {{'n', 1, 136.90, 35.17}, {'n', 2, 136.92, 35.17}};
const OsmObject ROAD = {'w', 10, 0, 0, {1, 2}, {{"highway", "primary"}}};

std::vector<OsmObject> Objects(std::vector<OsmObject> first, const std::vector<OsmObject>& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

constexpr char ENTITY_BOMB[] = R"(<?xml version="1.0"?>
<!DOCTYPE osm [
 <!ENTITY a "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa">
 <!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
 <!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">
 <!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">
 <!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;">
]>
<osm version="0.6" generator="test">
  <node id="1" version="1" lat="35.16" lon="136.90"><tag k="name" v="&e;"/><tag k="railway" v="station"/></node>
</osm>
)";

TEST_F(HostileInputTest, HostileRecipesAndSourcesAreRefusedAndTheOldMapKept) {
  const std::string build = "r.yaml -o out/m.kwi";
  const HostileCase cases[] = {
      // An output that is one of the inputs, whatever its spelling.
      {"output is the recipe", nullptr, "r.yaml -o ./r.yaml", 1, "is the recipe"},
      {"output is the source", nullptr, "r.yaml -o out/../s.geojson", 1, "source shapes"},
      {"output is the licence", nullptr, "r.yaml -o LICENCE.txt", 1, "licence of source shapes"},
      {"output is a hard link to the source",
       [](const fs::path& f) { fs::create_hard_link(f / "s.geojson", f / "link.kwi"); }, "r.yaml -o link.kwi", 1,
       "source shapes"},
      {"output named like a source, beside it", nullptr, "r.yaml -o s.kwi", 0, ""},
      {"attribution file is the recipe", [](const fs::path& f) { fs::copy_file(f / "r.yaml", f / "m.kwi.txt"); },
       "m.kwi.txt -o m.kwi", 1, "is the recipe"},
      // Special files in place of an input are refused at once.
      {"recipe is a named pipe", [](const fs::path& f) { MakeFifo(f / "p.yaml"); }, "p.yaml -o out/m.kwi", 1,
       "not a plain file"},
      {"source is a named pipe", FileFor("s.geojson", "p.geojson", MakeFifo), build, 1, "not a plain file"},
      {"file beside a shapefile is a named pipe", RoadShapefile(0, true), build, 1, "n.dbf is not a plain file"},
      {"source is a device", Recipe(RecipeWith("s.geojson", "/dev/zero")), build, 1, "not a plain file"},
      {"licence is a named pipe", FileFor("LICENCE.txt", "L.txt", MakeFifo), build, 1, "not a plain file"},
      // Errors of the geodata library fail the build with its message.
      {"truncated shapefile", RoadShapefile(331350, false), build, 1, "GDAL: Error in fread()"},
      {"truncated OSM file", OsmSource(WithoutLastBytes(DataFile("geodata/nagoya-osm/nagoya_fushimi.osm"), 8)), build,
       1, "n.osm failed: GDAL:"},
      {"XML entity expansion", OsmSource(ENTITY_BOMB), build, 1, "amplification"},
      // Crafted PBF extracts: what the OSM library cannot take is refused
      // with the object named, what lies outside the map is left out.
      {"NUL byte in a node's name",
       OsmPbf(Objects(ROAD_NODES, {{'n', 3, 136.91, 35.172, {}, {{"name", "SakaeXStation"}}}, ROAD}),
              "SakaeXStation", std::string("Sakae\0Station", 13)),
       build, 1, "node 3 has a tag with a NUL byte"},
      {"NUL byte in a relation's key",
       OsmPbf(Objects(ROAD_NODES, {ROAD, {'r', 20, 0, 0, {10}, {{"type", "multipolygon"}, {"buildingX", "yes"}}}}),
              "buildingX", std::string("buil\0ding", 9)),
       build, 1, "relation 20 has a tag with a NUL byte"},
      {"ways stored before their nodes", OsmPbf(Objects({ROAD}, ROAD_NODES)), build, 1,
       "node 1 comes after way 10: the extract's object types are out of order"},
      {"a node id twice", OsmPbf(Objects(ROAD_NODES, {{'n', 2, 136.93, 35.18}, ROAD})), build, 1, "duplicate id 2"},
      {"closed way at the corners of the world",
       OsmPbf(Objects(ROAD_NODES, {{'n', 3, -180, -90}, {'n', 4, 180, -90}, {'n', 5, 180, 90}, {'n', 6, -180, 90},
                                   ROAD, {'w', 11, 0, 0, {3, 4, 5, 6, 3}, {{"building", "yes"}}}})),
       build, 0, "1 rule matches"},
      // Recipe mistakes, each with its file and line.
      {"misspelled levels", Recipe(RecipeWith("levels: 62-0", "level: 62-0")), build, 1,
       "r.yaml:7: unknown key \"level\""},
      {"misspelled order", Recipe(RecipeWith("levels: 62-0", "levels: 62-0, ordr: 3")), build, 1,
       "unknown key \"ordr\""},
      {"unknown layer", Recipe(RecipeWith("    licence:", "    layer: roads\n    licence:")), build, 1,
       "has no layer \"roads\""},
      {"levels with trailing text", Recipe(RecipeWith("62-0", "\"62 - 4x\"")), build, 1,
       "r.yaml:7: levels are level codes"},
      {"a rule with a kind twice", Recipe(RecipeWith("road: 3", "road: 3, road: 4")), build, 1,
       "\"road\" is given twice"},
      {"creates outside levels", Recipe(RecipeWith("levels: 62-0", "levels: 62-0, creates: 0-4")), build, 1,
       "reaches outside the rule's levels"},
      {"unknown encoding", Recipe(RecipeWith("    licence:", "    encoding: CP9999\n    licence:")), build, 1,
       "unknown encoding \"CP9999\""},
      {"misspelled top-level key", Recipe(std::string("extents: [130, 30, 140, 40]\n") + RECIPE), build, 1,
       "r.yaml:1: unknown key \"extents\""},
      {"extent with west east of east", Recipe(std::string("extent: [140, 30, 130, 40]\n") + RECIPE), build, 1,
       "r.yaml:1: extent must have west < east"},
      {"text on a road", Recipe(RecipeWith("road: 3", "road: 3, text: name")), build, 1, "text is for labels"},
      {"source without a matching feature",
       Recipe(std::string(RECIPE) + "  - {id: none, path: s.geojson, rules: [{where: \"kind=rail\", road: 3}]}\n"),
       build + " --quiet", 0, "warning: source none gave no feature"},
      // Licences: plain files below the data folder, of a sane size, all
      // checked before anything is read or written.
      {"licence outside the data folder", Recipe(RecipeWith("LICENCE.txt", "/etc/passwd")), build, 1,
       "lies outside the data folder"},
      {"licence is the zero device", Recipe(RecipeWith("LICENCE.txt", "/dev/zero")), build, 1,
       "lies outside the data folder"},
      {"licence linked from outside",
       FileFor("LICENCE.txt", "L.txt", [](const fs::path& l) { fs::create_symlink("/etc/passwd", l); }), build, 1,
       "lies outside the data folder"},
      {"licence of 2 MB",
       FileFor("LICENCE.txt", "L.txt", [](const fs::path& l) { WriteFile(l, std::string(2 << 20, 'x')); }), build, 1,
       "a licence text is 1 to 1048576 bytes"},
      {"missing licence", Recipe(RecipeWith("LICENCE.txt", "NOTICE.txt")), build, 1, "cannot read the licence"},
      // Texts: invalid UTF-8 is refused with its line.
      {"title not UTF-8", Recipe(RecipeWith("title: test", "title: t\xE9st")), build, 1, "r.yaml:1: not UTF-8"},
      // Output names and inputs that cannot work are refused before anything is read.
      {"output named -", nullptr, "r.yaml -o -", 1, "cannot be written to stdout"},
      {"empty output name", nullptr, "r.yaml -o ''", 1, "the output's name (-o) is empty"},
      {"output is a folder", nullptr, "r.yaml -o out/", 1, "out/ is a folder"},
      {"compressed extract", [](const fs::path& f) { WriteFile(f / "on.osm.bz2", "BZh9"); },
       "--osm on.osm.bz2 -o out/m.kwi", 1, "--osm reads OSM PBF files (.osm.pbf)"},
      {"land file of lines only",
       [](const fs::path& f) {
         WriteFile(f / "x.osm.pbf", "");
         fs::copy_file(DataFile("geodata/coastline/shoreline_high.geojson"), f / "shore.geojson");
       },
       "--osm x.osm.pbf --land shore.geojson -o out/m.kwi", 1, "land file shore.geojson holds no polygon"},
      {"temporary folder in a missing folder", nullptr, build + " --tmp nowhere", 1,
       "cannot create a temporary folder in nowhere: No such file or directory"},
  };
  int passed = 0;
  for (const HostileCase& c : cases) {
    const fs::path folder = directory / "case";
    fs::remove_all(folder);
    fs::create_directories(folder / "out");
    for (const char* name : {"s.geojson", "LICENCE.txt", "r.yaml", "out/m.kwi", "out/m.kwi.txt"}) {
      fs::copy_file(directory / name, folder / name);
    }
    if (c.setup) c.setup(folder);
    const std::string recipe = ReadFile(folder / "r.yaml");
    const auto entries = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    const ToolRun run = RunIn(folder, TEVO_MAPBUILD, c.arguments);
    bool ok = run.status == c.status && run.err.find(c.message) != std::string::npos;
    EXPECT_TRUE(ok) << c.name << ": status " << run.status << ", stderr:\n" << run.err;
    if (c.status != 0) {
      // Nothing written, nothing read before the refusal was overwritten.
      ok = ok && ReadFile(folder / "out/m.kwi") == oldMap && ReadFile(folder / "out/m.kwi.txt") == oldAttribution &&
           ReadFile(folder / "r.yaml") == recipe && ReadFile(folder / "s.geojson") == SOURCE &&
           std::distance(fs::directory_iterator(folder / "out"), fs::directory_iterator()) == 2 &&
           std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == entries + 2;
      EXPECT_TRUE(ok) << c.name << ": a file was written or left behind";
    }
    passed += ok ? 1 : 0;
  }
  std::printf("hostile builder cases: %d of %zu passed\n", passed, std::size(cases));
}

TEST_F(HostileInputTest, AFullDiskLeavesTheOldMapAndNoTemporaryFile) {
  Write("r.yaml", RecipeWith("title: test", "title: new"));
  const int status = BuildWithFileLimit(oldMap.size() / 2, true);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(ReadFile(directory / "stderr.txt").find("File too large"), std::string::npos)
      << ReadFile(directory / "stderr.txt");
  ExpectOldMapKept("full disk");
  ExpectNothingBesideTheMap("full disk");
  // With room the same build replaces both files.
  EXPECT_EQ(Build("r.yaml -o out/m.kwi").status, 0);
  EXPECT_NE(ReadFile(directory / "out/m.kwi"), oldMap);
  EXPECT_NE(ReadFile(directory / "out/m.kwi.txt").find("Map data of new"), std::string::npos);
  ExpectNothingBesideTheMap("after the build");
}

TEST_F(HostileInputTest, ABuildKilledWhileWritingLeavesTheOldMapWhole) {
  Write("r.yaml", RecipeWith("title: test", "title: new"));
  // A reader holding the old map keeps reading the whole of it.
  FILE* viewer = std::fopen((directory / "out/m.kwi").c_str(), "rb");
  ASSERT_NE(viewer, nullptr);
  const int status = BuildWithFileLimit(oldMap.size() / 2, false);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  ExpectOldMapKept("killed build");
  std::string held(oldMap.size() + 1, '\0');
  held.resize(std::fread(held.data(), 1, held.size(), viewer));
  std::fclose(viewer);
  EXPECT_EQ(held, oldMap);
  // The next build recognises what the killed one left, beside the map and
  // in the temporary folder, removes it and says so.
  const ToolRun next = RunIn(directory, "env", "TMPDIR=. " + Quote(TEVO_MAPBUILD) + " r.yaml -o out/m.kwi");
  ASSERT_EQ(next.status, 0) << next.err;
  EXPECT_NE(next.err.find("removed out/m.kwi.tmp"), std::string::npos) << next.err;
  EXPECT_NE(next.err.find("removed ./tevo-mapbuild."), std::string::npos) << next.err;
  ExpectNothingBesideTheMap("after the next build");
  for (const auto& entry : fs::directory_iterator(directory)) {
    EXPECT_EQ(entry.path().filename().string().rfind("tevo-mapbuild.", 0), std::string::npos) << entry.path();
  }
}

// Holds a lock as a running build would: on the file at `path`, made empty.
struct HeldLock {
  explicit HeldLock(const fs::path& path) : fd(open(path.c_str(), O_RDWR | O_CREAT, 0600)) { flock(fd, LOCK_EX); }
  ~HeldLock() { close(fd); }
  int fd;
};

// What a build still running leaves alone: its lock on the output, its
// files beside the map, its temporary folder.
TEST_F(HostileInputTest, ARunningBuildsFilesAreLeftAloneAndItsOutputRefused) {
  fs::create_directories(directory / "tmp" / ("tevo-mapbuild.1.running"));
  HeldLock folder(directory / "tmp" / "tevo-mapbuild.1.running");
  HeldLock beside(directory / "out" / "m.kwi.tmp1-0");
  {
    HeldLock output(directory / "out" / "m.kwi.lock");
    const ToolRun run = Build("r.yaml -o out/m.kwi --tmp tmp");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("is writing out/m.kwi"), std::string::npos) << run.err;
    ExpectOldMapKept("output held");
  }
  fs::remove(directory / "out" / "m.kwi.lock");
  const ToolRun run = Build("r.yaml -o out/m.kwi --tmp tmp");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("removed"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists(directory / "out" / "m.kwi.tmp1-0"));
  EXPECT_TRUE(fs::exists(directory / "tmp" / "tevo-mapbuild.1.running"));
  EXPECT_FALSE(fs::exists(directory / "out" / "m.kwi.lock"));
}

// Routing writes its roads beside their name and renames them over it: a
// link planted at the old temporary name is neither followed nor renamed.
TEST_F(HostileInputTest, RoutesNeverWriteThroughAPlantedLink) {
  Write("w.txt", "route a\n35.17 136.90\n35.17 136.92\n");
  Write("victim.txt", "keep");
  fs::create_symlink(directory / "victim.txt", directory / "roads.txt.tmp");
  const ToolRun run = Build("r.yaml --routes w.txt -o roads.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(directory / "victim.txt"), "keep");
  EXPECT_FALSE(fs::is_symlink(directory / "roads.txt"));
  EXPECT_EQ(ReadFile(directory / "roads.txt").rfind("route a\nstretch ", 0), 0u) << ReadFile(directory / "roads.txt");
}

// A stand-in for the coastline program, run in place of the real one: what
// it does, the signal the build then gets (0: none) once the stand-in has
// started, and what the build must answer.
struct HelperCase {
  const char* name;
  std::string script;
  int signal;
  int status;
  const char* message;
};

// Seconds within which a build must end once signalled or once its helper
// has ended, whatever the helper leaves running (the goal is one second; a
// margin for a loaded machine).
constexpr double STOP_SECONDS = 2.5;

TEST_F(HostileInputTest, HelperProgramsThatHangIgnoreSignalsOrFloodCannotStallABuild) {
  const std::string started = "touch started\n";
  // A program of the helper's that keeps its stdout open; its pid is kept
  // so that the test can end it.
  const std::string holder = "(trap '' INT TERM HUP; exec sleep 60) & echo $! > holder.pid\n";
  const HelperCase cases[] = {
      {"helper ignores SIGINT and SIGTERM", "trap '' INT TERM HUP\n" + started + "while :; do sleep 0.1; done\n", SIGINT,
       128 + SIGINT, "interrupted"},
      {"helper's child keeps its stdout open after it ends", holder + "exit 0\n", 0, 1,
       "cannot read the land polygons"},
      {"helper and its child hold stdout and ignore SIGTERM", holder + "trap '' TERM\n" + started + "wait\n", SIGTERM,
       128 + SIGTERM, "interrupted"},
      {"helper floods its stdout", "yes flood | head -c 30000000\nexit 3\n", 0, 1, "its output was cut: 30000000 bytes"},
      // Its messages are cut to a few kilobytes, never inside a character.
      {"helper's message longer than is kept", "head -c 4095 /dev/zero | tr '\\0' x >&2\nprintf '\\343\\201\\202' >&2\nexit 3\n",
       0, 1, "xxx"},
  };
  fs::create_directories(directory / "bin");
  WriteFile(directory / "x.osm.pbf", "");
  for (const HelperCase& c : cases) {
    WriteFile(directory / "bin" / "osmcoastline", "#!/bin/sh\n" + c.script);
    fs::permissions(directory / "bin" / "osmcoastline", fs::perms::owner_all);
    fs::remove(directory / "started");
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(directory.c_str()) != 0 || freopen("stderr.txt", "w", stderr) == nullptr) _exit(120);
      setenv("PATH", ((directory / "bin").string() + ":/usr/bin:/bin").c_str(), 1);
      alarm(HANG_SECONDS);
      execl(TEVO_MAPBUILD, TEVO_MAPBUILD, "--osm", "x.osm.pbf", "-o", "out/m.kwi", "--tmp", ".",
            static_cast<char*>(nullptr));
      _exit(123);
    }
    // The gate: the stand-in has started (or, without a signal, the build runs on its own).
    while (c.signal != 0 && !fs::exists(directory / "started")) {
      if (waitpid(child, nullptr, WNOHANG) == child) FAIL() << c.name << ": ended before its helper started";
      usleep(1000);
    }
    const auto from = std::chrono::steady_clock::now();
    if (c.signal != 0) kill(child, c.signal);
    int status = 0;
    waitpid(child, &status, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    const std::string err = ReadFile(directory / "stderr.txt");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << c.name << ": status " << status << "\n" << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.name << "\n" << err;
    EXPECT_EQ(FindInvalidUtf8(err), std::string::npos) << c.name << "\n" << err;
    if (c.signal != 0) {
      EXPECT_LT(seconds, STOP_SECONDS) << c.name;
      std::printf("%s: stopped %.2f s after the signal\n", c.name, seconds);
    }
    if (fs::exists(directory / "holder.pid")) {
      kill(std::stoi(ReadFile(directory / "holder.pid")), SIGKILL);
      fs::remove(directory / "holder.pid");
    }
    ExpectOldMapKept(c.name);
    ExpectNothingBesideTheMap(c.name);
  }
}

// A label that does not fit whole is cut before the character that would
// be split (here an emoji, two UTF-16 units), and a long title before the
// character that would not fit its header field.
TEST_F(HostileInputTest, TextsAreCutOnCharacterBoundaries) {
  std::string label;
  for (int i = 0; i < 31; ++i) label += "あ";
  label += "\xF0\x9F\x9A\x97";  // U+1F697
  std::string title;
  for (int i = 0; i < 30; ++i) title += "地";  // 90 bytes for a 64-byte field
  std::string source = SOURCE;
  source.replace(source.find("栄"), std::string("栄").size(), label);
  Write("s.geojson", source);
  Write("r.yaml", RecipeWith("title: test", "title: " + title));
  const ToolRun build = Build("r.yaml -o out/m.kwi");
  ASSERT_EQ(build.status, 0) << build.err;
  const ToolRun dump = Logtool("dump out/m.kwi");
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_NE(dump.out.find("charCount=31 text=\"" + label.substr(0, 31 * 3) + "\""), std::string::npos) << dump.out;
  const ToolRun info = Logtool("mapinfo out/m.kwi");
  EXPECT_NE(info.out.find("text0 " + title.substr(0, 63) + "\n"), std::string::npos) << info.out;
}

// Geometries that the builder's generalise-and-cut stage must take in its
// stride: a line long enough to exhaust a recursive simplifier's stack,
// and polygons covering many parcels, which must not cost a clip each.
std::string Lines(const std::vector<std::pair<double, double>>& points) {
  std::string text;
  for (const auto& [x, y] : points) text += (text.empty() ? "[" : ",[") + std::to_string(x) + "," + std::to_string(y) + "]";
  return text;
}

std::string OneFeature(const std::string& type, const std::string& coordinates) {
  return R"({"type":"FeatureCollection","features":[{"type":"Feature","properties":{"kind":"x"},"geometry":{"type":")" +
         type + R"(","coordinates":)" + coordinates + "}}]}";
}

TEST_F(HostileInputTest, LongAndLargeGeometriesBuildInTime) {
  std::vector<std::pair<double, double>> zigzag;
  // A zigzag whose swing grows along it: each split of a recursive
  // simplifier peels off one point, so its depth grows with the points.
  for (int i = 0; i < 60000; ++i) zigzag.push_back({136.0 + i * 1e-5, 35.0 + (i % 2 == 1 ? 1 : -1) * i * 1e-6});
  const std::string box = "[[" + Lines({{122, 24}, {150, 24}, {150, 46}, {122, 46}, {122, 24}}) + "]]";
  BuildEach({
      // At the coarse levels its swings double back within a pixel many
      // times: more points than one parcel piece holds unless they are
      // thinned to what the level's pixels show.
      {"60,000-point zigzag line", OneFeature("LineString", "[" + Lines(zigzag) + "]"), "road: 3, levels: 62-10"},
      // Millions of parcels from one feature: it says how far it has got.
      {"Japan-box polygon", OneFeature("Polygon", box), "area: 3536, levels: 62-10, order: 1",
       "level 62: one feature in 1048576 parcels so far"},
  });
}

// Its 100,000 spikes cross most parcels of its box: each halving of its
// parcel range clips every point it has left, never a clip per parcel.
// From level 0 up: at level 62 its 2.4 million parcels of spikes take
// more than the 4 GiB a map file can address, which the builder refuses.
TEST_F(HostileInputTest, StarPolygonBuildsInTime) {
  std::vector<std::pair<double, double>> star;
  for (int i = 0; i <= 100000; ++i) {
    const double angle = 2 * M_PI * (i % 100000) / 100000, radius = i % 2 == 0 ? 10.0 : 4.0;
    star.push_back({140.0 + radius * std::cos(angle), 35.0 + radius * 0.8 * std::sin(angle)});
  }
  BuildEach({{"100,000-point star polygon", OneFeature("Polygon", "[[" + Lines(star) + "]]"), "area: 3536, levels: 0-10"}});
}

// A stop asked for while one huge line is being cut (250,000 points at
// the finest level, minutes of work) ends the build within seconds, not
// when the feature is done, and leaves the old map as it was.
TEST_F(HostileInputTest, AStopInsideOneHugeFeatureIsQuick) {
  constexpr int STOP_SECONDS = 3;  // a second is the aim; the rest is room for a busy machine
  std::vector<std::pair<double, double>> zigzag;
  for (int i = 0; i < 250000; ++i) zigzag.push_back({136.0 + i * 2.4e-6, 35.0 + (i % 2 == 1 ? 1 : -1) * i * 2.4e-7});
  Write("x.geojson", OneFeature("LineString", "[" + Lines(zigzag) + "]"));
  Write("x.yaml", "sources:\n  - path: x.geojson\n    rules:\n      - {road: 3, levels: 62-10}\n");
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(directory.c_str()) != 0 || freopen("stopped.txt", "w", stderr) == nullptr) _exit(120);
    execl(TEVO_MAPBUILD, TEVO_MAPBUILD, "x.yaml", "-o", "out/m.kwi", static_cast<char*>(nullptr));
    _exit(123);
  }
  // Waits for the builder to reach the levels (the one feature's cut).
  const auto since = [](std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  while (ReadFile(directory / "stopped.txt").find("levels") == std::string::npos && since(start) < HANG_SECONDS &&
         waitpid(child, &status, WNOHANG) == 0) {
    usleep(20000);
  }
  ASSERT_NE(ReadFile(directory / "stopped.txt").find("levels"), std::string::npos) << ReadFile(directory / "stopped.txt");
  const auto stopped = std::chrono::steady_clock::now();
  kill(child, SIGINT);
  while (waitpid(child, &status, WNOHANG) == 0 && since(stopped) < HANG_SECONDS) usleep(20000);
  const double seconds = since(stopped);
  if (seconds >= HANG_SECONDS) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  EXPECT_LE(seconds, STOP_SECONDS) << ReadFile(directory / "stopped.txt");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
  EXPECT_NE(ReadFile(directory / "stopped.txt").find("interrupted"), std::string::npos);
  ExpectOldMapKept("stopped build");
  ExpectNothingBesideTheMap("stopped build");
}

// A road from outside the map's western edge (120 E) into it, at the
// coarsest level: what lies inside is kept with parcel-local points inside
// the parcel, and what lies outside is counted as left out.
TEST_F(HostileInputTest, FeatureCrossingTheMapEdgeIsClippedAtTheCoarsestLevel) {
  Write("x.geojson", OneFeature("LineString", "[" + Lines({{118.0, 30.0}, {125.0, 30.2}}) + "]"));
  Write("x.yaml", "sources:\n  - path: x.geojson\n    rules:\n      - {road: 1, levels: 10}\n");
  const ToolRun build = Build("x.yaml -o out/x.kwi");
  ASSERT_EQ(build.status, 0) << build.err;
  EXPECT_EQ(build.err.find(" 0 pieces left out"), std::string::npos) << build.err;
  const ToolRun dump = Logtool("dump out/x.kwi");
  ASSERT_NE(dump.out.find("seg 0"), std::string::npos) << "the road was dropped:\n" << dump.out;
  for (size_t at = dump.out.find(" pts="); at != std::string::npos; at = dump.out.find(" pts=", at + 1)) {
    std::istringstream points(dump.out.substr(at + 5, dump.out.find('\n', at) - at - 5));
    for (std::string point; points >> point;) {
      const int x = std::stoi(point), y = std::stoi(point.substr(point.find(',') + 1));
      EXPECT_TRUE(x >= 0 && x <= 4096 && y >= 0 && y <= 4096) << point;
    }
  }
}

// The map commands of the log tool on damaged maps and special files: a
// message and exit status 1, at once.
TEST_F(HostileInputTest, MapCommandsRefuseDamagedMapsAndSpecialFiles) {
  // Cut inside the last parcel: the writer puts the parcels last, the last
  // one at the start of a 2048-byte sector.
  Write("cut.kwi", oldMap.substr(0, oldMap.size() - 2000));
  Write("zero.kwi", std::string(oldMap.size(), '\0'));
  ASSERT_EQ(mkfifo((directory / "pipe.kwi").c_str(), 0600), 0);
  fs::copy_file(DataFile("nmea/japan/gpsd_iTrek.log"), directory / "day.log");
  const std::string log = ReadFile(directory / "day.log");
  const std::string view = " --center 136.91,35.17 --step 2 -o out.png";
  const struct {
    std::string arguments;
    int status;
    const char* message;
  } cases[] = {
      {"dump pipe.kwi", 1, "not a plain file"},
      {"dump cut.kwi", 1, "beyond the end of the file"},
      {"dump zero.kwi", 1, "not a map database"},
      {"parcels cut.kwi 64393000 16204000 100 100 62", 1, "beyond the end of the file"},
      {"parcels zero.kwi 64393000 16204000 100 100 62", 1, "not a map database"},
      {"render --map cut.kwi" + view, 1, "beyond the end of the file"},
      {"render --map zero.kwi" + view, 1, "cannot be read"},
      {"render --map out/m.kwi -o out/m.kwi", 1, "is the input"},
      {"render --map out/m.kwi --log day.log -o ./day.log", 1, "is the input"},
      {"dump out/m.kwi", 0, ""},
      {"render --map out/m.kwi" + view, 0, ""},
      // A picture that cannot be written says why.
      {"render --map out/m.kwi --center 136.91,35.17 --step 2 -o nowhere/x.png", 1, "No such file or directory"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Logtool(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
  }
  // The dump shows the parcel lost with the end of the file as unreadable.
  EXPECT_NE(Logtool("dump cut.kwi").out.find("  unreadable\n"), std::string::npos);
  ExpectOldMapKept("render");
  EXPECT_EQ(ReadFile(directory / "day.log"), log);
}

}  // namespace
