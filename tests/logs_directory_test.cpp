// The log directory on a device root built on disk: name and capacity
// rules, the newest-month walk, the selected day and deleting logs.
#include <algorithm>
#include <string>
#include <vector>

#include "logs/log_directory.h"
#include "logs/selected_day.h"
#include "logs_test_support.h"
#include "own_mounts.h"

namespace {

class LogDirectoryTest : public DeviceRootTest {
 protected:
  fs::path LogRoot() const { return root / "SDMMC" / "TEVOLOG"; }
  void Log(const std::string& relative, const std::string& bytes = "") { WriteFile(LogRoot() / relative, bytes); }
  void Directory(const std::string& relative) { fs::create_directories(LogRoot() / relative); }

  // The days of a month, or {result} when the listing gives none.
  std::vector<int32_t> Days(int32_t year, int32_t month) {
    int32_t days[DAY_LIST_CAPACITY];
    int count = ListLogDays(year, month, days);
    if (count < 1) return {count};
    return std::vector<int32_t>(days, days + count);
  }
};

TEST_F(LogDirectoryTest, DayFileNameRules) {
  for (const char* name : {"20090512.log", "20090513.LOG", "20090500.log", "20090531.log",  // logs
                           "20090514.Log", "2009051.log", "20090532.log", "20090540.log",   // not logs
                           "200905ab.log", "20090515.txt"}) {
    Log(std::string("2009/05/") + name);
  }
  Log("2009/05/20090612.log");  // a June log in the May directory
  EXPECT_EQ(Days(2009, 5), (std::vector<int32_t>{20090500, 20090512, 20090513, 20090531}));
  EXPECT_EQ(Days(2009, 6), std::vector<int32_t>{-1});  // no June directory
}

TEST_F(LogDirectoryTest, AMonthOf32FilesIsTreatedAsEmpty) {
  for (int day = 0; day <= 31; ++day) Log("2009/05/200905" + std::string(day < 10 ? "0" : "") + std::to_string(day) + ".log");
  Log("2009/04/20090401.log");
  EXPECT_EQ(Days(2009, 5), std::vector<int32_t>{-1});
  int32_t year = 0, month = 0, days[DAY_LIST_CAPACITY];
  EXPECT_EQ(FindNewestLogMonth(&year, &month, days), 1);
  EXPECT_EQ(year, 2009);
  EXPECT_EQ(month, 4);

  fs::remove(LogRoot() / "2009/05/20090500.log");  // 31 files fit
  std::vector<int32_t> may = Days(2009, 5);
  ASSERT_EQ(may.size(), 31u);
  EXPECT_EQ(may.front(), 20090501);
  EXPECT_EQ(may.back(), 20090531);
  EXPECT_TRUE(std::is_sorted(may.begin(), may.end()));
}

TEST_F(LogDirectoryTest, YearAndMonthDirectoryRules) {
  for (const char* year : {"1999", "2030", "209", "20090", "2009", "2029", "2000"}) Directory(year);
  for (const char* month : {"00", "13", "5", "012", "05", "10", "12"}) Directory(std::string("2009/") + month);
  Log("2009/05/20090501.log");
  Log("1999/05/19990501.log");
  Log("2030/01/20300101.log");
  Log("2009/5/20090502.log");
  WriteFile(LogRoot() / "2028", "a file, not a directory");
  // A read-only or linked directory carries more than the directory bit.
  Directory("2027/01");
  Log("2027/01/20270101.log");
  fs::permissions(LogRoot() / "2027", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  fs::create_directory_symlink(LogRoot() / "2009", LogRoot() / "2026");

  int32_t entries[YEAR_LIST_CAPACITY];
  int years = ListLogEntries(u"\\SDMMC\\TEVOLOG\\*.*", YearDirs, entries, YEAR_LIST_CAPACITY);
  EXPECT_EQ(std::vector<int32_t>(entries, entries + std::max(years, 0)), (std::vector<int32_t>{2000, 2009, 2029}));
  int months = ListLogEntries(u"\\SDMMC\\TEVOLOG\\2009\\*.*", MonthDirs, entries, MONTH_LIST_CAPACITY);
  EXPECT_EQ(std::vector<int32_t>(entries, entries + std::max(months, 0)), (std::vector<int32_t>{5, 10, 12}));
  EXPECT_EQ(ListLogEntries(u"\\SDMMC\\TEVOLOG\\2009\\*.*", MonthDirs, nullptr, MONTH_LIST_CAPACITY), -1);
  EXPECT_EQ(ListLogEntries(u"\\SDMMC\\2009\\*.log", DayFiles, entries, DAY_LIST_CAPACITY), -1);  // no fourth "\"
  EXPECT_EQ(ListLogEntries(u"\\SDMMC\\TEVOLOG\\2009\\*.*", MonthDirs, entries, 2), -1);          // 3 months > 2

  int32_t year = 0, month = 0, days[DAY_LIST_CAPACITY];
  EXPECT_EQ(FindNewestLogMonth(&year, &month, days), 1);
  EXPECT_EQ(year, 2009);
  EXPECT_EQ(month, 5);
  EXPECT_EQ(days[0], 20090501);
}

TEST_F(LogDirectoryTest, NewestMonthWalk) {
  int32_t year = -7, month = -7, days[DAY_LIST_CAPACITY] = {-7};
  EXPECT_EQ(FindNewestLogMonth(&year, &month, days), -1);  // no card directory at all
  Directory("2009");
  EXPECT_EQ(FindNewestLogMonth(&year, &month, days), 0);   // a year without months: no day listing ran
  Directory("2009/05");
  EXPECT_EQ(FindNewestLogMonth(&year, &month, days), -1);  // the last day listing found nothing
  EXPECT_EQ(CountNewestMonthLogs(), -1);
  EXPECT_EQ(year, -7);  // outputs untouched without logs
  EXPECT_EQ(month, -7);
  EXPECT_EQ(days[0], -7);

  Log("2009/05/20090512.log");
  Log("2009/05/20090503.log");
  Log("2010/01/20100107.log");
  Log("2010/02/notes.txt");  // a newer month without a log is skipped
  Directory("2011");         // so is a newer year without months
  EXPECT_EQ(FindNewestLogMonth(&year, &month, days), 1);
  EXPECT_EQ(year, 2010);
  EXPECT_EQ(month, 1);
  EXPECT_EQ(days[0], 20100107);
  EXPECT_EQ(CountNewestMonthLogs(), 1);

  EXPECT_EQ(DeleteLogDay(2010, 1, 7), 1);
  EXPECT_EQ(DeleteLogDay(2010, 1, 7), 0);
  EXPECT_EQ(FindNewestLogMonth(&year, &month, days), 2);
  EXPECT_EQ(year, 2009);
  EXPECT_EQ(month, 5);
  EXPECT_EQ(days[0], 20090503);
  EXPECT_EQ(days[1], 20090512);
  EXPECT_EQ(CountNewestMonthLogs(), 2);
}

TEST_F(LogDirectoryTest, SelectedDayPaths) {
  EXPECT_EQ(SelectLogDay(2009, 5, 12), 0);
  EXPECT_STREQ(SelectedLogPath(), "\\SDMMC\\TEVOLOG\\2009\\05\\20090512.log");
  SelectLogDay(2009, 11, 3);
  EXPECT_STREQ(SelectedLogPath(), "\\SDMMC\\TEVOLOG\\2009\\11\\20091103.log");
  SelectLogDay(2009, 10, 31);
  EXPECT_STREQ(SelectedLogPath(), "\\SDMMC\\TEVOLOG\\2009\\10\\20091031.log");
  // Deleting a day, even the selected one, leaves the selection alone.
  Log("2009/10/20091031.LOG");  // FAT names match whatever their case
  EXPECT_EQ(DeleteLogDay(2009, 10, 31), 1);
  EXPECT_FALSE(fs::exists(LogRoot() / "2009/10/20091031.LOG"));
  EXPECT_STREQ(SelectedLogPath(), "\\SDMMC\\TEVOLOG\\2009\\10\\20091031.log");
}

TEST_F(LogDirectoryTest, SelectedTrackIsLoadedOnceAndDroppedBySelection) {
  const std::string day12 = Rmc("000001", "3540.1234", "13945.6789") + "\n";
  const std::string day13 = day12 + Rmc("000002", "3540.1234", "13945.6789") + "\n";
  Log("2009/05/20090512.log", day12);
  Log("2009/05/20090513.log", day13);

  SelectLogDay(2009, 5, 14);  // no log for that day: no track, and the next call tries again
  EXPECT_EQ(GetSelectedTrack(), nullptr);
  Log("2009/05/20090514.log", day12);
  ASSERT_NE(GetSelectedTrack(), nullptr);

  SelectLogDay(2009, 5, 12);
  const Track* first = GetSelectedTrack();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->count, 1);
  EXPECT_EQ(GetSelectedTrack(), first);  // read once, then kept
  fs::remove(LogRoot() / "2009/05/20090512.log");
  EXPECT_EQ(GetSelectedTrack(), first);  // deleting the file keeps the track

  // A frame holds a pin: the track it reads stays valid while another day
  // is selected, and is freed when the frame ends.
  PinSelectedTrack();
  const Track* pinned = GetSelectedTrack();
  SelectLogDay(2009, 5, 13);
  const Track* second = GetSelectedTrack();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->count, 2);
  EXPECT_EQ(pinned->count, 1);  // AddressSanitizer reports a read of a freed track
  EXPECT_EQ(pinned->points[0].time, 1);
  UnpinSelectedTrack();
  UnpinSelectedTrack();  // an extra release is harmless
  EXPECT_EQ(GetSelectedTrack(), second);
}

