// The platform's files under a device root: path resolution, directory
// searches with their attribute words, folders of walks that delete, free
// space and replacing a file's content.
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "logs_test_support.h"
#include "platform/file_replacement.h"
#include "platform/files.h"
#include "platform/unicode.h"

namespace {

class PlatformFilesTest : public DeviceRootTest {
 protected:
  // Name → attribute word of every entry a search returns.
  std::map<std::string, uint32_t> Search(const char16_t* pattern) {
    std::map<std::string, uint32_t> found;
    FindData data;
    FindHandle* search = FindFirstFile(pattern, &data);
    if (search == nullptr) return found;
    do {
      EXPECT_EQ(found.count(Utf16ToUtf8(data.name)), 0u) << "returned twice";
      found[Utf16ToUtf8(data.name)] = data.attributes;
    } while (FindNextFile(search, &data) == 1);
    EXPECT_EQ(FindNextFile(search, &data), 0);  // stays exhausted
    FindClose(search);
    return found;
  }
};

TEST_F(PlatformFilesTest, DevicePathsResolveCaseInsensitivelyUnderTheRoot) {
  WriteFile(root / "SDMMC" / "TevoLog" / "2009" / "20090512.LOG", "x");
  std::string host;
  ASSERT_EQ(ResolveDevicePath("\\sdmmc\\TEVOLOG\\2009\\20090512.log", &host), 0);
  EXPECT_EQ(host, (root / "SDMMC" / "TevoLog" / "2009" / "20090512.LOG").string());
  ASSERT_EQ(ResolveDevicePath(u"\\SDMMC\\tevolog\\2010\\new.log", &host), 0);  // missing parts kept as written
  EXPECT_EQ(host, (root / "SDMMC" / "TevoLog" / "2010" / "new.log").string());
  ASSERT_EQ(ResolveDevicePath("NAND\\QXAPP", &host), 0);  // no leading backslash
  EXPECT_EQ(host, (root / "NAND" / "QXAPP").string());
  EXPECT_EQ(ResolveDevicePath("\\SDMMC\\..\\..\\etc\\passwd", &host), -1);
  EXPECT_EQ(ResolveDevicePath("\\SDMMC\\.\\x", &host), -1);
  EXPECT_EQ(ResolveDevicePath(static_cast<const char*>(nullptr), &host), -1);

  FILE* file = OpenDeviceFile("\\SDMMC\\TEVOLOG\\2009\\20090512.log", "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::fgetc(file), 'x');
  std::fclose(file);
  EXPECT_EQ(OpenDeviceFile("\\SDMMC\\missing.log", "rb"), nullptr);
}

TEST_F(PlatformFilesTest, WildcardsMatchWithoutRegardToCase) {
  for (const char* name : {"a.LOG", "b.log", "c.txt", "noext", "x.log.bak", "ab.log"}) WriteFile(root / "d" / name, "");
  using Names = std::vector<std::string>;
  auto names = [this](const char16_t* pattern) {
    Names list;
    for (const auto& [name, attributes] : Search(pattern)) list.push_back(name);
    return list;
  };
  EXPECT_EQ(names(u"\\d\\*.log"), (Names{"a.LOG", "ab.log", "b.log"}));
  EXPECT_EQ(names(u"\\D\\*.*"), (Names{"a.LOG", "ab.log", "b.log", "c.txt", "noext", "x.log.bak"}));
  EXPECT_EQ(names(u"\\d\\?.LOG"), (Names{"a.LOG", "b.log"}));
  EXPECT_EQ(names(u"\\d\\*b*"), (Names{"ab.log", "b.log", "x.log.bak"}));
  EXPECT_EQ(names(u"\\d\\noext"), (Names{"noext"}));
  FindData data;
  EXPECT_EQ(FindFirstFile(u"\\d\\*.png", &data), nullptr);        // nothing matches
  EXPECT_EQ(FindFirstFile(u"\\missing\\*.*", &data), nullptr);    // no directory
  EXPECT_EQ(FindFirstFile(u"\\d\\", &data), nullptr);             // no pattern
  EXPECT_EQ(FindNextFile(nullptr, &data), 0);
  FindClose(nullptr);
}

TEST_F(PlatformFilesTest, AttributeWordsTellPlainDirectoriesFromTheRest) {
  fs::path d = root / "d";
  fs::create_directories(d / "dir");
  fs::create_directories(d / ".hiddendir");
  fs::create_directories(d / "readonlydir");
  WriteFile(d / "file", "");
  WriteFile(d / ".hidden", "");
  WriteFile(d / "readonly", "");
  fs::permissions(d / "readonly", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  fs::permissions(d / "readonlydir", fs::perms::owner_write, fs::perm_options::remove);
  fs::create_directory_symlink(d / "dir", d / "dirlink");
  fs::create_symlink(d / "file", d / "filelink");
  fs::create_symlink(d / "nowhere", d / "dangling");

  std::map<std::string, uint32_t> expected = {
      {"dir", FILE_ATTRIBUTE_DIRECTORY},
      {".hiddendir", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN},
      {"readonlydir", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY},
      {"file", FILE_ATTRIBUTE_NORMAL},
      {".hidden", FILE_ATTRIBUTE_HIDDEN},
      {"readonly", FILE_ATTRIBUTE_READONLY},
      {"dirlink", FILE_ATTRIBUTE_REPARSE_POINT},
      {"filelink", FILE_ATTRIBUTE_REPARSE_POINT},
      {"dangling", FILE_ATTRIBUTE_REPARSE_POINT},
  };
  EXPECT_EQ(Search(u"\\d\\*.*"), expected);
}

TEST_F(PlatformFilesTest, FoldersOfAWalkThatDeletes) {
  fs::path d = root / "d";
  WriteFile(d / "File.LOG", "");
  WriteFile(d / "full" / "x", "");
  fs::create_directories(d / "empty");
  WriteFile(root / "target" / "kept", "");
  fs::create_directory_symlink(root / "target", d / "link");

  EXPECT_EQ(OpenDeviceFolder(u"\\missing"), nullptr);
  EXPECT_EQ(OpenDeviceFolder(u"\\d\\file.log"), nullptr);  // not a folder
  DeviceFolder* folder = OpenDeviceFolder(u"\\D");
  ASSERT_NE(folder, nullptr);
  for (const char16_t* name : {u"link", u"File.LOG", u"missing", u"", u".", u"..", u"full/x"}) {
    EXPECT_EQ(OpenDeviceSubfolder(folder, name), nullptr) << Utf16ToUtf8(name);
  }
  DeviceFolder* full = OpenDeviceSubfolder(folder, u"FULL");
  ASSERT_NE(full, nullptr);
  FindData entry;
  FindHandle* search = FindFirstFileIn(full, u"*.*", &entry);
  ASSERT_NE(search, nullptr);
  EXPECT_EQ(Utf16ToUtf8(entry.name), "x");
  EXPECT_EQ(entry.attributes, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(FindNextFile(search, &entry), 0);
  FindClose(search);
  EXPECT_EQ(FindFirstFileIn(full, u"*.log", &entry), nullptr);
  CloseDeviceFolder(full);

  EXPECT_EQ(DeleteFileIn(folder, u"file.log"), 1);
  EXPECT_FALSE(fs::exists(d / "File.LOG"));
  EXPECT_EQ(DeleteFileIn(folder, u"file.log"), 0);  // already gone
  EXPECT_EQ(DeleteFileIn(folder, u"empty"), 0);     // a folder is never deleted as a file
  EXPECT_EQ(DeleteFileIn(folder, u".."), 0);
  EXPECT_EQ(RemoveFolderIn(folder, u"link"), -1);   // a link is not a folder
  EXPECT_EQ(DeleteFileIn(folder, u"link"), 1);      // but is deleted as a file, itself only
  EXPECT_TRUE(fs::exists(root / "target" / "kept"));
  EXPECT_EQ(RemoveFolderIn(folder, u"full"), 0);    // something is left in it
  EXPECT_EQ(RemoveFolderIn(folder, u"EMPTY"), 1);
  EXPECT_FALSE(fs::exists(d / "empty"));
  EXPECT_EQ(RemoveFolderIn(folder, u"empty"), -1);
  CloseDeviceFolder(folder);
  CloseDeviceFolder(nullptr);

  // A path below a start folder is walked without links after the start.
  WriteFile(root / "target" / "sub" / "f", "");
  fs::create_directory_symlink(root / "target", d / "link");
  EXPECT_EQ(DeleteDeviceFileBelow(u"\\d", u"link\\kept"), 0);
  EXPECT_EQ(DeleteDeviceFileBelow(u"\\d\\link", u"sub\\F"), 1);
  EXPECT_FALSE(fs::exists(root / "target" / "sub" / "f"));
  EXPECT_TRUE(fs::exists(root / "target" / "kept"));
}

TEST_F(PlatformFilesTest, FreeSpaceOfTheCard) {
  DiskSpace space;
  EXPECT_EQ(GetDiskFreeSpace(u"\\SDMMC", &space), 0);  // no card
  WriteFile(root / "SDMMC", "a file");
  EXPECT_EQ(GetDiskFreeSpace(u"\\SDMMC", &space), 0);
  fs::remove(root / "SDMMC");
  fs::create_directories(root / "sdmmc");
  ASSERT_EQ(GetDiskFreeSpace(u"\\SDMMC", &space), 1);
  EXPECT_GT(space.total, 0u);
  EXPECT_LE(space.available, space.free);
  EXPECT_LE(space.free, space.total);

  DiskSpace fixed{1000, 4000, 2000};
  OverrideDiskFreeSpace(&fixed);
  fs::remove(root / "sdmmc");
  ASSERT_EQ(GetDiskFreeSpace(u"\\SDMMC", &space), 1);
  EXPECT_EQ(space.available, 1000u);
  EXPECT_EQ(space.total, 4000u);
  OverrideDiskFreeSpace(nullptr, true);
  EXPECT_EQ(GetDiskFreeSpace(u"\\SDMMC", &space), 0);
  OverrideDiskFreeSpace(nullptr);
  EXPECT_EQ(GetDiskFreeSpace(u"\\SDMMC", &space), 0);  // the real query again
}

TEST_F(PlatformFilesTest, ReplacingAFileWritesAllOrNothing) {
  EXPECT_EQ(ReplaceDeviceFile("\\missing\\f.txt", "x", 1), -1);
  WriteFile(root / "D" / "F.txt", "old content");
  std::string big(1 << 20, 'b');
  EXPECT_EQ(ReplaceDeviceFile("\\d\\f.TXT", big.data(), big.size()), 0);
  EXPECT_EQ(ReadFile(root / "D" / "F.txt"), big);  // the existing name is kept
  EXPECT_EQ(ReplaceDeviceFile("\\d\\new.txt", "", 0), 0);
  EXPECT_TRUE(fs::exists(root / "D" / "new.txt"));
  EXPECT_EQ(fs::file_size(root / "D" / "new.txt"), 0u);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(root / "D")) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"F.txt", "new.txt"}));
}

