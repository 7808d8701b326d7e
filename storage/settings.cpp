#include "storage/settings.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <span>
#include <string>

#include "base/text.h"
#include "storage/reg_value.h"

namespace bc::storage {

using platform::DWORD;

namespace {

constexpr platform::REGSAM kReadWrite = platform::KEY_READ | platform::KEY_WRITE;

// One general setting: a DWORD member or a text member of CSettings.
struct GeneralSetting {
  std::u16string_view name;
  DWORD CSettings::*number = nullptr;
  std::u16string CSettings::*text = nullptr;
};

// In the order they are written.
constexpr GeneralSetting kGeneralSettings[] = {
    {u"SetChkREmovableMedia", &CSettings::SetChkREmovableMedia},
    {u"SetChkSkipEmptyKeys", &CSettings::SetChkSkipEmptyKeys},
    {u"ImprovementProgram", &CSettings::ImprovementProgram},
    {u"StartWhenWinBoots", &CSettings::StartWhenWinBoots},
    {u"GoToSystemTrayOnClose", &CSettings::GoToSystemTrayOnClose},
    {u"ConfirmBkUps", &CSettings::ConfirmBkUps},
    {u"StartScan", &CSettings::StartScan},
    {u"StartMinimized", &CSettings::StartMinimized},
    {u"AutoRepair", &CSettings::AutoRepair},
    {u"StrLastScan", nullptr, &CSettings::StrLastScan},
    {value_names::kStrLastScanResults, nullptr, &CSettings::StrLastScanResults},
    {u"StrLastOptimizeTime", nullptr, &CSettings::StrLastOptimizeTime},
    {u"StrLatestRegDefrag", nullptr, &CSettings::StrLatestRegDefrag},
    {u"StrLatestRestorePoint", nullptr, &CSettings::StrLatestRestorePoint},
    {u"StrLastStartupOpt", nullptr, &CSettings::StrLastStartupOpt},
    {u"RegErrFoundTillDate", &CSettings::RegErrFoundTillDate},
    {u"RegErrsFixedTillDate", &CSettings::RegErrsFixedTillDate},
    {u"RegErrsFixedLast", &CSettings::RegErrsFixedLast},
    {u"ScheduledTime", nullptr, &CSettings::ScheduledTime},
    {u"NumTimesDVNRunned", &CSettings::NumTimesDVNRunned},
};

std::u16string Decimal(int value) {
  return Ascii(std::to_string(value));
}

std::u16string SubKeyPath(std::u16string_view subKey) {
  std::u16string path(kSettingsKey);
  while (!subKey.empty() && subKey.front() == u'\\') subKey.remove_prefix(1);
  if (!subKey.empty()) {
    path += u'\\';
    path += subKey;
  }
  return path;
}

}  // namespace

int ParseDecimal(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

void SystemTimeToBytes(const SystemTime& t, std::uint8_t (&bytes)[16]) {
  const std::uint16_t fields[8] = {t.year, t.month,  t.dayOfWeek, t.day,
                                   t.hour, t.minute, t.second,    t.milliseconds};
  for (int i = 0; i < 8; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(fields[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(fields[i] >> 8);
  }
}

SystemTime SystemTimeFromBytes(const std::uint8_t (&bytes)[16]) {
  std::uint16_t f[8];
  for (int i = 0; i < 8; ++i)
    f[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return SystemTime{f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]};
}

void CSettings::ReadAllSettings() {
  RegKey key(registry_);
  if (key.Create(platform::HKEY_CURRENT_USER, kSettingsKey, kReadWrite) != platform::ERROR_SUCCESS)
    return;
  for (const GeneralSetting& s : kGeneralSettings) {
    if (s.number) {
      if (auto v = key.QueryDword(s.name)) this->*s.number = *v;
    } else if (auto text = key.QueryText(s.name)) {
      // The count is held as text but always as a clean decimal number.
      this->*s.text =
          s.name == value_names::kStrLastScanResults ? Decimal(ParseDecimal(*text)) : *text;
    }
  }
}

void CSettings::WriteAllSettings() {
  RegKey key(registry_);
  if (key.Create(platform::HKEY_CURRENT_USER, kSettingsKey, kReadWrite) != platform::ERROR_SUCCESS)
    return;
  for (const GeneralSetting& s : kGeneralSettings) {
    if (s.number) {
      key.SetDword(s.name, this->*s.number);
    } else if (s.name == value_names::kStrLastScanResults) {
      key.SetText(s.name, Decimal(ParseDecimal(this->*s.text)));
    } else {
      key.SetText(s.name, this->*s.text);
    }
  }
  key.Flush();
}

int CSettings::ReadLastScanCount() const {
  const auto text = ReadText(value_names::kStrLastScanResults);
  return text ? ParseDecimal(*text) : 0;
}

void CSettings::WriteLastScanCount(int count) {
  WriteText(value_names::kStrLastScanResults, Decimal(count));
}

std::optional<SystemTime> CSettings::ReadLastScanTime() const {
  RegKey key(registry_);
  if (key.Open(platform::HKEY_CURRENT_USER, kSettingsKey, platform::KEY_READ) !=
      platform::ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = platform::REG_NONE;
  const auto data = key.QueryBytes(value_names::kCurrentScanTime, &type);
  if (!data || data->size() != 16) return std::nullopt;
  std::uint8_t bytes[16];
  std::copy(data->begin(), data->end(), bytes);
  return SystemTimeFromBytes(bytes);
}

void CSettings::WriteLastScanTime(const SystemTime& localTime) {
  RegKey key(registry_);
  if (key.Create(platform::HKEY_CURRENT_USER, kSettingsKey, kReadWrite) != platform::ERROR_SUCCESS)
    return;
  std::uint8_t bytes[16];
  SystemTimeToBytes(localTime, bytes);
  key.SetBinary(value_names::kCurrentScanTime, bytes, sizeof bytes);
}

int CSettings::DaysSinceLastScan(const SystemTime& nowLocal) const {
  const auto last = ReadLastScanTime();
  if (!last) return -1;
  // Both are local times of the same zone, so their difference needs no zone.
  const auto then = UnixFromSystemTime(*last);
  const auto now = UnixFromSystemTime(nowLocal);
  if (!then || !now) return -1;
  return static_cast<int>((*now - *then) / 86400);
}

DWORD CSettings::ReadProfileInt(std::u16string_view subKey, std::u16string_view name,
                                DWORD def) const {
  RegKey key(registry_);
  if (key.Open(platform::HKEY_CURRENT_USER, SubKeyPath(subKey), platform::KEY_READ) !=
      platform::ERROR_SUCCESS)
    return def;
  return key.QueryDword(name).value_or(def);
}

void CSettings::WriteProfileInt(std::u16string_view subKey, std::u16string_view name, DWORD value) {
  RegKey key(registry_);
  if (key.Create(platform::HKEY_CURRENT_USER, SubKeyPath(subKey), kReadWrite) !=
      platform::ERROR_SUCCESS)
    return;
  key.SetDword(name, value);
}

DWORD CSettings::SelectedCategories() const {
  return ReadProfileInt(kProfileSettingsSection, value_names::kSelectedCategories,
                        kAllCategoriesMask);
}

void CSettings::WriteSelectedCategories(DWORD mask) {
  WriteProfileInt(kProfileSettingsSection, value_names::kSelectedCategories, mask);
}

bool CSettings::ReadStartAutoScan() const {
  const auto v = ReadDword(value_names::kStartAutoScanPMUI);
  return !v || *v != 0;
}

void CSettings::ClearStartAutoScan() {
  WriteDword(value_names::kStartAutoScanPMUI, 0);
}

bool CSettings::HasValue(std::u16string_view name) const {
  RegKey key(registry_);
  if (key.Open(platform::HKEY_CURRENT_USER, kSettingsKey, platform::KEY_READ) !=
      platform::ERROR_SUCCESS)
    return false;
  DWORD size = 0;
  return registry_.RegQueryValueExW(key.Get(), name, nullptr, nullptr, &size) ==
         platform::ERROR_SUCCESS;
}

std::optional<DWORD> CSettings::ReadDword(std::u16string_view name) const {
  RegKey key(registry_);
  if (key.Open(platform::HKEY_CURRENT_USER, kSettingsKey, platform::KEY_READ) !=
      platform::ERROR_SUCCESS)
    return std::nullopt;
  return key.QueryDword(name);
}

void CSettings::WriteDword(std::u16string_view name, DWORD value) {
  RegKey key(registry_);
  if (key.Create(platform::HKEY_CURRENT_USER, kSettingsKey, kReadWrite) != platform::ERROR_SUCCESS)
    return;
  key.SetDword(name, value);
}

std::optional<std::u16string> CSettings::ReadText(std::u16string_view name) const {
  RegKey key(registry_);
  if (key.Open(platform::HKEY_CURRENT_USER, kSettingsKey, platform::KEY_READ) !=
      platform::ERROR_SUCCESS)
    return std::nullopt;
  return key.QueryText(name);
}

void CSettings::WriteText(std::u16string_view name, std::u16string_view text) {
  RegKey key(registry_);
  if (key.Create(platform::HKEY_CURRENT_USER, kSettingsKey, kReadWrite) != platform::ERROR_SUCCESS)
    return;
  key.SetText(name, text);
}

std::u16string CSettings::ReadTelNo() const {
  RegKey key(registry_);
  if (key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, platform::KEY_READ) !=
      platform::ERROR_SUCCESS)
    return {};
  return key.QueryText(value_names::kTelNo).value_or(std::u16string());
}

}  // namespace bc::storage
