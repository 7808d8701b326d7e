#include "engine/exclusions.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/category.h"
#include "engine/context.h"
#include "engine/scan_controller.h"
#include "tests/engine/mem_files.h"
#include "tests/engine/mem_registry.h"

namespace bc::engine {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::u16string>;

constexpr std::u16string_view kFolder = u"C:\\Users\\u\\AppData\\Roaming\\Tessaly Works";

std::u16string InFolder(std::u16string_view name) {
  return std::u16string(kFolder) + u"\\" + std::u16string(name);
}

TEST(ExclusionFile, ExactLayout) {
  const Bytes bytes = EncodeExclusionFile({u"HKEY_USERS\\A", u""});
  const Bytes expected = {
      2,    0,    0,    0,   // leading count
      2,    0,               // archive count
      0xFF, 0xFE, 0xFF, 12,  // UTF-16 marker, 12 characters
      'H',  0,    'K',  0,  'E', 0, 'Y', 0, '_',  0, 'U', 0,
      'S',  0,    'E',  0,  'R', 0, 'S', 0, '\\', 0, 'A', 0,  //
      0xFF, 0xFE, 0xFF, 0,                                    // empty string
  };
  EXPECT_EQ(bytes, expected);
}

TEST(ExclusionFile, CountTakesSixBytesFrom65535Entries) {
  for (std::uint32_t n : {65534u, 65535u, 70000u}) {
    const Names entries(n, u"K");
    const Bytes bytes = EncodeExclusionFile(entries);
    const std::size_t countBytes = n < 0xFFFF ? 2 : 6;
    ASSERT_EQ(bytes.size(), 4 + countBytes + n * 6u) << n;
    EXPECT_EQ(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24, static_cast<int>(n));
    if (n < 0xFFFF) {
      EXPECT_EQ(bytes[4] | bytes[5] << 8, static_cast<int>(n));
    } else {
      EXPECT_EQ(bytes[4], 0xFF);
      EXPECT_EQ(bytes[5], 0xFF);
      EXPECT_EQ(bytes[6] | bytes[7] << 8 | bytes[8] << 16 | bytes[9] << 24, static_cast<int>(n));
    }
    const auto decoded = DecodeExclusionFile(bytes);
    ASSERT_TRUE(decoded.has_value()) << n;
    EXPECT_EQ(*decoded, entries);
  }
}

TEST(ExclusionFile, DecodingTrustsOnlyTheArchiveCount) {
  Bytes bytes = EncodeExclusionFile({u"A", u"B"});
  bytes[0] = 0x99;  // the leading count is ignored
  EXPECT_EQ(DecodeExclusionFile(bytes), (Names{u"A", u"B"}));
  for (std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{5}, bytes.size() - 1}) {
    EXPECT_FALSE(DecodeExclusionFile(std::span(bytes).first(cut)).has_value()) << cut;
  }
  Bytes hugeCount = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
  EXPECT_FALSE(DecodeExclusionFile(hugeCount).has_value());
}

TEST(ExclusionLists, LoadingFollowsTheFailureRules) {
  test::MemFiles files;
  CExclusionLists lists;
  lists.AddExclusion(u"HKEY_USERS\\KEEP");
  lists.SetHistoryExclusions({u"HKEY_CURRENT_USER\\OLD"});

  // No files: the exclusion list stays as it is, the history list is emptied.
  lists.LoadExclusions(files, kFolder);
  lists.LoadHistoryExclusions(files, kFolder);
  EXPECT_EQ(lists.Exclusions(), (Names{u"HKEY_USERS\\KEEP"}));
  EXPECT_EQ(lists.HistoryExclusions(), Names{});

  // Good files replace the lists.
  files.Put(InFolder(u"ExcludeList.dvn"), EncodeExclusionFile({u"HKEY_USERS\\A"}));
  files.Put(InFolder(u"TempHLList.dvn"), EncodeExclusionFile({u"X", u"X"}));
  lists.LoadExclusions(files, kFolder);
  lists.LoadHistoryExclusions(files, kFolder);
  EXPECT_EQ(lists.Exclusions(), (Names{u"HKEY_USERS\\A"}));
  EXPECT_EQ(lists.HistoryExclusions(), (Names{u"X", u"X"}));

  // Damaged files empty them.
  Bytes damaged = EncodeExclusionFile({u"HKEY_USERS\\B", u"HKEY_USERS\\C"});
  damaged.resize(damaged.size() - 3);
  files.Put(InFolder(u"ExcludeList.dvn"), damaged);
  files.Put(InFolder(u"TempHLList.dvn"), damaged);
  lists.LoadExclusions(files, kFolder);
  lists.LoadHistoryExclusions(files, kFolder);
  EXPECT_EQ(lists.Exclusions(), Names{});
  EXPECT_EQ(lists.HistoryExclusions(), Names{});
}

