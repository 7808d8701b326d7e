// The user-interface language: the table of the twenty languages, the stored choice, the
// language file in the program's folder, and the lookup of texts by key.
//
// One CLocalization lives in the program's context. The language is fixed for the life of the
// process: it is read when the object is made, and changing it restarts the program. Lookups may
// come from any thread.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/datetime.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "storage/ini_file.h"

namespace bc::storage {

struct LanguageInfo {
  std::u16string_view code;         // stored as "LangCode", handed to the pages
  std::u16string_view displayName;  // shown in the language menu and page
  std::u16string_view fileName;     // in the program's folder
  std::string_view crtLocale;       // the C-runtime locale name of the language
  std::string_view icuLocale;       // the same locale for the date names here
  int fontHeight;                   // LOGFONT height
  int charSet;                      // Windows character set
  std::u16string_view fontFace;
};

inline constexpr int kLanguageCount = 20;
// In stored-index order.
const std::array<LanguageInfo, kLanguageCount>& LanguageTable();

// The sub-key of the settings key holding "LangID" and "LangCode".
inline constexpr std::u16string_view kLanguageSubKey = u"LANG";
inline constexpr std::u16string_view kLangIdValue = u"LangID";
inline constexpr std::u16string_view kLangCodeValue = u"LangCode";
inline constexpr std::u16string_view kResourceSection = u"RESOURCESTRING";
inline constexpr std::u16string_view kChangeLangArgument = u"-changelang";
inline constexpr std::u16string_view kLangChangePromptKey = u"IDS_LANG_CHANGE_PROMPT";

// Texts longer than this many characters are cut.
inline constexpr std::size_t kMaxTextChars = 3071;
// A language file larger than this is not read (every text is then empty).
inline constexpr std::uint64_t kMaxLanguageFileBytes = 32u << 20;

// The stored language index: "LangID" under HKEY_LOCAL_MACHINE, overridden by the one under
// HKEY_CURRENT_USER; 0 when neither exists or the stored number names no language.
int ReadLanguageIndex(platform::IRegistry& registry);
// "LangCode" of the current user; "en" when missing or empty.
std::u16string ReadLanguageCode(platform::IRegistry& registry);

// The language files' folder beside the program.
inline constexpr std::u16string_view kLanguageFolder = u"LANG";

// Where the file of a language is: "<program folder>\LANG\<file>", or "<program folder>\<file>"
// when the LANG folder does not hold it.
std::u16string LanguageFilePathIn(platform::IFileSystem& files, std::u16string_view programFolder,
                                  int languageIndex);

// The folder part of a program's path ("C:\Program Files\X\BrellumKV.exe" -> "C:\...\X").
std::u16string_view FolderOfPath(std::u16string_view path);

// Turns the raw text of a language file value into the text shown: an opening double quote
// becomes a blank; \n, \t, \r and \\ become a line feed, a tab, a carriage return and a backslash;
// blanks at both ends are removed.
std::u16string CookLanguageText(std::u16string_view raw);

// The shown text of key in section of a parsed language file: the always-empty keys, the profile
// reader's rules, then CookLanguageText.
std::u16string LookupLanguageText(const CIniFile& file, std::u16string_view section,
                                  std::u16string_view key);

// Keys whose text is always empty, whatever the file says (compared trimmed, in any case).
bool IsAlwaysEmptyKey(std::u16string_view key);

// Day and month names of a language for the displayed date format; English for index 0 or an
// unknown index.
DateNames DateNamesFor(int languageIndex);

class CLocalization {
 public:
  // Reads the stored language; the language files are looked for in programFolder.
  CLocalization(platform::IRegistry& registry, platform::IFileSystem& files,
                std::u16string programFolder);
  CLocalization(const CLocalization&) = delete;
  CLocalization& operator=(const CLocalization&) = delete;

  int LanguageIndex() const { return index_; }
  const LanguageInfo& Language() const { return LanguageTable()[index_]; }
  const std::u16string& LanguageCode() const { return code_; }
  const std::u16string& LanguageFilePath() const { return filePath_; }

  // The text of key in section (RESOURCESTRING when empty); empty when the key or the file is
  // missing.
  std::u16string GetText(std::u16string_view key);
  std::u16string GetText(std::u16string_view section, std::u16string_view key);

  // Dates shown to the user, with the language's day and month names.
  const DateNames& DateNamesOfLanguage() const { return dateNames_; }
  std::u16string FormatDisplayTime(const SystemTime& localTime) const;

  // Switches to another language: asks the user (the prompt's text is passed to confirm), stores
  // the choice under HKEY_LOCAL_MACHINE (when permitted) and HKEY_CURRENT_USER, and starts the
  // program again through restart(quoted program path, "-changelang"). kRestart tells the caller
  // to end this process at once, without the normal exit work.
  enum class ChangeResult { kUnchanged, kDeclined, kRestart };
  using ConfirmFn = std::function<bool(std::u16string_view prompt)>;
  using RestartFn = std::function<void(std::u16string_view file, std::u16string_view parameters)>;
  ChangeResult ChangeLanguage(int newIndex, std::u16string_view programPath,
                              const ConfirmFn& confirm, const RestartFn& restart);

 private:
  const CIniFile& File();  // under mutex_

  platform::IRegistry& registry_;
  platform::IFileSystem& files_;
  int index_;
  std::u16string code_;
  std::u16string filePath_;
  DateNames dateNames_;

  std::mutex mutex_;
  std::optional<CIniFile> file_;
  std::unordered_map<std::u16string, std::u16string> cache_;
};

// The running program's path on the machine (GetModuleFileNameW); empty when unknown.
std::u16string ProgramPath(platform::IPlatform& platform);

// The process's localization: its registry and files, the language files beside the program.
std::unique_ptr<CLocalization> MakeLocalization(platform::IPlatform& platform);

// Starts the program again the way a language change does: the shell verb "open" on file.
CLocalization::RestartFn ShellRestart(platform::IPlatform& platform);

}  // namespace bc::storage