class DeleteAllLogsTest : public LogDirectoryTest {};

TEST_F(DeleteAllLogsTest, DeletesMonthFilesAndEmptiedDirectories) {
  EXPECT_EQ(DeleteAllLogs(), -1);  // no card directory
  Directory("");
  EXPECT_EQ(DeleteAllLogs(), 1);  // an empty one

  Log("2009/05/20090512.log");
  Log("2009/05/notes.txt");  // any file of a month directory goes
  Log("2009/05/.hidden");
  Log("2009/06/20090601.log");
  Log("2010/01/20100101.log");
  Log("anything/x/y.txt");        // any directory name is walked
  Log("root.txt");                // files directly in the root or in a year directory stay
  Log("2009/year.txt");
  Log("2010/02/sub/deep.log");    // so does anything below a month directory
  EXPECT_EQ(DeleteAllLogs(), 1);

  EXPECT_FALSE(fs::exists(LogRoot() / "2009/05"));
  EXPECT_FALSE(fs::exists(LogRoot() / "2009/06"));
  EXPECT_FALSE(fs::exists(LogRoot() / "2010/01"));
  EXPECT_FALSE(fs::exists(LogRoot() / "anything"));
  EXPECT_TRUE(fs::exists(LogRoot() / "root.txt"));
  EXPECT_TRUE(fs::exists(LogRoot() / "2009/year.txt"));
  EXPECT_TRUE(fs::exists(LogRoot() / "2010/02/sub/deep.log"));
  EXPECT_EQ(CountNewestMonthLogs(), -1);
}