TEST(ExclusionLists, SavingReplacesTheFileOnlyWhenTheWriteSucceeds) {
  test::MemFiles files;
  CExclusionLists lists;
  lists.AddExclusion(u"HKEY_CURRENT_USER\\SOFTWARE\\FOO");
  lists.SetHistoryExclusions({u"HKEY_CURRENT_USER\\Software\\Bar"});
  ASSERT_TRUE(lists.SaveExclusions(files, kFolder));
  ASSERT_TRUE(lists.SaveHistoryExclusions(files, kFolder));
  EXPECT_EQ(files.Get(InFolder(u"ExcludeList.dvn")), EncodeExclusionFile(lists.Exclusions()));

  CExclusionLists reloaded;
  reloaded.LoadExclusions(files, kFolder);
  reloaded.LoadHistoryExclusions(files, kFolder);
  EXPECT_EQ(reloaded.Exclusions(), lists.Exclusions());
  EXPECT_EQ(reloaded.HistoryExclusions(), lists.HistoryExclusions());

  // A write that fails part-way keeps the previous file whole.
  const Bytes before = *files.Get(InFolder(u"ExcludeList.dvn"));
  lists.AddExclusion(u"HKEY_USERS\\" + std::u16string(100, u'X'));
  files.failWritesAfter = 10;
  EXPECT_FALSE(lists.SaveExclusions(files, kFolder));
  EXPECT_EQ(files.Get(InFolder(u"ExcludeList.dvn")), before);
  EXPECT_EQ(files.FileCount(), 2u);  // no temporary file left behind
}

