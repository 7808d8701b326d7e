// The English language file that ships in LANG: every text key the code looks up is there, and
// the texts used as formats ask for no more arguments than the code passes.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "storage/ini_file.h"
#include "storage/localization.h"

namespace bc::storage {
namespace {

namespace fs = std::filesystem;

fs::path SourceDir() {
  const char* dir = std::getenv("BC_SOURCE_DIR");
  return dir ? fs::path(dir) : fs::path();
}

std::vector<std::uint8_t> ReadHostFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class EnglishFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (SourceDir().empty()) GTEST_SKIP() << "BC_SOURCE_DIR is not set";
    bytes_ = ReadHostFile(SourceDir() / "LANG" / "eng_dvn.ini");
    ASSERT_FALSE(bytes_.empty());
    ini_ = CIniFile::FromBytes(bytes_);
  }
  bool Has(std::u16string_view section, const std::string& key) const {
    return ini_.FindRaw(section, Utf8ToUtf16(key)).has_value();
  }
  std::u16string Text(const std::string& key) const {
    return LookupLanguageText(ini_, kResourceSection, Utf8ToUtf16(key));
  }
  std::vector<std::uint8_t> bytes_;
  CIniFile ini_;
};

TEST_F(EnglishFile, IsUtf16WithByteOrderMark) {
  ASSERT_GE(bytes_.size(), 2u);
  EXPECT_EQ(bytes_[0], 0xFF);
  EXPECT_EQ(bytes_[1], 0xFE);
  EXPECT_EQ(Text("AFX_IDS_APP_TITLE"), u"Brellum Corvane");
}

// Text keys named by u"..." literals of a source: u"IDS_...", u"STR_IDS_...", u"AFX_IDS_..." and
// u"string<digits>". A literal ending in "_" is the prefix of numbered keys ("IDS_PROBLEM_DESC_").
void CollectKeyLiterals(const std::string& s, std::set<std::string>* keys) {
  for (std::size_t at = s.find("u\""); at != std::string::npos; at = s.find("u\"", at + 2)) {
    if (at > 0 && (std::isalnum(static_cast<unsigned char>(s[at - 1])) || s[at - 1] == '_'))
      continue;  // part of a longer token
    std::size_t end = at + 2;
    while (end < s.size() && (std::isalnum(static_cast<unsigned char>(s[end])) || s[end] == '_'))
      ++end;
    if (end >= s.size() || s[end] != '"') continue;
    const std::string name = s.substr(at + 2, end - at - 2);
    const bool digitsAfterString = name.size() > 6 && name.compare(0, 6, "string") == 0 &&
                                   name.find_first_not_of("0123456789", 6) == std::string::npos;
    if (name.rfind("IDS_", 0) == 0 || name.rfind("STR_IDS_", 0) == 0 ||
        name.rfind("AFX_IDS_", 0) == 0 || digitsAfterString)
      keys->insert(name);
  }
}

TEST(KeyLiterals, AreRecognisedInSourceText) {
  std::set<std::string> keys;
  CollectKeyLiterals(
      R"(f(u"IDS_A"); g(u"string12"); h(u"stringX"); u"AFX_IDS_T" xu"IDS_NO" u"IDS_PROBLEM_DESC_"
         u"STR_IDS_B" "IDS_NARROW" u"IDS_OPEN)",
      &keys);
  EXPECT_EQ(keys, (std::set<std::string>{"IDS_A", "string12", "AFX_IDS_T", "IDS_PROBLEM_DESC_",
                                         "STR_IDS_B"}));
}