TEST_F(DeleteAllLogsTest, NeverFollowsALinkOutOfTheLogDirectory) {
  fs::path outside = root / "outside";
  WriteFile(outside / "01/20100101.log", "keep");
  WriteFile(outside / "keep.log", "keep");
  Directory("2009/05");
  fs::create_directory_symlink(outside, LogRoot() / "2010");           // a linked year
  fs::create_directory_symlink(outside, LogRoot() / "2009/06");        // a linked month
  fs::create_directory_symlink(outside, LogRoot() / "2009/05/link");   // a link among the day files
  fs::create_symlink(outside / "keep.log", LogRoot() / "2009/05/20090512.log");
  EXPECT_EQ(DeleteAllLogs(), 1);

  EXPECT_TRUE(fs::exists(outside / "01/20100101.log"));
  EXPECT_TRUE(fs::exists(outside / "keep.log"));
  // Links inside a month directory are removed themselves; links in the
  // root or a year directory are left, and with them their directories.
  EXPECT_FALSE(fs::exists(fs::symlink_status(LogRoot() / "2009/05/link")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(LogRoot() / "2009/05")));
  EXPECT_TRUE(fs::is_symlink(LogRoot() / "2010"));
  EXPECT_TRUE(fs::is_symlink(LogRoot() / "2009/06"));
}

TEST_F(DeleteAllLogsTest, ANameWithABackslashIsNotWalked) {
  // On the host a directory may be called "a\b", which a device path would
  // read as a inside a: the walk must not go to "a/b" (here a link out).
  fs::path outside = root / "outside";
  WriteFile(outside / "m/keep.log", "keep");
  Directory("a");
  fs::create_directory_symlink(outside, LogRoot() / "a" / "b");
  WriteFile(LogRoot() / "a\\b" / "m" / "x.log", "");
  EXPECT_EQ(DeleteAllLogs(), 1);
  EXPECT_TRUE(fs::exists(outside / "m/keep.log"));
}