TEST(ExclusionLists, AddEntryDialogRules) {
  CExclusionLists lists;
  lists.AddExclusion(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\EXISTING");
  struct Case {
    std::u16string root, key, candidate;
    std::u16string_view refusal;
  } cases[] = {
      {u"HKEY_CURRENT_USER", u"  software\\foo\t", u"HKEY_CURRENT_USER\\SOFTWARE\\FOO", u""},
      {u"HKEY_CURRENT_USER", u" \t ", u"", u"IDS_NOEMPTY_KEY"},
      {u"HKEY_CURRENT_USER", u"", u"", u"IDS_NOEMPTY_KEY"},
      {u"HKEY_LOCAL_MACHINE", u"Software\\Existing", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\EXISTING",
       u"IDS_ITEM_ALREADY_EXIST"},
  };
  for (const Case& c : cases) {
    const NewExclusionEntry entry = lists.CheckNewEntry(c.root, c.key);
    EXPECT_EQ(entry.refusal, c.refusal) << Utf16ToUtf8(c.key);
    if (entry.Accepted()) {
      EXPECT_EQ(entry.candidate, c.candidate);
    }
  }
  EXPECT_EQ(kExclusionRoots.front(), u"HKEY_LOCAL_MACHINE");
}

TEST(ExclusionLists, MatchingIgnoresCaseAndEmptyEntries) {
  CExclusionLists lists;
  EXPECT_TRUE(lists.AddExclusion(u"HKEY_CURRENT_USER\\SOFTWARE\\FOO"));
  EXPECT_FALSE(lists.AddExclusion(u"hkey_current_user\\software\\foo"));
  EXPECT_FALSE(lists.AddExclusion(u""));
  EXPECT_TRUE(lists.AddExclusion(u"HKEY_USERS\\Bar"));  // added from a problem: case kept

  EXPECT_TRUE(lists.IsExcluded(u"HKEY_CURRENT_USER\\Software\\Foo"));
  EXPECT_TRUE(lists.IsExcluded(u"HKEY_CURRENT_USER\\Software\\Foo\\Sub"));
  EXPECT_TRUE(lists.IsExcluded(u"hkey_users\\bar\\x"));
  EXPECT_FALSE(lists.IsExcluded(u"HKEY_CURRENT_USER\\Software\\Fo"));

  EXPECT_TRUE(lists.RemoveExclusion(u"hkey_users\\BAR"));
  EXPECT_FALSE(lists.IsExcluded(u"HKEY_USERS\\Bar"));
  EXPECT_EQ(lists.Exclusions(), (Names{u"HKEY_CURRENT_USER\\SOFTWARE\\FOO"}));

  // An empty entry read from a file would otherwise hide every finding.
  test::MemFiles files;
  files.Put(InFolder(u"ExcludeList.dvn"), EncodeExclusionFile({u""}));
  files.Put(InFolder(u"TempHLList.dvn"), EncodeExclusionFile({u""}));
  lists.LoadExclusions(files, kFolder);
  lists.LoadHistoryExclusions(files, kFolder);
  EXPECT_FALSE(lists.IsExcluded(u"HKEY_USERS\\X"));
  EXPECT_FALSE(lists.IsHistoryExcluded(u"HKEY_USERS\\X"));
}

// A scan set-up: fourteen plain categories in a controller whose context consults the lists.
class ReportingCategory : public CCategory {
 public:
  using CCategory::CCategory;
  int Scan() override { return 0; }
  int Prepare() override { return 1; }
};

struct Scan {
  Scan() : platform(reg, files), ctx(platform), controller(ctx) {
    ctx.hooks.createCategory = [](std::uint32_t, EngineContext& c) {
      return std::make_unique<ReportingCategory>(c);
    };
    AttachExclusionHooks(ctx, lists);
    controller.CreateCategories(kAllCategories, kCategoryCount);
  }
  CCategory& Category(std::uint32_t bit) { return *controller.GetCategory(bit); }
  test::MemRegistry reg;
  test::MemFiles files;
  test::MemPlatform platform;
  EngineContext ctx;
  CExclusionLists lists;
  CScanController controller;
};

constexpr std::uint32_t kHistoryLists = 0x0020;
constexpr std::uint32_t kDeepScanCu = 0x2000;
constexpr std::uint32_t kSoftware = 0x0100;

TEST(ExclusionLists, ExcludedKeysNeverReachTheLists) {
  Scan s;
  const NewExclusionEntry entry = s.lists.CheckNewEntry(u"HKEY_CURRENT_USER", u"software\\foo");
  ASSERT_TRUE(entry.Accepted());
  s.lists.AddExclusion(entry.candidate);
  CCategory& c = s.Category(kDeepScanCu);
  EXPECT_EQ(c.AddProblem(43, u"HKEY_CURRENT_USER\\Software\\Foo\\Bar", u"v", u"C:\\x.exe", u"", 0),
            -1);
  // The entry is matched as text: a sibling whose name merely begins with it is excluded too.
  EXPECT_EQ(c.AddProblem(43, u"HKEY_CURRENT_USER\\Software\\Food", u"v", u"C:\\x.exe", u"", 0), -1);
  EXPECT_EQ(c.AddProblem(43, u"HKEY_USERS\\S-1\\Software\\Foo", u"v", u"C:\\x.exe", u"", 0), 0);
  EXPECT_EQ(c.AddProblem(43, u"HKEY_CURRENT_USER\\Software\\Fo", u"v", u"C:\\x.exe", u"", 0), 1);
}

TEST(ExclusionLists, UnfixedHistoryFindingsAreNotReportedAgain) {
  Scan s;
  const std::u16string key = u"HKEY_CURRENT_USER\\Software\\App\\Recent File List";
  // A cleaning run left two selected problems (their repair failed) and one unticked.
  ASSERT_EQ(s.Category(kHistoryLists).AddProblem(28, key, u"File1", u"C:\\a.txt", u"", 0), 0);
  ASSERT_EQ(
      s.Category(kSoftware).AddProblem(35, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\U", u"", u"", u"", 0),
      0);
  ASSERT_EQ(s.Category(kDeepScanCu)
                .AddProblem(43, u"HKEY_CURRENT_USER\\Software\\Kept", u"v", u"C:\\y.exe", u"", 0),
            0);
  s.Category(kDeepScanCu).ProblemAt(0)->Selected = 0;

  s.lists.RememberUnfixed(s.controller);
  EXPECT_EQ(s.lists.HistoryExclusions(), (Names{key, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\U"}));
  EXPECT_EQ(s.controller.TotalProblems(), 1u);  // only the unticked one stays
  ASSERT_TRUE(s.lists.SaveHistoryExclusions(s.files, kFolder));

  // The next run of the program, the next scan.
  Scan next;
  next.lists.LoadHistoryExclusions(s.files, kFolder);
  EXPECT_EQ(next.Category(kHistoryLists).AddProblem(28, key, u"File1", u"C:\\a.txt", u"", 0), -1);
  EXPECT_EQ(next.Category(kHistoryLists).AddProblem(27, key + u"\\Sub", u"", u"", u"", 0), -1);
  // Another category's finding with the same key is still reported.
  EXPECT_EQ(next.Category(kDeepScanCu).AddProblem(43, key, u"File1", u"C:\\a.txt", u"", 0), 0);
}

}  // namespace
}  // namespace bc::engine
