// Program settings: first run, repair of the auto-start entry, the check box, the lease
// counter and the update-check counter, as stored in the registry.
#include "store/settings.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace netvane::testing {
namespace {

using platform::kErrorSuccess;
using platform::kHkeyLocalMachine;
using store::Settings;
using store::SettingsStore;

constexpr platform::RegHandle kRoot = kHkeyLocalMachine;
const char kProgramKey[] = "Software\\Orlenta\\Netvane 2.0";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kProgram[] = "C:\\Program Files\\Netvane\\Netvane.exe";
const char kEntry[] = "\"C:\\Program Files\\Netvane\\Netvane.exe\"";

class SettingsTest : public ::testing::Test {
 protected:
  std::string Text(const char* key, const char* name) {
    const store::ReadResult r = access_.ReadValue(kRoot, key, name);
    return r.code == 0 ? r.text : "<missing>";
  }
  void Put(const char* key, const char* name, const std::string& text) {
    ASSERT_EQ(access_.CreateKey(kRoot, key), kErrorSuccess);
    ASSERT_EQ(access_.WriteValue(kRoot, key, name, text), kErrorSuccess);
  }

  TestRegistry test_;
  store::RegistryAccess access_{test_.registry(), test_.codepage()};
  SettingsStore settings_{access_, kProgram};
  Settings s_;
};

TEST_F(SettingsTest, FirstRunCreatesTheProgramKeyWithItsDefaults) {
  s_.IsNoticeView = false;
  s_.IsStartProgram = true;
  s_.NextLease = 5;
  settings_.LoadSettings(s_);
  EXPECT_TRUE(s_.IsNoticeView);
  EXPECT_FALSE(s_.IsStartProgram);
  EXPECT_EQ(s_.NextLease, 16777215);
  EXPECT_EQ(ValueNames(test_.registry(), kRoot, kProgramKey),
            (std::vector<std::string>{"IsNoticeView", "IsStartProgram", "NextLease"}));
  EXPECT_EQ(Text(kProgramKey, "IsNoticeView"), "YES");
  EXPECT_EQ(Text(kProgramKey, "IsStartProgram"), "NO");
  EXPECT_EQ(Text(kProgramKey, "NextLease"), "16777215");
  EXPECT_EQ(QueryRaw(test_.registry(), kRoot, kProgramKey, "NextLease").type, platform::kRegSz);
  EXPECT_FALSE(KeyExists(test_.registry(), kRoot, kRunKey));
}

TEST_F(SettingsTest, MissingValuesGetTheirDefaultsWrittenBack) {
  ASSERT_EQ(access_.CreateKey(kRoot, "SOFTWARE\\Orlenta\\NETVANE 2.0\\"), kErrorSuccess);
  settings_.LoadSettings(s_);
  EXPECT_EQ(Text(kProgramKey, "IsNoticeView"), "YES");
  EXPECT_EQ(Text(kProgramKey, "IsStartProgram"), "NO");
  EXPECT_EQ(Text(kProgramKey, "NextLease"), "16777215");
}

TEST_F(SettingsTest, FlagsAreReadInAnyLetterCase) {
  Put(kProgramKey, "IsNoticeView", "no");
  Put(kProgramKey, "IsStartProgram", "yes");
  Put(kProgramKey, "NextLease", "42");
  Put(kRunKey, "Netvane 2.0", kEntry);
  settings_.LoadSettings(s_);
  EXPECT_FALSE(s_.IsNoticeView);
  EXPECT_TRUE(s_.IsStartProgram);
  EXPECT_EQ(s_.NextLease, 42);
}

TEST_F(SettingsTest, AnAutoStartEntryPointingElsewhereIsRepaired) {
  Put(kProgramKey, "IsStartProgram", "YES");
  Put(kRunKey, "Netvane 2.0", "\"C:\\Old Folder\\Netvane.exe\"");
  Put(kRunKey, "Other Program", "other.exe");
  settings_.LoadSettings(s_);
  EXPECT_TRUE(s_.IsStartProgram);
  EXPECT_EQ(Text(kRunKey, "Netvane 2.0"), kEntry);
  EXPECT_EQ(Text(kRunKey, "Other Program"), "other.exe");

  // Blanks around an otherwise right entry do not count as a difference.
  Put(kRunKey, "Netvane 2.0", std::string("  ") + kEntry + " ");
  settings_.LoadSettings(s_);
  EXPECT_EQ(Text(kRunKey, "Netvane 2.0"), std::string("  ") + kEntry + " ");
}

TEST_F(SettingsTest, AMissingAutoStartEntryClearsTheBoxForThisRunOnly) {
  Put(kProgramKey, "IsStartProgram", "YES");
  settings_.LoadSettings(s_);
  EXPECT_FALSE(s_.IsStartProgram);
  EXPECT_EQ(Text(kProgramKey, "IsStartProgram"), "YES");

  // Checking the box writes the setting and the entry again.
  settings_.StartProgramClicked(true, s_);
  EXPECT_TRUE(s_.IsStartProgram);
  EXPECT_EQ(Text(kProgramKey, "IsStartProgram"), "YES");
  EXPECT_EQ(Text(kRunKey, "Netvane 2.0"), kEntry);
}

TEST_F(SettingsTest, TheCheckBoxTogglesOnlyWhenEnabled) {
  settings_.LoadSettings(s_);
  settings_.StartProgramClicked(false, s_);
  EXPECT_FALSE(s_.IsStartProgram);
  EXPECT_FALSE(KeyExists(test_.registry(), kRoot, kRunKey));

  Put(kRunKey, "Other Program", "other.exe");
  settings_.StartProgramClicked(true, s_);
  EXPECT_EQ(Text(kRunKey, "Netvane 2.0"), kEntry);
  settings_.StartProgramClicked(true, s_);
  EXPECT_FALSE(s_.IsStartProgram);
  EXPECT_EQ(Text(kProgramKey, "IsStartProgram"), "NO");
  // Turning it off removes only this program's entry.
  EXPECT_EQ(ValueNames(test_.registry(), kRoot, kRunKey),
            std::vector<std::string>{"Other Program"});
}

// Beside the Run value, the logon task that starts the program elevated: registered when the box
// is ticked or found ticked at start, removed when it is cleared; a failure is told, and the
// setting and the Run value are written as always.
TEST_F(SettingsTest, TheBoxKeepsALogonTaskBesideTheRunValue) {
  FakeLogonTask scheduler;
  SettingsStore settings{access_, kProgram, &scheduler};
  settings.LoadSettings(s_);
  EXPECT_TRUE(scheduler.tasks.empty());
  EXPECT_EQ(settings.StartProgramClicked(true, s_), "");
  ASSERT_EQ(scheduler.tasks.count("Netvane 2.0"), 1u);
  EXPECT_EQ(scheduler.tasks["Netvane 2.0"].program, kProgram);
  EXPECT_EQ(scheduler.tasks["Netvane 2.0"].arguments, "");
  EXPECT_EQ(settings.StartProgramClicked(true, s_), "");
  EXPECT_TRUE(scheduler.tasks.empty());
  EXPECT_EQ(Text(kRunKey, "Netvane 2.0"), "<missing>");

  // Ticked by a build that knew no task: the start registers it.
  Put(kProgramKey, "IsStartProgram", "YES");
  Put(kRunKey, "Netvane 2.0", kEntry);
  EXPECT_EQ(settings.LoadSettings(s_), "");
  EXPECT_EQ(scheduler.tasks["Netvane 2.0"].program, kProgram);

  scheduler.error = static_cast<int32_t>(0x80070005);
  EXPECT_EQ(settings.StartProgramClicked(true, s_),
            "Netvane 2.0 could not be removed from the Task Scheduler: it may still start when you "
            "log on.\r\nError Number : 0x80070005\r\nError Description : Access is denied.");
  EXPECT_EQ(Text(kProgramKey, "IsStartProgram"), "NO");
  EXPECT_EQ(settings.StartProgramClicked(true, s_),
            "Netvane 2.0 could not be registered with the Task Scheduler to start when you log "
            "on.\r\nError Number : 0x80070005\r\nError Description : Access is denied.");
  EXPECT_EQ(Text(kRunKey, "Netvane 2.0"), kEntry);
  EXPECT_EQ(settings.LoadSettings(s_).rfind("Netvane 2.0 could not be registered", 0), 0u);
}

TEST_F(SettingsTest, NextLeaseCountsDownAndWrapsBelowZero) {
  settings_.LoadSettings(s_);
  s_.NextLease = 1;
  settings_.CountDownNextLease(s_);
  EXPECT_EQ(s_.NextLease, 0);
  EXPECT_EQ(Text(kProgramKey, "NextLease"), "0");
  settings_.CountDownNextLease(s_);
  EXPECT_EQ(s_.NextLease, 16777215);
  EXPECT_EQ(Text(kProgramKey, "NextLease"), "16777215");
}

TEST_F(SettingsTest, NextLeaseThatIsNoStampCountsAsMissing) {
  for (const char* bad : {"abc", "-1", "16777216", "12.5", ""}) {
    Put(kProgramKey, "NextLease", bad);
    s_.NextLease = 3;
    settings_.LoadSettings(s_);
    EXPECT_EQ(s_.NextLease, 16777215) << bad;
    EXPECT_EQ(Text(kProgramKey, "NextLease"), "16777215") << bad;
  }
  Put(kProgramKey, "NextLease", " 0 ");
  settings_.LoadSettings(s_);
  EXPECT_EQ(s_.NextLease, 0);
}

TEST_F(SettingsTest, UpdateCheckCountsActivationsUpToTheLimit) {
  settings_.LoadSettings(s_);
  // First activation: the counter is created.
  EXPECT_FALSE(settings_.CountActivation());
  EXPECT_EQ(Text(kProgramKey, "UpdateCheck"), "0");
  EXPECT_FALSE(settings_.CountActivation());
  EXPECT_EQ(Text(kProgramKey, "UpdateCheck"), "1");

  Put(kProgramKey, "UpdateCheck", "99");
  EXPECT_FALSE(settings_.CountActivation());
  EXPECT_EQ(Text(kProgramKey, "UpdateCheck"), "100");
  EXPECT_TRUE(settings_.CountActivation());
  EXPECT_EQ(Text(kProgramKey, "UpdateCheck"), "0");
  // A second activation before the exit starts over.
  EXPECT_FALSE(settings_.CountActivation());
  EXPECT_EQ(Text(kProgramKey, "UpdateCheck"), "1");

  Put(kProgramKey, "UpdateCheck", "250");
  EXPECT_TRUE(settings_.CountActivation());
  for (const char* bad : {"lots", "-4", "1e3"}) {
    Put(kProgramKey, "UpdateCheck", bad);
    EXPECT_FALSE(settings_.CountActivation()) << bad;
    EXPECT_EQ(Text(kProgramKey, "UpdateCheck"), "0") << bad;
  }
}

TEST_F(SettingsTest, NoticeSettingIsWrittenThrough) {
  settings_.LoadSettings(s_);
  settings_.WriteNoticeView(false, s_);
  EXPECT_FALSE(s_.IsNoticeView);
  EXPECT_EQ(Text(kProgramKey, "IsNoticeView"), "NO");
}

TEST(AutoStartEntryText, IsTheProgramPathInQuotesEndingInExe) {
  EXPECT_EQ(store::AutoStartEntryText("C:\\Program Files\\Netvane\\Netvane.exe"), kEntry);
  EXPECT_EQ(store::AutoStartEntryText("C:\\Netvane.EXE"), "\"C:\\Netvane.exe\"");
  EXPECT_EQ(store::AutoStartEntryText("D:\\Tools\\nv.bin"), "\"D:\\Tools\\nv.exe\"");
  EXPECT_EQ(store::AutoStartEntryText("/opt/netvane/bin/Netvane"),
            "\"/opt/netvane/bin/Netvane.exe\"");
  EXPECT_EQ(store::AutoStartEntryText("/Netvane"), "\"/Netvane.exe\"");
}

}  // namespace
}  // namespace netvane::testing