// The one way files are replaced whole: never through a link planted
// where its temporary file goes, never over a file it did not make, and
// nothing left behind when it fails.
TEST_F(PlatformFilesTest, ReplacingWholeNeverWritesThroughALinkOrLeavesATemporaryFile) {
  const std::string path = (root / "out.txt").string(), victim = (root / "victim.txt").string();
  WriteFile(victim, "keep");
  fs::create_symlink(victim, TemporaryNameFor(path, 0));
  std::string error;
  ASSERT_EQ(ReplaceFileWhole(path, "new", 3, &error), 0) << error;
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_FALSE(fs::is_symlink(path));
  EXPECT_EQ(ReadFile(victim), "keep");

  // A fixed temporary name taken by a link is refused, not followed.
  const std::string fixed = path + ".tmp";
  fs::create_symlink(victim, fixed);
  FileReplacement atFixed;
  EXPECT_EQ(atFixed.BeginAt(path, fixed, &error), -1);
  EXPECT_NE(error.find("cannot create a temporary file beside"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(victim), "keep");
  fs::remove(fixed);
  fs::remove(TemporaryNameFor(path, 0));

  {
    FileReplacement dropped;
    ASSERT_EQ(dropped.Begin(path, &error), 0) << error;
    ASSERT_EQ(dropped.Write("half", 4), 0);
  }
  // A folder cannot be replaced by a file: the rename fails and says so.
  const std::string folder = (root / "folder").string();
  fs::create_directories(folder + "/inside");
  EXPECT_EQ(ReplaceFileWhole(folder, "x", 1, &error), -1);
  EXPECT_NE(error.find("cannot replace " + folder), std::string::npos) << error;
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(root)) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"folder", "out.txt", "victim.txt"}));
  EXPECT_EQ(ReadFile(path), "new");
}

