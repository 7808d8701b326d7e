#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/format.h"
#include "storage/ini_file.h"
#include "storage/localization.h"
#include "storage/settings.h"
#include "tests/storage/fake_registry.h"

namespace bc::storage {
namespace {

using testing::FakeRegistry;
using namespace bc::platform;
using namespace std::string_literals;

std::vector<std::uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

std::vector<std::uint8_t> Utf16Le(std::u16string_view s, bool bom) {
  std::vector<std::uint8_t> b;
  if (bom) b = {0xFF, 0xFE};
  for (char16_t c : s) {
    b.push_back(static_cast<std::uint8_t>(c & 0xFF));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return b;
}

TEST(ProfileText, EncodingsAreRecognised) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"UTF-16LE with BOM", Utf16Le(u"[A]\r\nk=Grüße €", true), u"[A]\r\nk=Grüße €"},
      {"UTF-16BE with BOM", {0xFE, 0xFF, 0x00, 'k', 0x20, 0xAC}, u"k€"},
      {"UTF-16 odd trailing byte", {0xFF, 0xFE, 'k', 0, 'x'}, u"k"},
      {"UTF-8 with BOM", Bytes("\xEF\xBB\xBFk=\xC3\xA9"), u"k=é"},
      {"UTF-8 without BOM", Bytes("k=\xE2\x82\xAC"), u"k=€"},
      {"Windows-1252", Bytes("k=\xE9t\x80\x81"), u"k=ét€\u0081"},
      {"overlong UTF-8 is not UTF-8", Bytes("\xC0\xAF"), u"\u00C0\u00AF"},
      {"empty", {}, u""},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeProfileText(c.bytes), c.text) << c.what;
}

// GetPrivateProfileStringW's reading of a file, one query per row.
TEST(ProfileText, KeysAreFoundAsTheProfileReaderFindsThem) {
  const std::u16string file =
      u"k0=before any section\n"
      u"[RESOURCESTRING]\r\n"
      u"  IDS_A = spaced value \t\r\n"
      u"ids_b=lower-case key\r\n"
      u"IDS_DUP=first\r\n"
      u"IDS_DUP=second\r\n"
      u"IDS_Q=\"quoted\"\r\n"
      u"IDS_Q1='single'\r\n"
      u"IDS_OPEN=\"open only\r\n"
      u"IDS_LONE=\"\r\n"
      u"IDS_EQ=a=b\r\n"
      u"; IDS_COMMENT=no\r\n"
      u"no equals sign\r\n"
      u"IDS_EMPTY=\r\n"
      u"IDS_NUL=ab\0cd\r\n"
      u"[ Other ]\n"
      u"IDS_A=other section\n"
      u"[broken\n"
      u"IDS_AFTER_BROKEN=still in Other\n"
      u"[resourcestring]\n"
      u"IDS_LATER=in a repeated section\n"s;
  const CIniFile ini = CIniFile::Parse(file);
  struct Case {
    std::u16string_view section, key;
    std::u16string want;  // "<def>" when missing
  };
  const Case cases[] = {
      {u"RESOURCESTRING", u"IDS_A", u"spaced value"},
      {u"resourcestring", u"ids_a", u"spaced value"},
      {u"RESOURCESTRING", u"IDS_B", u"lower-case key"},
      {u"RESOURCESTRING", u"IDS_DUP", u"first"},
      {u"RESOURCESTRING", u"IDS_Q", u"quoted"},
      {u"RESOURCESTRING", u"IDS_Q1", u"single"},
      {u"RESOURCESTRING", u"IDS_OPEN", u"\"open only"},
      {u"RESOURCESTRING", u"IDS_LONE", u"\""},
      {u"RESOURCESTRING", u"IDS_EQ", u"a=b"},
      {u"RESOURCESTRING", u"; IDS_COMMENT", u"no"},
      {u"RESOURCESTRING", u"IDS_COMMENT", u"<def>"},
      {u"RESOURCESTRING", u"IDS_EMPTY", u""},
      {u"RESOURCESTRING", u"IDS_NUL", u"ab"},
      {u"RESOURCESTRING", u"IDS_LATER", u"<def>"},
      {u"RESOURCESTRING", u"k0", u"<def>"},
      {u"Other", u"IDS_A", u"other section"},
      {u"Other", u"IDS_AFTER_BROKEN", u"still in Other"},
      {u"Missing", u"IDS_A", u"<def>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ini.GetString(c.section, c.key, u"<def>", 3072), c.want) << Utf16ToUtf8(c.key);
}

TEST(ProfileText, LongValuesAreCutToTheBuffer) {
  const std::u16string longValue(5000, u'x');
  const CIniFile ini = CIniFile::Parse(u"[S]\nk=" + longValue + u"\nq=\"" + longValue + u"\"\n");
  EXPECT_EQ(ini.GetString(u"S", u"k", u"", 3072).size(), 3071u);
  // A quoted value that does not fit keeps its opening quote cut off but no closing one.
  const std::u16string q = ini.GetString(u"S", u"q", u"", 3072);
  EXPECT_EQ(q, std::u16string(3071, u'x'));
  EXPECT_EQ(ini.GetString(u"S", u"k", u"", 4), u"xxx");
}

TEST(ProfileText, HostileBytesNeverBreakTheReader) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(rng() % 4096));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    // Some rounds look like UTF-16 or hold plenty of brackets and equals signs.
    if (round % 3 == 0 && bytes.size() >= 2) bytes[0] = 0xFF, bytes[1] = 0xFE;
    if (round % 5 == 0)
      for (std::size_t i = 0; i < bytes.size(); i += 7) bytes[i] = "[]=\n\"\\"[rng() % 6];
    const CIniFile ini = CIniFile::FromBytes(bytes);
    EXPECT_LE(LookupLanguageText(ini, u"RESOURCESTRING", u"IDS_ERRORS").size(), kMaxTextChars);
  }
  // One line of several megabytes.
  std::string huge = "[RESOURCESTRING]\nIDS_X=";
  huge.append(3u << 20, 'a');
  const CIniFile ini = CIniFile::FromBytes(Bytes(huge));
  EXPECT_EQ(LookupLanguageText(ini, u"", u"IDS_X").size(), 0u);  // no such section ""
  EXPECT_EQ(LookupLanguageText(ini, u"RESOURCESTRING", u"IDS_X").size(), kMaxTextChars);
}

