#include "storage/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/storage/fake_registry.h"

namespace bc::storage {
namespace {

using testing::FakeRegistry;
using namespace bc::platform;

constexpr std::u16string_view kKey = kSettingsKey;

std::u16string TextOf(const FakeRegistry::Value* v) {
  if (!v) return u"<missing>";
  std::u16string s(v->data.size() / 2, u'\0');
  std::memcpy(s.data(), v->data.data(), s.size() * 2);
  return s;
}

TEST(Settings, DefaultsOnAnEmptyAccountAndTheKeyIsCreated) {
  FakeRegistry reg;
  CSettings s(reg);
  s.ReadAllSettings();
  EXPECT_TRUE(reg.HasKey(HKEY_CURRENT_USER, kKey));
  EXPECT_EQ(s.StartWhenWinBoots, 1u);
  EXPECT_EQ(s.GoToSystemTrayOnClose, 0u);
  EXPECT_EQ(s.SetChkREmovableMedia, 1u);
  EXPECT_EQ(s.SetChkSkipEmptyKeys, 1u);
  EXPECT_EQ(s.ImprovementProgram, 1u);
  EXPECT_EQ(s.ConfirmBkUps, 1u);
  EXPECT_EQ(s.StartScan + s.StartMinimized + s.AutoRepair, 0u);
  EXPECT_EQ(s.StrLastScanResults, u"0");
  EXPECT_EQ(s.StrLastScan, u"");
  EXPECT_EQ(s.NumTimesDVNRunned, 0u);
  EXPECT_EQ(reg.OpenHandles(), 0u);
}

// Each row stores one value with some type; the setting must take it only when the type fits.
TEST(Settings, ReadAllTakesOnlyValuesOfTheRightType) {
  struct Case {
    const char* what;
    std::u16string_view name;
    DWORD type;
    std::vector<std::uint8_t> data;
    DWORD wantStartWhenWinBoots;
    std::u16string wantStrLastScan;
  };
  const std::vector<std::uint8_t> seven = {7, 0, 0, 0};
  const std::vector<std::uint8_t> textX = {'x', 0, 0, 0};
  const Case cases[] = {
      {"DWORD taken", u"StartWhenWinBoots", REG_DWORD, {0, 0, 0, 0}, 0, u""},
      {"text as DWORD ignored", u"StartWhenWinBoots", REG_SZ, {'0', 0, 0, 0}, 1, u""},
      {"binary as DWORD ignored", u"StartWhenWinBoots", REG_BINARY, seven, 1, u""},
      {"short DWORD ignored", u"StartWhenWinBoots", REG_DWORD, {0, 0}, 1, u""},
      {"REG_SZ taken", u"StrLastScan", REG_SZ, textX, 1, u"x"},
      {"REG_EXPAND_SZ taken", u"StrLastScan", REG_EXPAND_SZ, textX, 1, u"x"},
      {"DWORD as text ignored", u"StrLastScan", REG_DWORD, seven, 1, u""},
      {"MULTI_SZ as text ignored", u"StrLastScan", REG_MULTI_SZ, textX, 1, u""},
      {"text without NUL", u"StrLastScan", REG_SZ, {'a', 0, 'b', 0}, 1, u"ab"},
      {"odd byte count", u"StrLastScan", REG_SZ, {'a', 0, 'b'}, 1, u"a"},
  };
  for (const Case& c : cases) {
    FakeRegistry reg;
    reg.Put(HKEY_CURRENT_USER, kKey, c.name, c.type, c.data);
    CSettings s(reg);
    s.ReadAllSettings();
    EXPECT_EQ(s.StartWhenWinBoots, c.wantStartWhenWinBoots) << c.what;
    EXPECT_EQ(s.StrLastScan, c.wantStrLastScan) << c.what;
  }
}

TEST(Settings, LaterReadsOverwriteOnlyWhatTheRegistryHolds) {
  FakeRegistry reg;
  reg.PutDword(HKEY_CURRENT_USER, kKey, u"AutoRepair", 1);
  CSettings s(reg);
  s.ReadAllSettings();
  s.StartScan = 1;  // changed in memory, not yet written
  s.AutoRepair = 0;
  s.ReadAllSettings();
  EXPECT_EQ(s.StartScan, 1u);
  EXPECT_EQ(s.AutoRepair, 1u);
}

TEST(Settings, WriteAllWritesEverySettingInOrderWithTextNulCounted) {
  FakeRegistry reg;
  CSettings s(reg);
  s.StrLastScan = u"Mon. March 09, 2026. 10:00 AM";
  s.RegErrFoundTillDate = 41;
  s.WriteAllSettings();
  const std::vector<std::u16string> order = {u"SetChkREmovableMedia",
                                             u"SetChkSkipEmptyKeys",
                                             u"ImprovementProgram",
                                             u"StartWhenWinBoots",
                                             u"GoToSystemTrayOnClose",
                                             u"ConfirmBkUps",
                                             u"StartScan",
                                             u"StartMinimized",
                                             u"AutoRepair",
                                             u"StrLastScan",
                                             u"StrLastScanResults",
                                             u"StrLastOptimizeTime",
                                             u"StrLatestRegDefrag",
                                             u"StrLatestRestorePoint",
                                             u"StrLastStartupOpt",
                                             u"RegErrFoundTillDate",
                                             u"RegErrsFixedTillDate",
                                             u"RegErrsFixedLast",
                                             u"ScheduledTime",
                                             u"NumTimesDVNRunned"};
  EXPECT_EQ(reg.WriteOrder(), order);
  const auto* scan = reg.Get(HKEY_CURRENT_USER, kKey, u"StrLastScan");
  ASSERT_NE(scan, nullptr);
  EXPECT_EQ(scan->type, REG_SZ);
  EXPECT_EQ(scan->data.size(), (s.StrLastScan.size() + 1) * 2);
  const auto* empty = reg.Get(HKEY_CURRENT_USER, kKey, u"ScheduledTime");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->data.size(), 2u);  // just the NUL
  const auto* found = reg.Get(HKEY_CURRENT_USER, kKey, u"RegErrFoundTillDate");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->type, REG_DWORD);
  EXPECT_EQ(found->data, (std::vector<std::uint8_t>{41, 0, 0, 0}));
  EXPECT_GE(reg.flushes, 1);