TEST_F(EnglishFile, HoldsEveryKeyTheCodeLooksUp) {
  const std::set<std::string> skipped = {"build",   "tests", ".git", "LANG",
                                         "scripts", "bench", "fuzz"};
  std::set<std::string> keys;
  std::size_t files = 0;
  for (auto it = fs::recursive_directory_iterator(SourceDir()); it != fs::end(it); ++it) {
    if (it->is_directory() && it.depth() == 0 && skipped.count(it->path().filename().string())) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string ext = it->path().extension().string();
    if (!it->is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
    ++files;
    std::ifstream in(it->path());
    std::stringstream text;
    text << in.rdbuf();
    CollectKeyLiterals(text.str(), &keys);
  }
  EXPECT_GT(files, 0u);
  EXPECT_GT(keys.size(), 0u);
  for (const std::string& key : keys) {
    if (key.back() == '_') {
      EXPECT_TRUE(Has(kResourceSection, key + "1")) << "no numbered keys " << key << "<n>";
    } else {
      EXPECT_TRUE(Has(kResourceSection, key)) << key << " is looked up but not in eng_dvn.ini";
    }
  }
}

TEST_F(EnglishFile, HoldsTheDialogSections) {
  EXPECT_TRUE(Has(u"IDD_SCAN_PROGRESS", "IDCANCEL"));
  EXPECT_TRUE(Has(u"IDD_SCAN_PROGRESS", "IDC_ST_TEXT"));
  EXPECT_TRUE(Has(u"IDD_SCANTAB3_RESULTS", "IDC_BTN_OPTIMIZE"));
}

// Conversions a text asks for ("%%" asks for none).
int Conversions(std::u16string_view s) {
  int n = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != u'%') continue;
    if (i + 1 < s.size() && s[i + 1] == u'%') {
      ++i;
      continue;
    }
    ++n;
  }
  return n;
}

// Each entry type's description and detail texts are filled with a fixed number of arguments.
TEST_F(EnglishFile, ProblemTextsAskForNoMoreThanTheirArguments) {
  // Arguments per entry type 0-43: description, detail.
  const int desc[44] = {2, 1, 1, 1, 1, 1, 1, 2, 1, 1, 2, 1, 1, 2, 0, 2, 1, 1, 1, 1, 1, 2,
                        1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 2, 0, 1, 2, 1, 1, 2, 1, 3, 3};
  const int detail[44] = {3, 2, 2, 2, 1, 2, 2, 2, 1, 1, 2, 2, 2, 3, 1, 2, 1, 2, 1, 2, 1, 2,
                          3, 3, 2, 2, 2, 2, 3, 1, 1, 1, 1, 2, 2, 1, 2, 2, 1, 2, 2, 3, 3, 3};
  for (int t = 0; t < 44; ++t) {
    const std::string n = std::to_string(t + 1);
    const std::u16string d = Text("IDS_PROBLEM_DESC_" + n);
    const std::u16string x = Text("IDS_PROBLEM_DETAIL_" + n);
    EXPECT_FALSE(d.empty()) << "type " << t;
    EXPECT_FALSE(x.empty()) << "type " << t;
    EXPECT_LE(Conversions(d), desc[t]) << "IDS_PROBLEM_DESC_" << n;
    EXPECT_LE(Conversions(x), detail[t]) << "IDS_PROBLEM_DETAIL_" << n;
  }
  struct Format {
    const char* key;
    int arguments;
  };
  const Format formats[] = {
      {"IDS_DAYSAGO", 1},
      {"IDS_ERRORCOUNTS", 1},
      {"IDS_QEL_FOUND_NUM", 2},
      {"IDS_ERR_FOUND", 1},
      {"IDS_NOT_SCANNED", 1},
      {"IDS_ERRORS_PROCESSED", 2},
      {"IDS_MISSING_SHARED_FILE", 1},
      {"IDS_STARTMENU_HIST", 2},
      {"IDS_REG_DEFRAG_PROGRESS", 1},
      {"IDS_REG_DEFRAG_KEY_COUNT", 1},
      {"IDS_FRGMENTATION", 1},
      {"SCANTAB3LISTFILESIZE", 2},
      {"SCANTAB3ERRCOUNT", 1},
      {"IDS_DEFRAG_BTN_FIX_ERRORS", 1},
      {"IDS_TOTAL_SELECTED_FOR_CLEAN", 1},
  };
  for (const Format& f : formats) {
    EXPECT_FALSE(Text(f.key).empty()) << f.key;
    EXPECT_LE(Conversions(Text(f.key)), f.arguments) << f.key;
  }
  // Texts that are not formats must not look like one.
  EXPECT_EQ(Conversions(Text("IDS_LANG_CHANGE_PROMPT")), 0);
}

}  // namespace
}  // namespace bc::storage
