// The program's preferences, counters and last-time marks, kept in the registry under the
// settings key of the current user. One CSettings lives in the program's context; the general
// settings are its public members, read at start-up by ReadAllSettings and written back together
// by WriteAllSettings. A few values are read and written on their own by the code that owns them.
//
// No lock: the general settings are changed on the user-interface thread; worker threads read the
// scan options and update the repair counters, and the UI thread writes them once the worker has
// finished.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "platform/registry.h"

namespace bc::storage {

// Below HKEY_CURRENT_USER (and, for a few values, HKEY_LOCAL_MACHINE).
inline constexpr std::u16string_view kSettingsKey =
    u"Software\\Tessaly Works\\Brellum Corvane\\Version 1";

// Sub-key of the settings key holding the profile integers.
inline constexpr std::u16string_view kProfileSettingsSection = u"Settings";

// Every one of the fourteen scan categories.
inline constexpr platform::DWORD kAllCategoriesMask = 0x3FFF;

// Names of the values handled one by one.
namespace value_names {
inline constexpr std::u16string_view kCurrentScanTime = u"CurrentScanTime";
inline constexpr std::u16string_view kStartAutoScanPMUI = u"StartAutoScanPMUI";
inline constexpr std::u16string_view kFirstRun = u"FirstRun";
inline constexpr std::u16string_view kRBtnEvery = u"m_rBtnEvery";
inline constexpr std::u16string_view kMonday = u"Monday";
inline constexpr std::u16string_view kTuesday = u"Tuesday";
inline constexpr std::u16string_view kWednesday = u"Wednesday";
inline constexpr std::u16string_view kThursday = u"Thrusday";  // spelled so in the registry
inline constexpr std::u16string_view kFriday = u"Friday";
inline constexpr std::u16string_view kSaturday = u"Saturday";
inline constexpr std::u16string_view kSunday = u"Sunday";
inline constexpr std::u16string_view kDate = u"Date";
inline constexpr std::u16string_view kTime = u"Time";
inline constexpr std::u16string_view kSelectedCategories = u"SelectedCategories";
inline constexpr std::u16string_view kTelNo = u"TELNO";
inline constexpr std::u16string_view kStrLastScanResults = u"StrLastScanResults";
}  // namespace value_names

// _wtoi: leading blanks, an optional sign, decimal digits up to the first other character;
// 0 when there are none. Clamped to the int range.
int ParseDecimal(std::u16string_view text);

// The 16-byte SYSTEMTIME record: eight little-endian 16-bit fields.
void SystemTimeToBytes(const SystemTime& t, std::uint8_t (&bytes)[16]);
SystemTime SystemTimeFromBytes(const std::uint8_t (&bytes)[16]);

class CSettings {
 public:
  // The defaults are in place from construction on: a later ReadAllSettings only overwrites what
  // the registry holds.
  explicit CSettings(platform::IRegistry& registry) : registry_(registry) {}

  // General settings, named as their registry values.
  platform::DWORD StartWhenWinBoots = 1;
  platform::DWORD GoToSystemTrayOnClose = 0;
  platform::DWORD SetChkREmovableMedia = 1;
  platform::DWORD SetChkSkipEmptyKeys = 1;
  platform::DWORD ImprovementProgram = 1;
  platform::DWORD ConfirmBkUps = 1;
  platform::DWORD StartScan = 0;
  platform::DWORD StartMinimized = 0;
  platform::DWORD AutoRepair = 0;
  std::u16string StrLastScan;
  std::u16string StrLastScanResults = u"0";
  std::u16string StrLastOptimizeTime;
  std::u16string StrLatestRegDefrag;
  std::u16string StrLatestRestorePoint;
  std::u16string StrLastStartupOpt;
  platform::DWORD RegErrFoundTillDate = 0;
  platform::DWORD RegErrsFixedTillDate = 0;
  platform::DWORD RegErrsFixedLast = 0;
  std::u16string ScheduledTime;
  platform::DWORD NumTimesDVNRunned = 0;

  // Reads every general setting that exists with the right type (DWORD for numbers, REG_SZ or
  // REG_EXPAND_SZ for texts); anything else keeps its current value. Creates the settings key
  // when it is missing.
  void ReadAllSettings();
  // Writes every general setting; failures are ignored, then the key is flushed.
  void WriteAllSettings();

  // "StrLastScanResults" as a number (0 when missing, empty or not a number) and back.
  int ReadLastScanCount() const;
  void WriteLastScanCount(int count);

  // "CurrentScanTime": the local time of the last completed scan.
  std::optional<SystemTime> ReadLastScanTime() const;
  void WriteLastScanTime(const SystemTime& localTime);
  // Whole days (truncated towards zero) from the last scan to nowLocal; -1 when the time is
  // missing or not a valid date.
  int DaysSinceLastScan(const SystemTime& nowLocal) const;

  // One DWORD in a sub-key of the settings key; def when the sub-key or value is missing or the
  // value is not a DWORD.
  platform::DWORD ReadProfileInt(std::u16string_view subKey, std::u16string_view name,
                                 platform::DWORD def) const;
  void WriteProfileInt(std::u16string_view subKey, std::u16string_view name, platform::DWORD value);

  // The mask of scan categories to run ("SelectedCategories" under "Settings"); all fourteen
  // when it was never chosen.
  platform::DWORD SelectedCategories() const;
  void WriteSelectedCategories(platform::DWORD mask);

  // "StartAutoScanPMUI": missing (or not a DWORD) or non-zero means scan when first shown.
  bool ReadStartAutoScan() const;
  void ClearStartAutoScan();

  // Values of the settings key handled by their owners (schedule page, first run).
  bool HasValue(std::u16string_view name) const;
  std::optional<platform::DWORD> ReadDword(std::u16string_view name) const;
  void WriteDword(std::u16string_view name, platform::DWORD value);
  std::optional<std::u16string> ReadText(std::u16string_view name) const;
  void WriteText(std::u16string_view name, std::u16string_view text);

  // The support telephone number the installer leaves under HKEY_LOCAL_MACHINE; empty if none.
  std::u16string ReadTelNo() const;

  platform::IRegistry& Registry() const { return registry_; }

 private:
  platform::IRegistry& registry_;
};

}  // namespace bc::storage