// A later run removes what a killed one left (no process holds its lock)
// and leaves alone what a running one is still writing, and two runs
// never hold one output at once.
TEST_F(PlatformFilesTest, LeftoversOfGoneWritersAreRemovedAndOutputsLockedOneRunAtATime) {
  const std::string path = (root / "m.kwi").string();
  const std::string gone = path + ".tmp9999999-0";
  WriteFile(gone, std::string(1000, 'x'));
  for (const char* other : {"m.kwi.tmp", "m.kwi.tmpx-1", "m.kwi.tmp12-", "n.kwi.tmp12-0", "m.kwi.txt.tmp12-0"}) {
    WriteFile(root / other, "not a leftover of m.kwi");
  }
  FileReplacement running;
  std::string error;
  ASSERT_EQ(running.Begin(path, &error), 0) << error;
  const std::vector<LeftoverFile> found = RemoveLeftoverReplacements(path);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path, gone);
  EXPECT_EQ(found[0].bytes, 1000u);
  EXPECT_TRUE(found[0].removed);
  EXPECT_FALSE(fs::exists(gone));
  EXPECT_TRUE(fs::exists(running.TemporaryPath()));
  EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 6);

  {
    OutputLock first, second;
    ASSERT_EQ(first.Take(path, &error), 0) << error;
    EXPECT_EQ(second.Take(path, &error), -1);
    EXPECT_NE(error.find("(" + std::to_string(getpid()) + ") is writing " + path), std::string::npos) << error;
  }
  EXPECT_FALSE(fs::exists(path + ".lock"));
  // A lock file left by a run that is gone is taken over.
  WriteFile(path + ".lock", "9999999");
  OutputLock again;
  EXPECT_EQ(again.Take(path, &error), 0) << error;
}

}  // namespace

