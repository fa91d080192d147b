// The map builder and the map commands of the log tool against broken and
// hostile inputs, run as a user runs them: each must refuse what it cannot
// use with a message and a non-zero exit, never hang, and never lose the
// map it would replace.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "logs_test_support.h"

namespace {

// A command that has not finished by then is taken to hang.
constexpr char HANG_LIMIT[] = "timeout -s KILL 30 ";
constexpr int KILLED_BY_TIMEOUT = 137;

std::string Quote(const std::string& text) { return "'" + text + "'"; }

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

// Runs `program arguments` in `folder` with its output captured.
ToolRun RunIn(const fs::path& folder, const std::string& program, const std::string& arguments) {
  const std::string line = "cd " + Quote(folder.string()) + " && " + HANG_LIMIT + Quote(program) + " " + arguments +
                           " >stdout.txt 2>stderr.txt";
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

  ToolRun Build(const std::string& arguments) { return RunIn(directory, TEVO_MAPBUILD, arguments); }
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
      execl(TEVO_MAPBUILD, TEVO_MAPBUILD, "r.yaml", "-o", "out/m.kwi", static_cast<char*>(nullptr));
      _exit(123);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
  }

  std::string oldMap, oldAttribution;
};

// One hostile input of the builder: the files it needs besides the
// fixture, the arguments, and what the builder must answer.
struct HostileCase {
  const char* name;
  std::function<void(HostileInputTest*, const fs::path&)> setup;
  std::string arguments;
  int status;
  const char* message;
};

void WriteRecipe(const fs::path& folder, const std::string& text) { WriteFile(folder / "r.yaml", text); }

// The fixture recipe with `from` replaced by `to` (the first time).
std::string RecipeWith(const std::string& from, const std::string& to) {
  std::string text = RECIPE;
  text.replace(text.find(from), from.size(), to);
  return text;
}

std::function<void(HostileInputTest*, const fs::path&)> Recipe(const std::string& text) {
  return [text](HostileInputTest*, const fs::path& folder) { WriteRecipe(folder, text); };
}

std::string DataFile(const std::string& relative) {
  const char* data = std::getenv("TEVO_TEST_DATA_DIR");
  return std::string(data != nullptr ? data : ".") + "/" + relative;
}

// A copy of the real file `relative` without its last `cut` bytes.
void CopyCut(const std::string& relative, const fs::path& to, size_t cut) {
  const std::string bytes = ReadFile(DataFile(relative));
  WriteFile(to, bytes.substr(0, bytes.size() - cut));
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

const std::string STATION_RULES = R"(
    rules:
      - {where: "railway=station", label: 257, text: name, levels: 62}
      - {where: "highway=*", road: 3, levels: 62}
)";

