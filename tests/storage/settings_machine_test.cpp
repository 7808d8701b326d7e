// The settings and the language choice on a simulated machine: what one process writes, the next
// one reads, and a standard user cannot store the machine-wide language.
#include <gtest/gtest.h>

#include "platform/registry.h"
#include "storage/localization.h"
#include "storage/settings.h"
#include "tests/storage/storage_machine.h"

namespace bc::storage {
namespace {

using testing::StorageMachine;
using namespace bc::platform;

TEST(SettingsOnAMachine, WhatOneRunWritesTheNextReads) {
  StorageMachine m;
  ASSERT_TRUE(m.Ok());
  {
    auto p = m.Start();
    CSettings s(p->Registry());
    s.ReadAllSettings();
    EXPECT_EQ(s.StartWhenWinBoots, 1u);
    s.NumTimesDVNRunned += 1;
    s.StrLastScan = u"Wed. December 09, 2026. 10:00 AM";
    s.StrLastScanResults = u"7";
    s.WriteAllSettings();
    s.WriteLastScanTime(SystemTime{2026, 12, 3, 9, 10, 0, 0, 0});
    s.WriteSelectedCategories(0x0D00);
    s.ClearStartAutoScan();
  }
  auto p = m.Start();
  CSettings s(p->Registry());
  s.ReadAllSettings();
  EXPECT_EQ(s.NumTimesDVNRunned, 1u);
  EXPECT_EQ(s.StrLastScan, u"Wed. December 09, 2026. 10:00 AM");
  EXPECT_EQ(s.ReadLastScanCount(), 7);
  EXPECT_EQ(s.SelectedCategories(), 0x0D00u);
  EXPECT_FALSE(s.ReadStartAutoScan());
  EXPECT_EQ(s.DaysSinceLastScan(SystemTime{2026, 12, 4, 10, 9, 59, 0, 0}), 0);
  EXPECT_EQ(s.DaysSinceLastScan(SystemTime{2026, 12, 4, 10, 10, 0, 0, 0}), 1);

  // Text is stored as REG_SZ with its NUL counted.
  HKEY key = kNullKey;
  ASSERT_EQ(p->Registry().RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(p->Registry().RegQueryValueExW(key, u"StrLastScanResults", &type, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 4u);  // "7" and NUL
  p->Registry().RegCloseKey(key);
}

TEST(SettingsOnAMachine, OnlyAnAdministratorStoresTheMachineLanguage) {
  StorageMachine m;
  ASSERT_TRUE(m.Ok());
  const auto noPrompt = [](std::u16string_view) { return true; };
  const auto noRestart = [](std::u16string_view, std::u16string_view) {};
  {
    auto p = m.Start(/*elevated=*/true);
    CLocalization lang(p->Registry(), p->Files(), u"C:\\Nowhere");
    EXPECT_EQ(lang.ChangeLanguage(4, testing::kProgramPath, noPrompt, noRestart),
              CLocalization::ChangeResult::kRestart);
  }
  {
    auto p = m.Start();
    CLocalization lang(p->Registry(), p->Files(), u"C:\\Nowhere");
    EXPECT_EQ(lang.LanguageIndex(), 4);
    // The standard user's choice is stored for the user only; the machine keeps French.
    EXPECT_EQ(lang.ChangeLanguage(19, testing::kProgramPath, noPrompt, noRestart),
              CLocalization::ChangeResult::kRestart);
  }
  auto p = m.Start();
  EXPECT_EQ(ReadLanguageIndex(p->Registry()), 19);
  EXPECT_EQ(ReadLanguageCode(p->Registry()), u"zhcn");
  HKEY key = kNullKey;
  ASSERT_EQ(p->Registry().RegOpenKeyExW(
                HKEY_LOCAL_MACHINE, std::u16string(kSettingsKey) + u"\\LANG", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD id = 0, size = sizeof id;
  EXPECT_EQ(p->Registry().RegQueryValueExW(key, u"LangID", nullptr,
                                           reinterpret_cast<std::uint8_t*>(&id), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(id, 4u);
  p->Registry().RegCloseKey(key);
}

}  // namespace
}  // namespace bc::storage
