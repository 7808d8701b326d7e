#include "storage/localization.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "storage/settings.h"
#include "tests/storage/fake_registry.h"
#include "tests/storage/storage_machine.h"

namespace bc::storage {
namespace {

using testing::FakeRegistry;
using testing::StorageMachine;
using namespace bc::platform;

const std::u16string kProgramFolder(FolderOfPath(testing::kProgramPath));
const std::u16string kLangKey = std::u16string(kSettingsKey) + u"\\LANG";

std::string EnglishFileBytes() {
  const char* dir = std::getenv("BC_SOURCE_DIR");
  if (!dir) return {};
  std::ifstream in(std::filesystem::path(dir) / "LANG" / "eng_dvn.ini", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Puts a language file where the installer puts it, as an elevated process does.
void Install(StorageMachine& m, std::u16string_view folder, std::u16string_view name,
             std::string_view bytes) {
  auto installer = m.Start(/*elevated=*/true);
  ASSERT_NE(installer, nullptr);
  IFileSystem& fs = installer->Files();
  const int created = fs.SHCreateDirectoryExW(folder);
  ASSERT_TRUE(created == ERROR_SUCCESS || created == ERROR_ALREADY_EXISTS) << created;
  ASSERT_TRUE(WriteWholeFile(fs, std::u16string(folder) + u"\\" + std::u16string(name), bytes));
}

TEST(Localization, TextsComeFromTheInstalledLanguageFile) {
  const std::string english = EnglishFileBytes();
  if (english.empty()) GTEST_SKIP() << "BC_SOURCE_DIR is not set";
  StorageMachine m;
  ASSERT_TRUE(m.Ok());
  auto p = m.Start();
  Install(m, kProgramFolder + u"\\LANG", u"eng_dvn.ini", english);

  auto lang = MakeLocalization(*p);
  EXPECT_EQ(lang->LanguageIndex(), 0);
  EXPECT_EQ(lang->LanguageCode(), u"en");
  EXPECT_EQ(lang->LanguageFilePath(), kProgramFolder + u"\\LANG\\eng_dvn.ini");
  EXPECT_EQ(lang->GetText(u"AFX_IDS_APP_TITLE"), u"Brellum Corvane");
  EXPECT_EQ(lang->GetText(u"IDS_LANG_CHANGE_PROMPT"),
            u"Brellum Corvane restarts to change the language.\n\nRestart now?");
  // A dialog section's key, and the same name in the common section, which does not hold it.
  EXPECT_EQ(lang->GetText(u"IDD_SCAN_PROGRESS", u"IDCANCEL"), u"Stop");
  EXPECT_EQ(lang->GetText(u"IDCANCEL"), u"");
  EXPECT_EQ(lang->GetText(u"IDS_NO_SUCH_KEY"), u"");
  EXPECT_EQ(lang->FormatDisplayTime(SystemTime{2026, 12, 3, 9, 17, 5, 0, 0}),
            u"Wed. December 09, 2026. 05:05 PM");
}

TEST(Localization, AFileBesideTheProgramIsFoundToo) {
  StorageMachine m;
  ASSERT_TRUE(m.Ok());
  auto p = m.Start();
  Install(m, kProgramFolder, u"eng_dvn.ini", "[RESOURCESTRING]\r\nIDS_BTN_OK=OK\r\n");
  auto lang = MakeLocalization(*p);
  EXPECT_EQ(lang->LanguageFilePath(), kProgramFolder + u"\\eng_dvn.ini");
  EXPECT_EQ(lang->GetText(u"IDS_BTN_OK"), u"OK");
}

TEST(Localization, AMissingLanguageFileGivesEmptyTexts) {
  StorageMachine m;
  ASSERT_TRUE(m.Ok());
  auto p = m.Start();
  auto lang = MakeLocalization(*p);
  EXPECT_EQ(lang->GetText(u"AFX_IDS_APP_TITLE"), u"");
  EXPECT_EQ(lang->GetText(u"IDD_SCAN_PROGRESS", u"IDCANCEL"), u"");
  EXPECT_EQ(lang->LanguageFilePath(), kProgramFolder + u"\\eng_dvn.ini");
}

TEST(Localization, AnotherLanguageUsesItsFileAndDateNames) {
  StorageMachine m;
  ASSERT_TRUE(m.Ok());
  auto p = m.Start();
  FakeRegistry reg;
  reg.PutDword(HKEY_CURRENT_USER, kLangKey, u"LangID", 5);
  reg.PutText(HKEY_CURRENT_USER, kLangKey, u"LangCode", u"de");
  Install(m, kProgramFolder + u"\\LANG", u"German_dvn.ini",
          "\xEF\xBB\xBF[RESOURCESTRING]\r\nIDS_BTN_CLOSE=Schlie\xC3\x9F"
          "en\r\n");
  CLocalization lang(reg, p->Files(), kProgramFolder);
  EXPECT_EQ(lang.LanguageCode(), u"de");
  EXPECT_EQ(lang.Language().fileName, u"German_dvn.ini");
  EXPECT_EQ(lang.GetText(u"IDS_BTN_CLOSE"), u"Schließen");
  EXPECT_EQ(lang.GetText(u"AFX_IDS_APP_TITLE"), u"");  // not in that file
  const std::u16string shown = lang.FormatDisplayTime(SystemTime{2026, 3, 1, 9, 8, 30, 0, 0});
  EXPECT_NE(shown.find(u"März"), std::u16string::npos) << Utf16ToUtf8(shown);
}

TEST(Localization, ChangingTheLanguageStoresItAndRestarts) {
  struct Case {
    const char* what;
    int chosen;
    bool answer;
    bool elevated;
    CLocalization::ChangeResult want;
    bool asked;
  };
  using R = CLocalization::ChangeResult;
  const Case cases[] = {
      {"the current language", 0, true, false, R::kUnchanged, false},
      {"no language", 20, true, false, R::kUnchanged, false},
      {"the user says no", 19, false, false, R::kDeclined, true},
      {"standard user", 19, true, false, R::kRestart, true},
      {"administrator", 4, true, true, R::kRestart, true},
  };
  StorageMachine m;
  ASSERT_TRUE(m.Ok());
  auto p = m.Start();
  Install(m, kProgramFolder, u"eng_dvn.ini",
          "[RESOURCESTRING]\r\nIDS_LANG_CHANGE_PROMPT=Restart?\r\n");
  for (const Case& c : cases) {
    FakeRegistry reg;
    reg.hklmWritable = c.elevated;
    CLocalization lang(reg, p->Files(), kProgramFolder);
    std::u16string prompt;
    std::vector<std::u16string> restarted;
    const auto result = lang.ChangeLanguage(
        c.chosen, testing::kProgramPath,
        [&](std::u16string_view text) {
          prompt = text;
          return c.answer;
        },
        [&](std::u16string_view file, std::u16string_view parameters) {
          restarted = {std::u16string(file), std::u16string(parameters)};
        });
    EXPECT_EQ(result, c.want) << c.what;
    EXPECT_EQ(prompt, c.asked ? u"Restart?" : u"") << c.what;
    const auto* userId = reg.Get(HKEY_CURRENT_USER, kLangKey, u"LangID");
    const auto* machineId = reg.Get(HKEY_LOCAL_MACHINE, kLangKey, u"LangID");
    if (c.want != R::kRestart) {
      EXPECT_EQ(userId, nullptr) << c.what;
      EXPECT_TRUE(restarted.empty()) << c.what;
      continue;
    }
    ASSERT_NE(userId, nullptr) << c.what;
    EXPECT_EQ(userId->data[0], c.chosen) << c.what;
    EXPECT_EQ(machineId != nullptr, c.elevated) << c.what;
    const auto* code = reg.Get(HKEY_CURRENT_USER, kLangKey, u"LangCode");
    ASSERT_NE(code, nullptr);
    const std::u16string_view want = LanguageTable()[c.chosen].code;
    EXPECT_EQ(code->type, REG_SZ);
    EXPECT_EQ(code->data.size(), (want.size() + 1) * 2) << "text with its NUL";
    EXPECT_EQ(restarted,
              (std::vector<std::u16string>{u"\"" + std::u16string(testing::kProgramPath) + u"\"",
                                           u"-changelang"}))
        << c.what;
    // The next start reads the new choice.
    EXPECT_EQ(ReadLanguageIndex(reg), c.chosen) << c.what;
  }
}

}  // namespace
}  // namespace bc::storage