TEST_F(HostileInputTest, HostileRecipesAndSourcesAreRefusedAndTheOldMapKept) {
  const auto mkfifoAt = [](const fs::path& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path; };
  const HostileCase cases[] = {
      // An output that is one of the inputs, whatever its spelling.
      {"output is the recipe", nullptr, "r.yaml -o ./r.yaml", 1, "is the recipe"},
      {"output is the source", nullptr, "r.yaml -o out/../s.geojson", 1, "source shapes"},
      {"output is the licence", nullptr, "r.yaml -o LICENCE.txt", 1, "licence of source shapes"},
      {"output is a hard link to the source",
       [](HostileInputTest*, const fs::path& f) { fs::create_hard_link(f / "s.geojson", f / "link.kwi"); },
       "r.yaml -o link.kwi", 1, "source shapes"},
      {"attribution file is the recipe",
       [](HostileInputTest*, const fs::path& f) { fs::copy_file(f / "r.yaml", f / "m.kwi.txt"); },
       "m.kwi.txt -o m.kwi", 1, "is the recipe"},
      // Special files in place of an input are refused at once.
      {"recipe is a named pipe", [&](HostileInputTest*, const fs::path& f) { mkfifoAt(f / "p.yaml"); },
       "p.yaml -o out/m.kwi", 1, "not a plain file"},
      {"source is a named pipe",
       [&](HostileInputTest*, const fs::path& f) {
         mkfifoAt(f / "p.geojson");
         WriteRecipe(f, RecipeWith("s.geojson", "p.geojson"));
       },
       "r.yaml -o out/m.kwi", 1, "not a plain file"},
      {"file beside a shapefile is a named pipe",
       [&](HostileInputTest*, const fs::path& f) {
         for (const char* ext : {".shp", ".shx"}) fs::copy_file(DataFile("geodata/osaka-shp/N01-07L-2K-27_Road") + ext, f / (std::string("n") + ext));
         mkfifoAt(f / "n.dbf");
         WriteRecipe(f, RecipeWith("s.geojson", "n.shp"));
       },
       "r.yaml -o out/m.kwi", 1, "n.dbf is not a plain file"},
      {"source is a device", Recipe(RecipeWith("s.geojson", "/dev/zero")), "r.yaml -o out/m.kwi", 1,
       "not a plain file"},
      {"licence is a named pipe",
       [&](HostileInputTest*, const fs::path& f) {
         mkfifoAt(f / "L.txt");
         WriteRecipe(f, RecipeWith("LICENCE.txt", "L.txt"));
       },
       "r.yaml -o out/m.kwi", 1, "not a plain file"},
      // Errors of the geodata library fail the build with its message.
      {"truncated shapefile",
       [](HostileInputTest*, const fs::path& f) {
         for (const char* ext : {".shx", ".dbf"}) fs::copy_file(DataFile("geodata/osaka-shp/N01-07L-2K-27_Road") + ext, f / (std::string("n") + ext));
         CopyCut("geodata/osaka-shp/N01-07L-2K-27_Road.shp", f / "n.shp", 331350);
         WriteRecipe(f, RecipeWith("s.geojson", "n.shp"));
       },
       "r.yaml -o out/m.kwi", 1, "GDAL: Error in fread()"},
      {"truncated OSM file",
       [](HostileInputTest*, const fs::path& f) {
         CopyCut("geodata/nagoya-osm/nagoya_fushimi.osm", f / "n.osm", 8);
         WriteRecipe(f, "sources:\n  - path: n.osm" + STATION_RULES);
       },
       "r.yaml -o out/m.kwi", 1, "n.osm failed: GDAL:"},
      {"XML entity expansion",
       [](HostileInputTest*, const fs::path& f) {
         WriteFile(f / "n.osm", ENTITY_BOMB);
         WriteRecipe(f, "sources:\n  - path: n.osm" + STATION_RULES);
       },
       "r.yaml -o out/m.kwi", 1, "amplification"},
      // Recipe mistakes, each with its file and line.
      {"misspelled levels", Recipe(RecipeWith("levels: 62-0", "level: 62-0")), "r.yaml -o out/m.kwi", 1,
       "r.yaml:7: unknown key \"level\""},
      {"misspelled order", Recipe(RecipeWith("levels: 62-0", "levels: 62-0, ordr: 3")), "r.yaml -o out/m.kwi", 1,
       "unknown key \"ordr\""},
      {"unknown layer", Recipe(RecipeWith("    licence:", "    layer: roads\n    licence:")), "r.yaml -o out/m.kwi", 1,
       "has no layer \"roads\""},
      {"levels with trailing text", Recipe(RecipeWith("62-0", "\"62 - 4x\"")), "r.yaml -o out/m.kwi", 1,
       "r.yaml:7: levels are level codes"},
      {"a rule with a kind twice", Recipe(RecipeWith("road: 3", "road: 3, road: 4")), "r.yaml -o out/m.kwi", 1,
       "\"road\" is given twice"},
      {"creates outside levels", Recipe(RecipeWith("levels: 62-0", "levels: 62-0, creates: 0-4")),
       "r.yaml -o out/m.kwi", 1, "reaches outside the rule's levels"},
      {"unknown encoding", Recipe(RecipeWith("    licence:", "    encoding: CP9999\n    licence:")),
       "r.yaml -o out/m.kwi", 1, "unknown encoding \"CP9999\""},
      {"undocumented extent", Recipe(std::string("extent: [130, 30, 140, 40]\n") + RECIPE), "r.yaml -o out/m.kwi", 1,
       "r.yaml:1: unknown key \"extent\""},
      {"text on a road", Recipe(RecipeWith("road: 3", "road: 3, text: name")), "r.yaml -o out/m.kwi", 1,
       "text is for labels"},
      {"source without a matching feature",
       Recipe(std::string(RECIPE) + "  - {id: none, path: s.geojson, rules: [{where: \"kind=rail\", road: 3}]}\n"),
       "r.yaml -o out/m.kwi --quiet", 0, "warning: source none gave no feature"},
      // Licences: plain files below the data folder, of a sane size.
      {"licence outside the data folder", Recipe(RecipeWith("LICENCE.txt", "/etc/passwd")), "r.yaml -o out/m.kwi", 1,
       "lies outside the data folder"},
      {"licence is the zero device", Recipe(RecipeWith("LICENCE.txt", "/dev/zero")), "r.yaml -o out/m.kwi", 1,
       "lies outside the data folder"},
      {"licence linked from outside",
       [](HostileInputTest*, const fs::path& f) {
         fs::create_symlink("/etc/passwd", f / "L.txt");
         WriteRecipe(f, RecipeWith("LICENCE.txt", "L.txt"));
       },
       "r.yaml -o out/m.kwi", 1, "lies outside the data folder"},
      {"licence of 2 MB",
       [](HostileInputTest*, const fs::path& f) {
         WriteFile(f / "L.txt", std::string(2 << 20, 'x'));
         WriteRecipe(f, RecipeWith("LICENCE.txt", "L.txt"));
       },
       "r.yaml -o out/m.kwi", 1, "a licence text is 1 to 1048576 bytes"},
      {"missing licence", Recipe(RecipeWith("LICENCE.txt", "NOTICE.txt")), "r.yaml -o out/m.kwi", 1,
       "cannot read the licence"},
      // Texts: invalid UTF-8 is refused with its line.
      {"title not UTF-8", Recipe(RecipeWith("title: test", "title: t\xE9st")), "r.yaml -o out/m.kwi", 1,
       "r.yaml:1: not UTF-8"},
  };
  int passed = 0;
  for (const HostileCase& c : cases) {
    const fs::path folder = directory / "case";
    fs::remove_all(folder);
    fs::create_directories(folder / "out");
    for (const char* name : {"s.geojson", "LICENCE.txt", "r.yaml"}) fs::copy_file(directory / name, folder / name);
    fs::copy_file(directory / "out/m.kwi", folder / "out/m.kwi");
    fs::copy_file(directory / "out/m.kwi.txt", folder / "out/m.kwi.txt");
    if (c.setup) c.setup(this, folder);
    const std::string recipe = ReadFile(folder / "r.yaml");
    const ToolRun run = RunIn(folder, TEVO_MAPBUILD, c.arguments);
    const bool ok = run.status == c.status && run.err.find(c.message) != std::string::npos;
    EXPECT_TRUE(ok) << c.name << ": status " << run.status << ", stderr:\n" << run.err;
    if (c.status != 0) {
      EXPECT_EQ(ReadFile(folder / "out/m.kwi"), oldMap) << c.name;
      EXPECT_EQ(ReadFile(folder / "out/m.kwi.txt"), oldAttribution) << c.name;
      EXPECT_EQ(ReadFile(folder / "r.yaml"), recipe) << c.name;
      EXPECT_EQ(ReadFile(folder / "s.geojson"), SOURCE) << c.name;
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
}

TEST_F(HostileInputTest, MissingLicenceIsFoundBeforeAnythingIsWritten) {
  fs::remove(directory / "LICENCE.txt");
  const ToolRun run = Build("r.yaml -o out/m.kwi");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot read the licence"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("source shapes:"), std::string::npos) << "a source was read first:\n" << run.err;
  ExpectOldMapKept("missing licence");
  ExpectNothingBesideTheMap("missing licence");
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