  // What was written reads back.
  CSettings again(reg);
  again.ReadAllSettings();
  EXPECT_EQ(again.StrLastScan, s.StrLastScan);
  EXPECT_EQ(again.RegErrFoundTillDate, 41u);
}

TEST(Settings, LastScanCountIsAlwaysACleanNumber) {
  struct Case {
    std::u16string stored;
    int count;
  };
  const Case cases[] = {{u"abc", 0}, {u"", 0},
                        {u"17", 17}, {u"  42 problems", 42},
                        {u"-3", -3}, {u"99999999999999", 2147483647}};
  for (const Case& c : cases) {
    FakeRegistry reg;
    reg.PutText(HKEY_CURRENT_USER, kKey, u"StrLastScanResults", c.stored);
    CSettings s(reg);
    EXPECT_EQ(s.ReadLastScanCount(), c.count) << Utf16ToUtf8(c.stored);
    s.ReadAllSettings();
    s.WriteAllSettings();
    EXPECT_EQ(TextOf(reg.Get(HKEY_CURRENT_USER, kKey, u"StrLastScanResults")),
              Ascii(std::to_string(c.count)) + u'\0')
        << Utf16ToUtf8(c.stored);
  }
  FakeRegistry reg;
  CSettings s(reg);
  EXPECT_EQ(s.ReadLastScanCount(), 0);  // missing
  s.WriteLastScanCount(12);
  EXPECT_EQ(s.ReadLastScanCount(), 12);
  EXPECT_EQ(TextOf(reg.Get(HKEY_CURRENT_USER, kKey, u"StrLastScanResults")),
            u"12" + std::u16string(1, u'\0'));
}

SystemTime At(int y, int mo, int d, int h, int mi, int s = 0) {
  SystemTime t;
  t.year = static_cast<std::uint16_t>(y);
  t.month = static_cast<std::uint16_t>(mo);
  t.day = static_cast<std::uint16_t>(d);
  t.hour = static_cast<std::uint16_t>(h);
  t.minute = static_cast<std::uint16_t>(mi);
  t.second = static_cast<std::uint16_t>(s);
  t.dayOfWeek = static_cast<std::uint16_t>(DayOfWeek(y, mo, d));
  return t;
}

TEST(Settings, LastScanTimeIsASixteenByteSystemTime) {
  FakeRegistry reg;
  CSettings s(reg);
  SystemTime t = At(2026, 12, 9, 17, 45, 30);
  t.milliseconds = 250;
  s.WriteLastScanTime(t);
  const auto* v = reg.Get(HKEY_CURRENT_USER, kKey, u"CurrentScanTime");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->type, REG_BINARY);
  const std::vector<std::uint8_t> want = {0xEA, 0x07, 12, 0, 3,  0, 9,   0,
                                          17,   0,    45, 0, 30, 0, 250, 0};
  EXPECT_EQ(v->data, want);
  EXPECT_EQ(s.ReadLastScanTime(), t);
}

