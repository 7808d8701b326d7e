// CCategory services other than the gate: the throttled status line, sorting, and the
// controller's bookkeeping over its categories.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/scan_controller.h"
#include "engine_test_support.h"

namespace bc::engine::test {
namespace {

using ::testing::NiceMock;

class CategoryTest : public ::testing::Test {
 protected:
  CategoryTest() : platform(reg), ctx(platform), target(ctx) {
    ctx.hooks.createCategory = [](std::uint32_t bit, EngineContext& c) {
      return std::make_unique<TestCategory>(c, bit, nullptr);
    };
    ctx.SetMainWindow(&target);
  }
  // Adds a problem with the given display line 0 (or none) straight to the list.
  static CProblem* AddWithLine(CCategory& c, const char16_t* line0, std::u16string key) {
    auto p = std::make_unique<CProblem>();
    p->Key = std::move(key);
    if (line0) p->DisplayTexts.push_back(line0);
    CProblem* raw = p.get();
    c.AdoptProblem(std::move(p));
    return raw;
  }
  static std::vector<std::u16string> Keys(const CCategory& c) {
    std::vector<std::u16string> keys;
    for (const auto& p : c.Problems()) keys.push_back(p->Key);
    return keys;
  }

  NiceMock<MockRegistry> reg;
  RegistryOnlyPlatform platform;
  EngineContext ctx;
  RecordingTarget target;
};

TEST_F(CategoryTest, StatusShowsEveryTwentySeventhCallAcrossCategories) {
  TestCategory a(ctx, 0x0001, nullptr), b(ctx, 0x0004, nullptr);
  for (int i = 1; i <= 26; ++i) (i % 2 ? a : b).ReportStatus(u"HKEY_x\\Key", false);
  EXPECT_TRUE(target.Messages().empty());
  EXPECT_EQ(ctx.CopyStatusText(), u"");

  a.ReportStatus(u"CLSID: {abc}\\straße", false);  // 27th: shown, upper-cased per code unit
  EXPECT_EQ(target.Messages(), std::vector<std::string>{"P4AA CLSID: {ABC}\\STRAßE"});
}

TEST_F(CategoryTest, StatusKeepsCaseWhenAsked) {
  TestCategory a(ctx, 0x0001, nullptr);
  for (int i = 1; i <= 53; ++i) a.ReportStatus(u"x", true);
  a.ReportStatus(u"Font: Arial.ttf", true);
  EXPECT_EQ(target.Messages(), (std::vector<std::string>{"P4AA x", "P4AA Font: Arial.ttf"}));
  // A second program (context) counts on its own.
  EngineContext other(platform);
  RecordingTarget otherTarget(other);
  other.SetMainWindow(&otherTarget);
  TestCategory c(other, 0x0001, nullptr);
  c.ReportStatus(u"y", true);
  EXPECT_TRUE(otherTarget.Messages().empty());
}

TEST_F(CategoryTest, SortProblemsByFirstLineIgnoringCase) {
  TestCategory c(ctx, 0x0001, nullptr);
  AddWithLine(c, u"delta", u"d");
  AddWithLine(c, u"Alpha", u"a");
  AddWithLine(c, u"charlie", u"c");
  AddWithLine(c, nullptr, u"none");  // no lines: sorts as an empty text
  AddWithLine(c, u"BRAVO", u"b");
  // The comparison folds to lower case: '_' (0x5F) sorts before letters, as it would not after
  // folding to upper case.
  AddWithLine(c, u"_under", u"_");
  c.SortProblems();
  EXPECT_EQ(Keys(c), (std::vector<std::u16string>{u"none", u"_", u"a", u"b", u"c", u"d"}));
}

TEST_F(CategoryTest, SortProblemsIsTheUnstableQuicksort) {
  // Equal first lines come out in the order the partitioning leaves them: two equal entries
  // are swapped, three are reversed.
  TestCategory two(ctx, 0x0001, nullptr);
  AddWithLine(two, u"same", u"first");
  AddWithLine(two, u"SAME", u"second");
  two.SortProblems();
  EXPECT_EQ(Keys(two), (std::vector<std::u16string>{u"second", u"first"}));

  TestCategory three(ctx, 0x0001, nullptr);
  AddWithLine(three, u"x", u"1");
  AddWithLine(three, u"X", u"2");
  AddWithLine(three, u"x", u"3");
  three.SortProblems();
  EXPECT_EQ(Keys(three), (std::vector<std::u16string>{u"3", u"2", u"1"}));

  // Single entries and empty lists are left alone.
  TestCategory one(ctx, 0x0001, nullptr);
  one.SortProblems();
  AddWithLine(one, u"z", u"only");
  one.SortProblems();
  EXPECT_EQ(Keys(one), std::vector<std::u16string>{u"only"});
}

TEST_F(CategoryTest, SortProblemsHandlesLargeAndDegenerateLists) {
  TestCategory random(ctx, 0x0001, nullptr);
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> letter(0, 5);
  for (int i = 0; i < 3000; ++i) {
    std::u16string line;
    for (int k = 0; k < 3; ++k)
      line += static_cast<char16_t>((letter(gen) % 2 ? u'A' : u'a') + letter(gen));
    AddWithLine(random, line.c_str(), line);
  }
  random.SortProblems();
  const auto& list = random.Problems();
  EXPECT_EQ(list.size(), 3000u);
  EXPECT_TRUE(std::is_sorted(list.begin(), list.end(), [](const auto& x, const auto& y) {
    return CompareNoCase(x->DisplayLine(0), y->DisplayLine(0)) < 0;
  }));

  // Many equal lines and already sorted input: no deep recursion, order stays sorted.
  TestCategory same(ctx, 0x0001, nullptr);
  for (int i = 0; i < 50000; ++i) AddWithLine(same, i % 2 ? u"b" : u"a", u"k");
  same.SortProblems();
  EXPECT_EQ(same.ProblemAt(24999)->DisplayLine(0), u"a");
  EXPECT_EQ(same.ProblemAt(25000)->DisplayLine(0), u"b");
}

TEST_F(CategoryTest, ControllerCountsAndLookups) {
  CScanController controller(ctx);
  CUndoRecorder* recorder = reinterpret_cast<CUndoRecorder*>(0x2000);
  controller.SetUndoRecorder(recorder);
  ASSERT_TRUE(controller.CreateCategories(0x0105, 3));
  EXPECT_EQ(controller.CategoryMask(), 0x0105u);
  EXPECT_EQ(controller.CategoryCount(), 3);
  for (std::uint32_t bad : {0u, 0x0003u, 0x0002u, 0x4000u, 0x8000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(controller.GetCategory(bad), nullptr) << bad;
  }

  CCategory& com = *controller.GetCategory(0x0001);
  CCategory& software = *controller.GetCategory(0x0100);
  EXPECT_EQ(com.UndoRecorder(), recorder);
  com.AddProblem(1, u"HKEY_CLASSES_ROOT\\CLSID\\{1}", u"", u"", u"", 0);
  com.AddProblem(1, u"HKEY_CLASSES_ROOT\\CLSID\\{2}", u"", u"", u"", 0);
  software.AddProblem(35, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\U", u"", u"", u"", 0);
  com.ProblemAt(1)->Selected = 0;
  EXPECT_EQ(controller.TotalProblems(), 3u);
  EXPECT_EQ(controller.SelectedProblems(), 2u);

  software.RemoveProblemAt(0);
  EXPECT_EQ(controller.TotalProblems(), 2u);
  EXPECT_EQ(controller.SelectedProblems(), 1u);

  // The results reader's categories have no stop event and no recorder until cleaning.
  ASSERT_TRUE(controller.CreateCategoriesUnattached(0x3FFF));
  controller.RequestStop();
  CCategory& loaded = *controller.GetCategory(0x2000);
  EXPECT_FALSE(loaded.IsStopRequested());
  EXPECT_EQ(loaded.UndoRecorder(), nullptr);
  EXPECT_EQ(controller.CategoryCount(), 14);
  controller.PrepareForCleaning();
  EXPECT_EQ(loaded.UndoRecorder(), recorder);
  EXPECT_EQ(controller.CategoryMask(), 0x3FFFu);
  EXPECT_EQ(controller.CategoryCount(), 14);
}

TEST_F(CategoryTest, FactoryWithoutAClassLeavesTheBitEmpty) {
  ctx.hooks.createCategory = [](std::uint32_t bit, EngineContext& c) -> std::unique_ptr<CCategory> {
    if (bit == 0x0010) return nullptr;
    return std::make_unique<TestCategory>(c, bit, nullptr);
  };
  CScanController controller(ctx);
  ASSERT_TRUE(controller.CreateCategories(0x0018, 2));
  EXPECT_NE(controller.GetCategory(0x0008), nullptr);
  EXPECT_EQ(controller.GetCategory(0x0010), nullptr);
  controller.PrepareForCleaning();
  EXPECT_EQ(controller.CategoryMask(), 0x0008u);
  EXPECT_EQ(controller.CategoryCount(), 1);
}

}  // namespace
}  // namespace bc::engine::test