// The shown text: quotes, escapes, trimming and the keys that are always empty.
TEST(LanguageText, LookupCooksTheRawValue) {
  const CIniFile ini = CIniFile::Parse(
      u"[RESOURCESTRING]\n"
      u"IDS_QUOTED=\"Scan now\"\n"
      u"IDS_OPEN=\"Scan now\n"
      u"IDS_LINES=a\\nb\n"
      u"IDS_ALL=tab\\there\\r\\nnext\n"
      u"IDS_BACKSLASH=C:\\\\new\n"
      u"IDS_LONE_BACKSLASH=end\\\n"
      u"IDS_OTHER_ESCAPE=100\\%\n"
      u"IDS_TRAILING=Done\\n\n"
      u"IDS_INNER_QUOTES=Say \"hi\"\n"
      u"string111=never shown\n"
      u"string134=never shown\n"
      u"string129=never shown\n"
      u"string130=shown\n");
  struct Case {
    std::u16string_view key;
    std::u16string want;
  };
  const Case cases[] = {
      {u"IDS_QUOTED", u"Scan now"},
      {u"IDS_OPEN", u"Scan now"},
      {u"IDS_LINES", u"a\nb"},
      {u"IDS_ALL", u"tab\there\r\nnext"},
      {u"IDS_BACKSLASH", u"C:\\new"},
      {u"IDS_LONE_BACKSLASH", u"end\\"},
      {u"IDS_OTHER_ESCAPE", u"100\\%"},
      {u"IDS_TRAILING", u"Done"},
      {u"IDS_INNER_QUOTES", u"Say \"hi\""},
      {u"string111", u""},
      {u"STRING111", u""},
      {u"String134", u""},
      {u" string129 ", u""},
      {u"string130", u"shown"},
      {u"IDS_MISSING", u""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LookupLanguageText(ini, kResourceSection, c.key), c.want) << Utf16ToUtf8(c.key);
}

TEST(LanguageText, AHostileTextUsedAsAFormatReadsOnlyItsArguments) {
  const CIniFile ini =
      CIniFile::Parse(u"[RESOURCESTRING]\nIDS_MISSING_SHARED_FILE=%s%s%n%x\nIDS_W=%99999999d|\n");
  const std::u16string fmt = LookupLanguageText(ini, kResourceSection, u"IDS_MISSING_SHARED_FILE");
  EXPECT_EQ(Format(fmt, u"x.dll"), u"x.dll0");
  const std::u16string wide = Format(LookupLanguageText(ini, kResourceSection, u"IDS_W"), 5);
  EXPECT_LE(wide.size(), static_cast<std::size_t>(kMaxFormatWidth) + 1);
  EXPECT_EQ(wide.back(), u'|');
}

TEST(LanguageTable, TwentyLanguagesInStoredOrder) {
  const auto& t = LanguageTable();
  struct Row {
    int index;
    std::u16string_view code, file;
    int height, charSet;
  };
  const Row rows[] = {
      {0, u"en", u"eng_dvn.ini", -12, 1},
      {1, u"zhtw", u"traditionalcn_dvn_zh-tw.ini", -12, 136},
      {3, u"nl", u"Dutch_dvn.ini", -11, 1},
      {7, u"ja", u"Japanese_dvn.ini", -12, 128},
      {9, u"ptbr", u"Portuguese_dvn.ini", -12, 1},
      {13, u"pt", u"portugese_dvn_pt.ini", -12, 1},
      {14, u"ru", u"russian_dvn_ru.ini", -11, 204},
      {18, u"ko", u"korean_dvn_ko.ini", -12, 129},
      {19, u"zhcn", u"Chinese_dvn.ini", -12, 136},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(t[r.index].code, r.code) << r.index;
    EXPECT_EQ(t[r.index].fileName, r.file) << r.index;
    EXPECT_EQ(t[r.index].fontHeight, r.height) << r.index;
    EXPECT_EQ(t[r.index].charSet, r.charSet) << r.index;
  }
  for (const LanguageInfo& l : t) EXPECT_EQ(l.fontFace, u"Arial");
}

const std::u16string kLangKey = std::u16string(kSettingsKey) + u"\\LANG";

TEST(LanguageChoice, CurrentUserWinsAndUnknownIndexesMeanEnglish) {
  struct Case {
    const char* what;
    std::optional<DWORD> machine, user;
    bool elevated;
    int want;
  };
  const Case cases[] = {
      {"nothing stored", {}, {}, false, 0},
      {"user over machine", 4, 19, false, 19},
      {"machine alone, standard user", 4, {}, false, 4},
      {"machine alone, elevated", 4, {}, true, 4},
      {"25 is no language", {}, 25, false, 0},
      {"20 is no language", {}, 20, false, 0},
      {"an unknown user value still wins", 4, 25, false, 0},
  };
  for (const Case& c : cases) {
    FakeRegistry reg;
    reg.hklmWritable = c.elevated;
    if (c.machine) reg.PutDword(HKEY_LOCAL_MACHINE, kLangKey, u"LangID", *c.machine);
    if (c.user) reg.PutDword(HKEY_CURRENT_USER, kLangKey, u"LangID", *c.user);
    EXPECT_EQ(ReadLanguageIndex(reg), c.want) << c.what;
    EXPECT_TRUE(reg.HasKey(HKEY_CURRENT_USER, kLangKey)) << c.what;  // created when missing
    EXPECT_EQ(reg.OpenHandles(), 0u);
  }
  FakeRegistry textId;
  textId.PutText(HKEY_CURRENT_USER, kLangKey, u"LangID", u"5");
  EXPECT_EQ(ReadLanguageIndex(textId), 0);
}

TEST(LanguageChoice, CodeComesFromTheCurrentUser) {
  FakeRegistry reg;
  EXPECT_EQ(ReadLanguageCode(reg), u"en");
  reg.PutText(HKEY_LOCAL_MACHINE, kLangKey, u"LangCode", u"fr");
  EXPECT_EQ(ReadLanguageCode(reg), u"en");
  reg.PutText(HKEY_CURRENT_USER, kLangKey, u"LangCode", u"");
  EXPECT_EQ(ReadLanguageCode(reg), u"en");
  reg.PutText(HKEY_CURRENT_USER, kLangKey, u"LangCode", u"de");
  EXPECT_EQ(ReadLanguageCode(reg), u"de");
}

TEST(LanguageDates, NamesFollowTheLanguage) {
  SystemTime t;
  t.year = 2026;
  t.month = 3;
  t.day = 9;
  t.dayOfWeek = 1;
  t.hour = 15;
  t.minute = 4;
  EXPECT_EQ(FormatTime(kDisplayTimeFormat, t, DateNamesFor(0)), u"Mon. March 09, 2026. 03:04 PM");
  const DateNames german = DateNamesFor(5);
  EXPECT_EQ(german.longMonths[2], u"März");
  EXPECT_EQ(german.longDays[1], u"Montag");
  const DateNames russian = DateNamesFor(14);
  EXPECT_NE(russian.longMonths[0], u"January");
  EXPECT_FALSE(russian.longMonths[0].empty());
  EXPECT_EQ(DateNamesFor(99).longMonths[0], u"January");
}

}  // namespace
}  // namespace bc::storage
