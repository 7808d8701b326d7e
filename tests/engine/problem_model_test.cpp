// The category and entry-type tables, problem descriptions and full registry paths.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/text.h"
#include "engine/category_table.h"
#include "engine/entry_types.h"
#include "engine/problem.h"
#include "engine/reg_paths.h"

namespace bc::engine {
namespace {

TEST(CategoryTable, GroupsAndWalkOrderAgreeWithTheBits) {
  std::uint32_t all = 0;
  std::array<std::uint32_t, 4> groupMasks{};
  for (std::size_t i = 0; i < kCategoryTable.size(); ++i) {
    const CategoryInfo& info = kCategoryTable[i];
    EXPECT_EQ(info.index, static_cast<int>(i));
    EXPECT_EQ(info.bit, 1u << i);
    EXPECT_EQ(FindCategory(info.bit), &info);
    all |= info.bit;
    groupMasks[static_cast<std::size_t>(info.scanGroup - 1)] |= info.bit;
  }
  EXPECT_EQ(all, kAllCategories);
  EXPECT_EQ(groupMasks, kScanGroupMasks);
  EXPECT_EQ(ScanGroupMask(0), 0u);
  EXPECT_EQ(ScanGroupMask(5), 0u);

  // Every category once, groups in turn.
  std::uint32_t walked = 0;
  int lastGroup = 1;
  for (std::uint32_t bit : kScanOrder) {
    ASSERT_NE(FindCategory(bit), nullptr);
    EXPECT_EQ(walked & bit, 0u);
    walked |= bit;
    EXPECT_GE(FindCategory(bit)->scanGroup, lastGroup);
    lastGroup = FindCategory(bit)->scanGroup;
  }
  EXPECT_EQ(walked, kAllCategories);
}

TEST(EntryTypes, TextKeysAreNumberedFromOne) {
  EXPECT_EQ(ProblemDescriptionKey(0), u"IDS_PROBLEM_DESC_1");
  EXPECT_EQ(ProblemDetailKey(43), u"IDS_PROBLEM_DETAIL_44");
  EXPECT_EQ(ProblemDescriptionKey(44), u"");
  EXPECT_EQ(ProblemDetailKey(-1), u"");
  EXPECT_EQ(RepairRuleName(kEntryTypeTable[26].rule), "H1");
  EXPECT_EQ(RepairRuleName(kEntryTypeTable[32].rule), "U");
}

TEST(EntryTypes, DescriptionFillsTheFormatFromTheProblem) {
  // Every description format of this test shows three placeholders, so the result shows which
  // fields each type passes; a missing argument formats as an empty text.
  const TextLookup lookup = [](std::u16string_view key) -> std::u16string {
    if (key == u"IDS_PROBLEM_DESC_15") return u"[%s]";  // type 14 has no arguments
    if (key.starts_with(u"IDS_PROBLEM_DESC_"))
      return std::u16string(key.substr(17)) + u"<%s|%s|%s>";
    return u"wrong key";
  };
  CProblem p;
  p.Key = u"K";
  p.ValueData = u"D";
  p.DisplayTexts = {u"L0", u"L1", u"L2"};  // no line 3
  const struct {
    std::int32_t type;
    std::u16string valueName;
    std::u16string expected;
  } cases[] = {
      {0, u"", u"1<L1|D|>"},  {1, u"", u"2<L1||>"},          {4, u"", u"5<K||>"},
      {5, u"", u"6<L2||>"},   {7, u"", u"8<D|L1|>"},         {13, u"", u"14<D|L0|>"},
      {14, u"", u"[]"},       {15, u"", u"16<L0|D|>"},       {34, u"", u"35<L2|L2|>"},
      {40, u"", u"41<|L2|>"}, {42, u"", u"43<DEFAULT|K|D>"}, {43, u"Run", u"44<Run|K|D>"},
      {41, u"", u"42<D||>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    p.EntryType = c.type;
    p.ValueName = c.valueName;
    EXPECT_EQ(ProblemDescriptionText(&p, lookup), c.expected);
  }
  p.EntryType = 44;
  EXPECT_EQ(ProblemDescriptionText(&p, lookup), u"");
  EXPECT_EQ(ProblemDescriptionText(nullptr, lookup), u"");
  // A hostile language file cannot make the format read what was not passed.
  p.EntryType = 26;
  const TextLookup hostile = [](std::u16string_view) -> std::u16string { return u"%s%d%n%s"; };
  EXPECT_EQ(ProblemDescriptionText(&p, hostile), u"0");
}

TEST(RegPaths, RootsAndSplitting) {
  EXPECT_EQ(RootIndexFromName(u"HKEY_CLASSES_ROOT"), 0);
  EXPECT_EQ(RootIndexFromName(u"HKEY_CURRENT_CONFIG"), 4);
  EXPECT_EQ(RootIndexFromName(u"HKEY_Current_User"), -1);
  EXPECT_EQ(RootIndexFromName(u""), -1);
  EXPECT_EQ(RootHandleFromIndex(2), platform::HKEY_LOCAL_MACHINE);
  EXPECT_EQ(RootHandleFromIndex(4), platform::HKEY_CURRENT_CONFIG);
  EXPECT_EQ(RootHandleFromIndex(5), platform::kNullKey);
  EXPECT_EQ(RootHandleFromIndex(-1), platform::kNullKey);
  EXPECT_EQ(FullPath(platform::HKEY_USERS, u"S-1-5-18\\Software"),
            u"HKEY_USERS\\S-1-5-18\\Software");
  EXPECT_EQ(FullPath(platform::HKEY_PERFORMANCE_DATA, u"x"), u"");

  auto split = SplitFullPath(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.txt");
  ASSERT_TRUE(split);
  EXPECT_EQ(split->root, platform::HKEY_LOCAL_MACHINE);
  EXPECT_EQ(split->subKey, u"SOFTWARE\\Classes\\.txt");
  split = SplitFullPath(u"HKEY_CURRENT_USER");
  ASSERT_TRUE(split);
  EXPECT_EQ(split->subKey, u"");
  EXPECT_FALSE(SplitFullPath(u"HKCU\\Software"));
  EXPECT_FALSE(SplitFullPath(u"\\HKEY_CURRENT_USER\\Software"));
}

TEST(RegPaths, ViewBitsOnlyUnderWow64) {
  EXPECT_EQ(WithView(kWriteAccess, false, 0), 0x2001Fu);
  EXPECT_EQ(WithView(kWriteAccess, false, 1), 0x2001Fu);
  EXPECT_EQ(WithView(kWriteAccess, true, 0), 0x2011Fu);
  EXPECT_EQ(WithView(kWriteAccess, true, 1), 0x2021Fu);
  EXPECT_EQ(WithView(kReadAccess, true, 1), 0x20219u);
}

}  // namespace
}  // namespace bc::engine