// Files from outside are opened without waiting and only when they are
// plain files: a named pipe, a device, a socket or a directory in the place
// of a log, the map or the settings file is refused at once.
TEST_F(PlatformFilesTest, OnlyPlainFilesOpenForReadingAndNothingWaits) {
  WriteFile(root / "NAND/QXAPP/Data/plain.ini", "LOG_REC = 1");
  ASSERT_EQ(mkfifo((root / "NAND/QXAPP/Data/TEVOLOG.ini").c_str(), 0600), 0);
  const std::string socketPath = (root / "socket.log").string();
  int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  struct Case {
    std::string path;
    int error;  // 0: opens
  };
  const Case cases[] = {{(root / "NAND/QXAPP/Data/plain.ini").string(), 0},
                        {(root / "NAND/QXAPP/Data/TEVOLOG.ini").string(), EINVAL},
                        {"/dev/null", EINVAL},
                        {socketPath, ENXIO},
                        {(root / "NAND").string(), EISDIR},
                        {(root / "missing.log").string(), ENOENT}};
  for (const Case& c : cases) {
    errno = 0;
    FILE* file = OpenReadableFile(c.path.c_str());
    EXPECT_EQ(file != nullptr, c.error == 0) << c.path;
    if (file != nullptr) std::fclose(file);
    if (c.error != 0) {
      EXPECT_EQ(errno, c.error) << c.path;
    }
  }
  close(listener);
  // Device paths read the same way.
  EXPECT_EQ(OpenDeviceFile("NAND\\QXAPP\\Data\\TEVOLOG.ini", "rb"), nullptr);
  FILE* plain = OpenDeviceFile("NAND\\QXAPP\\Data\\PLAIN.INI", "rb");
  ASSERT_NE(plain, nullptr);
  char text[16] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text - 1, plain), 11u);
  EXPECT_STREQ(text, "LOG_REC = 1");
  std::fclose(plain);
}