TEST_F(LogDirectoryTest, DeletingADayNeverPassesThroughALink) {
  fs::path outside = root / "outside";
  WriteFile(outside / "20260301.log", "keep");
  WriteFile(outside / "03/20270301.log", "keep");
  Log("2026/02/20260211.LOG");
  fs::create_directory_symlink(outside, LogRoot() / "2026/03");  // a linked month
  fs::create_directory_symlink(outside, LogRoot() / "2027");     // a linked year
  EXPECT_EQ(Days(2026, 3), std::vector<int32_t>{20260301});      // listed through the link, as on the device

  EXPECT_EQ(DeleteLogDay(2026, 3, 1), 0);
  EXPECT_EQ(DeleteLogDay(2027, 3, 1), 0);
  EXPECT_EQ(ReadFile(outside / "20260301.log"), "keep");
  EXPECT_EQ(ReadFile(outside / "03/20270301.log"), "keep");
  EXPECT_EQ(DeleteLogDay(2026, 2, 11), 1);  // names still match whatever their case
  EXPECT_FALSE(fs::exists(LogRoot() / "2026/02/20260211.LOG"));

  // The log root itself may lie elsewhere (a card mounted by the host).
  fs::path card = root / "card";
  WriteFile(card / "2009/05/20090512.log", "");
  fs::remove_all(root / "SDMMC");
  fs::create_directories(root / "SDMMC");
  fs::create_directory_symlink(card, LogRoot());
  EXPECT_EQ(DeleteLogDay(2009, 5, 12), 1);
  EXPECT_FALSE(fs::exists(card / "2009/05/20090512.log"));
  EXPECT_EQ(DeleteAllLogs(), 1);
  EXPECT_FALSE(fs::exists(card / "2009"));
}

TEST_F(DeleteAllLogsTest, StaysOnTheLogRootsOwnMount) {
  fs::path outside = root / "outside";
  WriteFile(outside / "20090601.log", "keep");
  WriteFile(outside / "notes.txt", "keep");
  Log("2009/05/20090512.log");
  Directory("2009/06");
  Directory("2010/01");
  const std::string boundMonth = (LogRoot() / "2009/06").string();
  const std::string otherFileSystem = (LogRoot() / "2010/01").string();
  int result = RunWithOwnMounts([&] {
    int failures = 0;
    if (!BindMount(outside.string(), boundMonth, false) || !MountScratchFileSystem(otherFileSystem)) {
      return OWN_MOUNTS_UNAVAILABLE;
    }
    WriteFile(otherFileSystem + "/20100101.log", "keep");
    CHILD_CHECK(failures, DeleteAllLogs() == -1);  // logs are left, so it did not succeed
    CHILD_CHECK(failures, DeleteLogDay(2009, 6, 1) == 0);
    CHILD_CHECK(failures, DeleteLogDay(2010, 1, 1) == 0);
    CHILD_CHECK(failures, fs::exists(otherFileSystem + "/20100101.log"));
    CHILD_CHECK(failures, !fs::exists(LogRoot() / "2009/05"));
    return failures;
  });
  if (result == OWN_MOUNTS_UNAVAILABLE) GTEST_SKIP() << "no mount namespace of our own here";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(outside / "20090601.log"), "keep");
  EXPECT_EQ(ReadFile(outside / "notes.txt"), "keep");
}

TEST_F(DeleteAllLogsTest, AReadOnlyCardIsReportedAndKeepsItsLogs) {
  Log("2009/05/20090512.log");
  Log("2010/01/20100103.log");
  const std::string card = LogRoot().string();
  int result = RunWithOwnMounts([&] {
    int failures = 0;
    if (!BindMount(card, card, true)) return OWN_MOUNTS_UNAVAILABLE;
    CHILD_CHECK(failures, DeleteLogDay(2009, 5, 12) == 0);
    CHILD_CHECK(failures, DeleteAllLogs() == -1);
    return failures;
  });
  if (result == OWN_MOUNTS_UNAVAILABLE) GTEST_SKIP() << "no mount namespace of our own here";
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(fs::exists(LogRoot() / "2009/05/20090512.log"));
  EXPECT_TRUE(fs::exists(LogRoot() / "2010/01/20100103.log"));
}

}  // namespace
