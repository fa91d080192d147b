// The recording settings screen on the headless backend: the recording time
// cycle and the file it writes, cancelling a press by moving off, deleting
// all logs after the confirmation, the free-space texts and gauges, and
// golden screenshots.
#include <gtest/gtest.h>

#include <unistd.h>

#include "app/settings_dlg.h"
#include "own_mounts.h"
#include "screen_support.h"

namespace {

constexpr int32_t RECORDING_X = 221, RECORDING_Y = 69;
constexpr int32_t DATE_DELETE_X = 221, ALL_DELETE_X = 357, DELETE_Y = 136;
constexpr int32_t BACK_X = 368, BACK_Y = 256;
constexpr int32_t YES_X = 143, NO_X = 335, YES_NO_Y = 176;

const char SETTINGS_FILE[] = "NAND/QXAPP/Data/TEVOLOG.ini";

std::string SettingsBytes(int logRec) {
  return "LOG_REC = " + std::to_string(logRec) +
         "\nREC_START_DAY = -1\nREC_START_TIME= -1\nREC_END_DAY = -1\nREC_END_TIME= -1\n";
}

class SettingsTest : public ScreenTest {
 protected:
  void Tap(int32_t x, int32_t y) { backend.Down(x, y).Wait(10).Up().Wait(10); }
  void SetCard(uint64_t available, uint64_t total, uint64_t free) {
    DiskSpace card{available, total, free};
    OverrideDiskFreeSpace(&card);
  }
  CCalendarDlg_Setting settings;
};

TEST_F(SettingsTest, RecordingTimeCyclesAndIsWrittenAtEachChange) {
  std::vector<int> modes;
  std::vector<std::string> files;
  auto record = [&] {
    modes.push_back(settings.logRecMode);
    files.push_back(ReadFile(root / SETTINGS_FILE));
  };
  backend.Wait(10).Call(record);  // a missing file is replaced by the defaults
  for (int i = 0; i < 4; ++i) {
    Tap(RECORDING_X, RECORDING_Y);
    backend.Call(record);
  }
  backend.Quit();
  settings.RunModal();
  EXPECT_EQ(modes, (std::vector<int>{0, 1, 2, 3, 0}));
  ASSERT_EQ(files.size(), 5u);
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(files[i], SettingsBytes(modes[i])) << i;
}

TEST_F(SettingsTest, AFileWrittenByTheRecorderIsReadAndAForeignValueStartsTheCycleAgain) {
  WriteFile(root / SETTINGS_FILE, "LOG_REC = 7\nREC_START_DAY = 5\nREC_START_TIME= 6\nREC_END_DAY = 7\nREC_END_TIME= 8\n");
  std::vector<int> modes;
  backend.Wait(10).Call([&] { modes.push_back(settings.logRecMode); });
  Tap(RECORDING_X, RECORDING_Y);
  backend.Call([&] { modes.push_back(settings.logRecMode); }).Quit();
  settings.RunModal();
  EXPECT_EQ(modes, (std::vector<int>{7, 0}));
  EXPECT_EQ(ReadFile(root / SETTINGS_FILE), SettingsBytes(0));
}

TEST_F(SettingsTest, MovingOffAPressedButtonCancelsIt) {
  WriteFile(root / SETTINGS_FILE, SettingsBytes(2));
  bool checked = false;
  backend.Wait(10).Down(RECORDING_X, RECORDING_Y).Wait(10).Call([&] { EXPECT_TRUE(settings.logRecPressed); });
  backend.Move(RECORDING_X, 120).Call([&] { EXPECT_FALSE(settings.logRecPressed); });
  backend.Up().Wait(10).Call([&] {
    EXPECT_EQ(settings.logRecMode, 2);
    checked = true;
  });
  backend.Quit();
  settings.RunModal();
  EXPECT_TRUE(checked);
  EXPECT_EQ(ReadFile(root / SETTINGS_FILE), SettingsBytes(2));
}

TEST_F(SettingsTest, DeleteByDateAndBackEndTheScreenWithTheirResults) {
  AddLog(2009, 5, 12);
  Tap(DATE_DELETE_X, DELETE_Y);
  EXPECT_EQ(settings.RunModal(), 1);
  settings.DestroyWindow();

  CCalendarDlg_Setting again;
  Tap(BACK_X, BACK_Y);
  EXPECT_EQ(again.RunModal(), 0);
}

TEST_F(SettingsTest, DeleteAllAfterYesGreysTheButtonsWhichThenStopReacting) {
  AddLog(2009, 5, 12);
  AddLog(2010, 1, 3);
  int checks = 0;
  Tap(ALL_DELETE_X, DELETE_Y);
  backend.Down(NO_X, YES_NO_Y).Wait(10).Call([&] {
    EXPECT_TRUE(settings.confirmShown);
    EXPECT_TRUE(settings.noPressed);
    EXPECT_TRUE(ScreenMatchesGolden("settings_delete_all_confirm_no_pressed"));
    ++checks;
  });
  backend.Up().Wait(10).Call([&] {
    EXPECT_FALSE(settings.confirmShown);
    EXPECT_TRUE(fs::exists(LogPath(2009, 5, 12)));
    ++checks;
  });
  Tap(ALL_DELETE_X, DELETE_Y);
  Tap(YES_X, YES_NO_Y);
  backend.Call([&] {
    EXPECT_FALSE(fs::exists(LogPath(2009, 5, 12)));
    EXPECT_FALSE(fs::exists(LogPath(2010, 1, 3)));
    EXPECT_FALSE(fs::exists(root / "SDMMC/TEVOLOG/2009"));
    EXPECT_EQ(settings.hasLogs, 0);
    EXPECT_TRUE(settings.deletedNoticeShown);
    ++checks;
  });
  backend.Wait(3000).Call([&] {
    EXPECT_FALSE(settings.deletedNoticeShown);
    ++checks;
  });
  Tap(DATE_DELETE_X, DELETE_Y);  // grey: nothing happens
  Tap(ALL_DELETE_X, DELETE_Y);
  backend.Call([&] {
    EXPECT_FALSE(settings.confirmShown);
    EXPECT_TRUE(ScreenMatchesGolden("settings_without_logs"));
    ++checks;
  });
  backend.Quit();
  EXPECT_EQ(settings.RunModal(), -1);
  EXPECT_EQ(checks, 5);
}

// A settings file that is there but cannot be read (or is incomplete) may
// still be the recorder's: opening the screen leaves it as it is, says so
// and shows the mode that could be read.
class UnreadableSettingsTest : public SettingsTest {
 protected:
  fs::path File() const { return root / SETTINGS_FILE; }
  std::string Content() const { return fs::is_regular_file(File()) ? ReadFile(File()) : "(no file)"; }
  void ExpectLeftAloneAndSaidSo(int shownMode, const char* golden) {
    const std::string before = Content();
    int checks = 0;
    backend.Wait(10).Call([&] {
      EXPECT_EQ(settings.failureNotice, FAILURE_SETTINGS_READ);
      EXPECT_EQ(settings.logRecMode, shownMode);
      if (golden != nullptr) {
        EXPECT_TRUE(ScreenMatchesGolden(golden));
      }
      ++checks;
    });
    backend.Wait(3000).Call([&] {
      EXPECT_EQ(settings.failureNotice, FAILURE_NONE);
      ++checks;
    });
    backend.Quit();
    settings.RunModal();
    EXPECT_EQ(checks, 2);
    fs::permissions(File(), fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(Content(), before);
  }
};

TEST_F(UnreadableSettingsTest, AFolderInItsPlace) {
  fs::create_directories(File() / "x");
  ExpectLeftAloneAndSaidSo(0, nullptr);
  EXPECT_TRUE(fs::exists(File() / "x"));
}

TEST_F(UnreadableSettingsTest, FewerThanFiveValues) {
  WriteFile(File(), "LOG_REC = 2\nREC_START_DAY = 5\n");
  ExpectLeftAloneAndSaidSo(2, "settings_unreadable_notice");
}

TEST_F(UnreadableSettingsTest, NoPermissionToRead) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not hold back the superuser";
  WriteFile(File(), SettingsBytes(2));
  fs::permissions(File(), fs::perms::none);
  ExpectLeftAloneAndSaidSo(0, nullptr);
}

// A recording time that cannot be written is not shown: the button keeps
// what the file holds and a notice says that the change was not saved.
TEST_F(SettingsTest, AFailedWriteShowsWhatTheFileHolds) {
  const fs::path file = root / SETTINGS_FILE;
  WriteFile(file, SettingsBytes(2));
  const fs::path blocker = file.string() + ".tmp/x";  // the temporary name cannot be taken
  fs::create_directories(blocker);
  int checks = 0;
  Tap(RECORDING_X, RECORDING_Y);
  backend.Call([&] {
    EXPECT_EQ(settings.logRecMode, 2);
    EXPECT_EQ(settings.failureNotice, FAILURE_SETTINGS_WRITE);
    EXPECT_TRUE(ScreenMatchesGolden("settings_write_failed_notice"));
    ++checks;
  });
  Tap(RECORDING_X, RECORDING_Y);  // the first tap ends the notice only
  backend.Call([&] {
    EXPECT_EQ(settings.failureNotice, FAILURE_NONE);
    EXPECT_EQ(settings.logRecMode, 2);
    fs::remove_all(blocker.parent_path());
    ++checks;
  });
  Tap(RECORDING_X, RECORDING_Y);
  backend.Call([&] {
    EXPECT_EQ(settings.logRecMode, 3);
    EXPECT_EQ(settings.failureNotice, FAILURE_NONE);
    ++checks;
  });
  backend.Quit();
  settings.RunModal();
  EXPECT_EQ(checks, 3);
  EXPECT_EQ(ReadFile(file), SettingsBytes(3));
}

// Deleting all logs of a read-only card shows a failure, not "deleted", and
// the delete buttons stay as the logs on the card ask.
TEST_F(SettingsTest, DeletingAllLogsOfAReadOnlyCardSaysItFailed) {
  AddLog(2009, 5, 12);
  AddLog(2010, 1, 3);
  const std::string card = (root / "SDMMC").string();
  int result = RunWithOwnMounts([&] {
    int failures = 0;
    if (!BindMount(card, card, true)) return OWN_MOUNTS_UNAVAILABLE;
    Tap(ALL_DELETE_X, DELETE_Y);
    Tap(YES_X, YES_NO_Y);
    backend.Call([&] {
      CHILD_CHECK(failures, !settings.deletedNoticeShown);
      CHILD_CHECK(failures, settings.failureNotice == FAILURE_DELETE);
      CHILD_CHECK(failures, settings.hasLogs >= 1);
      CHILD_CHECK(failures, ScreenMatchesGolden("settings_delete_failed_notice"));
    });
    backend.Wait(3000).Call([&] { CHILD_CHECK(failures, settings.failureNotice == FAILURE_NONE); });
    Tap(ALL_DELETE_X, DELETE_Y);  // still there to be tried again
    backend.Call([&] { CHILD_CHECK(failures, settings.confirmShown); }).Quit();
    settings.RunModal();
    return failures;
  });
  if (result == OWN_MOUNTS_UNAVAILABLE) GTEST_SKIP() << "no mount namespace of our own here";
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(fs::exists(LogPath(2009, 5, 12)));
  EXPECT_TRUE(fs::exists(LogPath(2010, 1, 3)));
}

// The figures of the free-space table, each with its gauge.
TEST_F(SettingsTest, FreeSpaceTextsAndGauges) {
  AddLog(2009, 5, 12);
  struct Case {
    const char* golden;
    uint64_t available, total, free;
  };
  const Case cases[] = {
      {"settings_blue_gauge", 2500000000, 4000000000, 2500000000},  // 2.5GB, 62 % → 13 blue segments
      {"settings_red_gauge", 12345678, 4000000000, 12345678},       // 12MB 残り約17時間
      {"settings_full_card", 1000000, 1000000, 1000000},            // 1.0MB 残り約1時間, 21 red segments
      {"settings_no_gauge", 11999, 4000000000, 11999},              // 11KB 残り約0分
  };
  int shots = 0;
  for (const Case& c : cases) {
    backend.Call([this, c] {
      SetCard(c.available, c.total, c.free);
      settings.Invalidate(false);
    });
    backend.Wait(10).Call([&shots, c] {
      EXPECT_TRUE(ScreenMatchesGolden(c.golden));
      ++shots;
    });
  }
  backend.Call([] { OverrideDiskFreeSpace(nullptr, true); })
      .Call([this] { settings.Invalidate(false); })
      .Wait(10)
      .Call([&] {
        EXPECT_EQ(settings.cardFreePercent, 255);
        EXPECT_EQ(settings.cardFreeBytes, 0u);
        EXPECT_TRUE(ScreenMatchesGolden("settings_card_message"));
        ++shots;
      })
      .Quit();
  settings.RunModal();
  EXPECT_EQ(shots, 5);
}

}  // namespace