TEST(Settings, DaysSinceLastScanTruncatesWholeDays) {
  struct Case {
    const char* what;
    SystemTime last;
    SystemTime now;
    int days;
  };
  const Case cases[] = {
      {"two minutes across midnight", At(2026, 3, 9, 23, 59), At(2026, 3, 10, 0, 1), 0},
      {"exactly 24 hours", At(2026, 3, 9, 23, 59), At(2026, 3, 10, 23, 59), 1},
      {"one second short of a day", At(2026, 3, 9, 23, 59, 0), At(2026, 3, 10, 23, 58, 59), 0},
      {"across a month and a leap day", At(2024, 2, 28, 12, 0), At(2024, 3, 1, 12, 0), 2},
      {"last scan in the future", At(2026, 3, 12, 12, 0), At(2026, 3, 10, 12, 0), -2},
  };
  for (const Case& c : cases) {
    FakeRegistry reg;
    CSettings s(reg);
    s.WriteLastScanTime(c.last);
    EXPECT_EQ(s.DaysSinceLastScan(c.now), c.days) << c.what;
  }
}

TEST(Settings, DaysSinceLastScanIsMinusOneWithoutAUsableTime) {
  const SystemTime now = At(2026, 3, 10, 12, 0);
  FakeRegistry missing;
  EXPECT_EQ(CSettings(missing).DaysSinceLastScan(now), -1);

  FakeRegistry badMonth;
  std::vector<std::uint8_t> bytes(16, 0);
  bytes[0] = 0xEA;
  bytes[1] = 0x07;
  bytes[2] = 13;  // month 13
  bytes[6] = 1;
  badMonth.Put(HKEY_CURRENT_USER, kKey, u"CurrentScanTime", REG_BINARY, bytes);
  EXPECT_EQ(CSettings(badMonth).DaysSinceLastScan(now), -1);

  FakeRegistry shortValue;
  shortValue.Put(HKEY_CURRENT_USER, kKey, u"CurrentScanTime", REG_BINARY,
                 std::vector<std::uint8_t>(15, 1));
  EXPECT_EQ(CSettings(shortValue).DaysSinceLastScan(now), -1);
}

TEST(Settings, SelectedCategoriesDefaultToAllFourteen) {
  FakeRegistry reg;
  CSettings s(reg);
  EXPECT_EQ(s.SelectedCategories(), 0x3FFFu);
  EXPECT_FALSE(reg.HasKey(HKEY_CURRENT_USER, std::u16string(kKey) + u"\\Settings"));  // read only

  s.WriteSelectedCategories(0x0005);
  EXPECT_EQ(s.SelectedCategories(), 0x0005u);
  EXPECT_NE(reg.Get(HKEY_CURRENT_USER, std::u16string(kKey) + u"\\Settings", u"SelectedCategories"),
            nullptr);

  reg.PutText(HKEY_CURRENT_USER, std::u16string(kKey) + u"\\Settings", u"SelectedCategories", u"5");
  EXPECT_EQ(s.SelectedCategories(), 0x3FFFu);  // not a DWORD
}

TEST(Settings, AutoScanAfterInstallUntilCleared) {
  FakeRegistry reg;
  CSettings s(reg);
  EXPECT_TRUE(s.ReadStartAutoScan());
  reg.PutDword(HKEY_CURRENT_USER, kKey, u"StartAutoScanPMUI", 5);
  EXPECT_TRUE(s.ReadStartAutoScan());
  s.ClearStartAutoScan();
  EXPECT_FALSE(s.ReadStartAutoScan());
  EXPECT_EQ(reg.OpenHandles(), 0u);
}

TEST(Settings, SupportNumberComesFromTheMachine) {
  FakeRegistry reg;
  CSettings s(reg);
  EXPECT_EQ(s.ReadTelNo(), u"");
  reg.PutText(HKEY_CURRENT_USER, kKey, u"TELNO", u"user");
  reg.PutText(HKEY_LOCAL_MACHINE, kKey, u"TELNO", u"1-800-555-0100");
  EXPECT_EQ(s.ReadTelNo(), u"1-800-555-0100");
}

}  // namespace
}  // namespace bc::storage
