#include "storage/localization.h"

#include <memory>
#include <string>
#include <vector>

#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "base/text.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "storage/reg_value.h"
#include "storage/settings.h"

namespace bc::storage {

using platform::DWORD;

namespace {

constexpr std::array<LanguageInfo, kLanguageCount> kLanguages = {{
    {u"en", u"English", u"eng_dvn.ini", "english", "en_US", -12, 1, u"Arial"},
    {u"zhtw", u"中文繁體 (Chinese Traditional)", u"traditionalcn_dvn_zh-tw.ini",
     "chinese-traditional", "zh_Hant_TW", -12, 136, u"Arial"},
    {u"da", u"Danske (Danish)", u"Danish_dvn.ini", "danish", "da_DK", -12, 1, u"Arial"},
    {u"nl", u"Nederlands (Dutch)", u"Dutch_dvn.ini", "dutch", "nl_NL", -11, 1, u"Arial"},
    {u"fr", u"Français (French)", u"French_dvn.ini", "french", "fr_FR", -12, 1, u"Arial"},
    {u"de", u"Deutsch (German)", u"German_dvn.ini", "german", "de_DE", -12, 1, u"Arial"},
    {u"it", u"Italiano (Italian)", u"Italian_dvn.ini", "italian", "it_IT", -12, 1, u"Arial"},
    {u"ja", u"日本語 (Japanese)", u"Japanese_dvn.ini", "japanese", "ja_JP", -12, 128, u"Arial"},
    {u"no", u"Norsk (Norwegian)", u"Norwegian_dvn.ini", "norwegian", "nb_NO", -12, 1, u"Arial"},
    {u"ptbr", u"Português (Brasil)", u"Portuguese_dvn.ini", "portuguese", "pt_BR", -12, 1,
     u"Arial"},
    {u"es", u"Español (Spanish)", u"spanish_dvn.ini", "spanish", "es_ES", -11, 1, u"Arial"},
    {u"sv", u"Svenska (Swedish)", u"swedish_dvn.ini", "swedish", "sv_SE", -12, 1, u"Arial"},
    {u"fi", u"Suomi (Finnish)", u"Finnish_dvn_fi.ini", "finnish", "fi_FI", -12, 1, u"Arial"},
    {u"pt", u"Português (Portugal)", u"portugese_dvn_pt.ini", "portuguese", "pt_PT", -12, 1,
     u"Arial"},
    {u"ru", u"Русский (Russian)", u"russian_dvn_ru.ini", "russian", "ru_RU", -11, 204, u"Arial"},
    {u"el", u"Ελληνικά (Greek)", u"greek_dvn_el.ini", "greek", "el_GR", -12, 161, u"Arial"},
    {u"tr", u"Türkçe (Turkish)", u"Turkish_dvn_tr.ini", "turkish", "tr_TR", -12, 162, u"Arial"},
    {u"pl", u"Polski (Polish)", u"polish_dvn_pl.ini", "polish", "pl_PL", -12, 238, u"Arial"},
    {u"ko", u"한국어(Korean)", u"korean_dvn_ko.ini", "korean", "ko_KR", -12, 129, u"Arial"},
    {u"zhcn", u"简体中文 (Chinese Simplified)", u"Chinese_dvn.ini", "chinese-simplified",
     "zh_Hans_CN", -12, 136, u"Arial"},
}};

std::u16string LanguageKeyPath() {
  std::u16string path(kSettingsKey);
  path += u'\\';
  path += kLanguageSubKey;
  return path;
}

// The language subkey for reading; created when missing as the stored choice expects. Without
// the right to write (HKEY_LOCAL_MACHINE for a standard user) it is still read.
bool OpenLanguageKey(RegKey& key, platform::HKEY root) {
  const std::u16string path = LanguageKeyPath();
  if (key.Create(root, path, platform::KEY_READ | platform::KEY_WRITE) == platform::ERROR_SUCCESS)
    return true;
  return key.Open(root, path, platform::KEY_READ) == platform::ERROR_SUCCESS;
}

// Reads a whole file of at most maxBytes through the platform; nothing when it cannot.
std::optional<std::vector<std::uint8_t>> ReadSmallFile(platform::IFileSystem& fs,
                                                       std::u16string_view path,
                                                       std::uint64_t maxBytes) {
  platform::FileHandle f(fs, fs.CreateFileW(path, platform::GENERIC_READ,
                                            platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                                            platform::OPEN_EXISTING, 0));
  if (!f.valid()) return std::nullopt;
  std::uint64_t size = 0;
  if (!fs.GetFileSizeEx(f.get(), &size) || size > maxBytes) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  std::uint8_t buf[65536];
  for (;;) {
    DWORD got = 0;
    if (!fs.ReadFile(f.get(), buf, sizeof buf, &got)) return std::nullopt;
    if (got == 0) break;
    if (bytes.size() + got > maxBytes) return std::nullopt;
    bytes.insert(bytes.end(), buf, buf + got);
  }
  return bytes;
}

std::u16string ToU16(const icu::UnicodeString& s) {
  return std::u16string(s.getBuffer(), static_cast<std::size_t>(s.length()));
}

}  // namespace

const std::array<LanguageInfo, kLanguageCount>& LanguageTable() {
  return kLanguages;
}

int ReadLanguageIndex(platform::IRegistry& registry) {
  std::optional<DWORD> id;
  for (const platform::HKEY root : {platform::HKEY_LOCAL_MACHINE, platform::HKEY_CURRENT_USER}) {
    RegKey key(registry);
    if (!OpenLanguageKey(key, root)) continue;
    if (auto v = key.QueryDword(kLangIdValue)) id = v;
  }
  if (!id || *id >= static_cast<DWORD>(kLanguageCount)) return 0;
  return static_cast<int>(*id);
}

std::u16string ReadLanguageCode(platform::IRegistry& registry) {
  RegKey key(registry);
  if (key.Open(platform::HKEY_CURRENT_USER, LanguageKeyPath(), platform::KEY_READ) ==
      platform::ERROR_SUCCESS) {
    if (auto code = key.QueryText(kLangCodeValue); code && !code->empty()) return *code;
  }
  return u"en";
}

std::u16string LanguageFilePathIn(platform::IFileSystem& files, std::u16string_view programFolder,
                                  int languageIndex) {
  if (languageIndex < 0 || languageIndex >= kLanguageCount) languageIndex = 0;
  std::u16string folder(programFolder);
  if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
  const std::u16string_view name = kLanguages[languageIndex].fileName;
  std::u16string inLangFolder = folder + std::u16string(kLanguageFolder) + u'\\';
  inLangFolder += name;
  if (files.GetFileAttributesW(inLangFolder) != platform::INVALID_FILE_ATTRIBUTES)
    return inLangFolder;
  return folder + std::u16string(name);
}

std::u16string_view FolderOfPath(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
}

std::u16string CookLanguageText(std::u16string_view raw) {
  std::u16string text;
  text.reserve(raw.size());
  // One pass, so an escaped backslash is never read again as the start of another escape.
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char16_t c = raw[i];
    if (i == 0 && c == u'"') c = u' ';
    if (c == u'\\' && i + 1 < raw.size()) {
      const char16_t next = raw[i + 1];
      const char16_t cooked = next == u'n'    ? u'\n'
                              : next == u't'  ? u'\t'
                              : next == u'r'  ? u'\r'
                              : next == u'\\' ? u'\\'
                                              : u'\0';
      if (cooked != u'\0') {
        text += cooked;
        ++i;
        continue;
      }
    }
    text += c;
  }
  return Trim(text);
}

bool IsAlwaysEmptyKey(std::u16string_view key) {
  const std::u16string k = ToLower(TrimView(key));
  return k == u"string111" || k == u"string134" || k == u"string129";
}

std::u16string LookupLanguageText(const CIniFile& file, std::u16string_view section,
                                  std::u16string_view key) {
  if (IsAlwaysEmptyKey(key)) return {};
  return CookLanguageText(file.GetString(section, key, u"", kMaxTextChars + 1));
}

DateNames DateNamesFor(int languageIndex) {
  if (languageIndex <= 0 || languageIndex >= kLanguageCount) return EnglishDateNames();
  UErrorCode status = U_ZERO_ERROR;
  const icu::Locale locale(std::string(kLanguages[languageIndex].icuLocale).c_str());
  const icu::DateFormatSymbols symbols(locale, status);
  if (U_FAILURE(status)) return EnglishDateNames();
  DateNames names = EnglishDateNames();
  int32_t count = 0;
  // ICU counts week days from 1 (Sunday); its element 0 is empty.
  const icu::UnicodeString* days = symbols.getWeekdays(count, icu::DateFormatSymbols::FORMAT,
                                                       icu::DateFormatSymbols::ABBREVIATED);
  if (days && count >= 8)
    for (int i = 0; i < 7; ++i) names.shortDays[i] = ToU16(days[i + 1]);
  days = symbols.getWeekdays(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
  if (days && count >= 8)
    for (int i = 0; i < 7; ++i) names.longDays[i] = ToU16(days[i + 1]);
  const icu::UnicodeString* months =
      symbols.getMonths(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::ABBREVIATED);
  if (months && count >= 12)
    for (int i = 0; i < 12; ++i) names.shortMonths[i] = ToU16(months[i]);
  months = symbols.getMonths(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
  if (months && count >= 12)
    for (int i = 0; i < 12; ++i) names.longMonths[i] = ToU16(months[i]);
  const icu::UnicodeString* ampm = symbols.getAmPmStrings(count);
  if (ampm && count >= 2) {
    names.am = ToU16(ampm[0]);
    names.pm = ToU16(ampm[1]);
  }
  return names;
}

CLocalization::CLocalization(platform::IRegistry& registry, platform::IFileSystem& files,
                             std::u16string programFolder)
    : registry_(registry),
      files_(files),
      index_(ReadLanguageIndex(registry)),
      code_(ReadLanguageCode(registry)),
      dateNames_(DateNamesFor(index_)) {
  filePath_ = LanguageFilePathIn(files, programFolder, index_);
}

const CIniFile& CLocalization::File() {
  if (!file_) {
    const auto bytes = ReadSmallFile(files_, filePath_, kMaxLanguageFileBytes);
    file_ = bytes ? CIniFile::FromBytes(*bytes) : CIniFile();
  }
  return *file_;
}

std::u16string CLocalization::GetText(std::u16string_view key) {
  return GetText(kResourceSection, key);
}

std::u16string CLocalization::GetText(std::u16string_view section, std::u16string_view key) {
  if (section.empty()) section = kResourceSection;
  // The same key name may appear in several dialog sections with different texts.
  std::u16string cacheKey(section);
  cacheKey += u'\0';
  cacheKey += key;

  std::lock_guard lock(mutex_);
  if (auto it = cache_.find(cacheKey); it != cache_.end() && !it->second.empty()) return it->second;
  std::u16string text = LookupLanguageText(File(), section, key);
  cache_[cacheKey] = text;
  return text;
}

std::u16string CLocalization::FormatDisplayTime(const SystemTime& localTime) const {
  return FormatTime(kDisplayTimeFormat, localTime, dateNames_);
}

CLocalization::ChangeResult CLocalization::ChangeLanguage(int newIndex,
                                                          std::u16string_view programPath,
                                                          const ConfirmFn& confirm,
                                                          const RestartFn& restart) {
  if (newIndex == index_ || newIndex < 0 || newIndex >= kLanguageCount)
    return ChangeResult::kUnchanged;
  if (!confirm || !confirm(GetText(kLangChangePromptKey))) return ChangeResult::kDeclined;

  const std::u16string path = LanguageKeyPath();
  for (const platform::HKEY root : {platform::HKEY_LOCAL_MACHINE, platform::HKEY_CURRENT_USER}) {
    // A standard user may not write under HKEY_LOCAL_MACHINE; the current user's value decides.
    RegKey key(registry_);
    if (key.Create(root, path, platform::KEY_READ | platform::KEY_WRITE) != platform::ERROR_SUCCESS)
      continue;
    key.SetDword(kLangIdValue, static_cast<DWORD>(newIndex));
    key.SetText(kLangCodeValue, kLanguages[newIndex].code);
    key.Flush();
  }

  std::u16string quoted = u"\"";
  quoted += programPath;
  quoted += u'"';
  if (restart) restart(quoted, kChangeLangArgument);
  return ChangeResult::kRestart;
}

std::u16string ProgramPath(platform::IPlatform& platform) {
  std::u16string path;
  const DWORD length = platform.Processes().GetModuleFileNameW(32768, &path);
  if (length == 0 || length >= 32768) return {};
  return path;
}

std::unique_ptr<CLocalization> MakeLocalization(platform::IPlatform& platform) {
  return std::make_unique<CLocalization>(platform.Registry(), platform.Files(),
                                         std::u16string(FolderOfPath(ProgramPath(platform))));
}

CLocalization::RestartFn ShellRestart(platform::IPlatform& platform) {
  return [&platform](std::u16string_view file, std::u16string_view parameters) {
    platform.Shell().ShellExecuteW(u"open", file, parameters, u"", platform::SW_SHOWNORMAL);
  };
}

}  // namespace bc::storage
