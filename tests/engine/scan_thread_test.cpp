// The scan thread: walk order, enabled categories, messages, stopping.
#include <gtest/gtest.h>

#include <condition_variable>
#include <map>

#include "engine/scan_controller.h"
#include "engine_test_support.h"

namespace bc::engine::test {
namespace {

using ::testing::ElementsAreArray;
using ::testing::NiceMock;

std::vector<std::string> Repeat(const std::string& msg, int n) {
  return std::vector<std::string>(static_cast<std::size_t>(n), msg);
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// One category's full round: before, start, end, then the empty status text.
std::vector<std::string> Round(int bit) {
  const std::string b = std::to_string(bit);
  return {"S405 0 0", "S403 " + b + " 1", "S404 " + b + " 1", "P4AA "};
}

class ScanThreadTest : public ::testing::Test {
 protected:
  ScanThreadTest() : platform(reg), ctx(platform), target(ctx), controller(ctx) {
    ctx.hooks.createCategory = [this](std::uint32_t bit, EngineContext& c) {
      auto category = std::make_unique<TestCategory>(c, bit, scanFns[bit]);
      created[bit] = category.get();
      return category;
    };
    ctx.hooks.enabledCategories = [this] { return enabled; };
    ctx.SetMainWindow(&target);
    controller.SetNotifyWindow(&target);
  }

  // Order in which categories were scanned, as bits.
  std::vector<std::uint32_t> scanOrder;
  TestCategory::ScanFn Recorder(int result = 0) {
    return [this, result](TestCategory& c) {
      scanOrder.push_back(c.Bit());
      return result;
    };
  }

  NiceMock<MockRegistry> reg;
  RegistryOnlyPlatform platform;
  EngineContext ctx;
  RecordingTarget target;
  CScanController controller;
  std::uint32_t enabled = kAllCategories;
  std::map<std::uint32_t, TestCategory::ScanFn> scanFns;
  std::map<std::uint32_t, TestCategory*> created;
};

struct WalkCase {
  const char* name;
  std::uint32_t createMask;
  std::uint32_t enabledMask;
  std::vector<std::uint32_t> expectedOrder;
  std::vector<std::string> expectedMessages;
};

TEST_F(ScanThreadTest, WalksEnabledCategoriesInFixedOrder) {
  const WalkCase cases[] = {
      // Only the COM group exists: the five system categories before it are enabled but have no
      // object, so they only clear the status text.
      {"com group",
       0x0005,
       kAllCategories,
       {0x0001, 0x0004},
       Concat(
           {Repeat("P4AA ", 5), Round(0x0001), Round(0x0004), Repeat("P4AA ", 7), {"P401 1 0"}})},
      // Everything exists, the setting enables start-up and software: start-up runs first.
      {"settings pick two",
       kAllCategories,
       0x0900,
       {0x0800, 0x0100},
       Concat({Repeat("P4AA ", 12), Round(0x0800), Round(0x0100), {"P401 1 0"}})},
      // Everything disabled: no scan at all, fourteen status messages, finished.
      {"all disabled", kAllCategories, 0, {}, Concat({Repeat("P4AA ", 14), {"P401 1 0"}})},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (const CategoryInfo& info : kCategoryTable) scanFns[info.bit] = Recorder();
    scanOrder.clear();
    RecordingTarget fresh(ctx);
    ctx.SetMainWindow(&fresh);
    controller.SetNotifyWindow(&fresh);
    enabled = c.enabledMask;
    ASSERT_TRUE(controller.CreateCategories(c.createMask, 0));

    EXPECT_EQ(controller.RunScan(), 0);
    EXPECT_EQ(scanOrder, c.expectedOrder);
    EXPECT_THAT(fresh.Messages(), ElementsAreArray(c.expectedMessages));
    EXPECT_FALSE(ctx.scanRunning.load());
  }
}

TEST_F(ScanThreadTest, CategoriesSeeTheirScanGroupAndTheRunningFlag) {
  for (const CategoryInfo& info : kCategoryTable) scanFns[info.bit] = Recorder();
  ASSERT_TRUE(controller.CreateCategories(kAllCategories, 14));
  controller.RunScan();
  ASSERT_EQ(scanOrder.size(), 14u);
  for (const CategoryInfo& info : kCategoryTable) {
    SCOPED_TRACE(info.className);
    EXPECT_EQ(created[info.bit]->seenGroup, info.scanGroup);
    EXPECT_TRUE(created[info.bit]->seenRunning);
  }
}

TEST_F(ScanThreadTest, StopBetweenCategoriesKeepsWhatWasFound) {
  // Application paths (first in the walk) finds two problems; the page asks to stop while it
  // handles the end message. ActiveX, the next category with an object, must not start.
  scanFns[0x0002] = [](TestCategory& c) {
    c.AddProblem(1, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\A", u"", u"", u"", 0);
    c.AddProblem(13, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\B", u"", u"", u"", 0);
    return 0;
  };
  scanFns[0x0001] = Recorder();
  scanFns[0x0004] = Recorder();
  ASSERT_TRUE(controller.CreateCategories(0x0007, 3));
  target.onSend = [this](std::uint32_t msg, std::uintptr_t w) {
    if (msg == kMsgCategoryEnd && w == 0x0002) controller.RequestStop();
  };

  EXPECT_EQ(controller.RunScan(), CCategory::kStopped);
  EXPECT_TRUE(scanOrder.empty());
  // Fonts, help files, shared files and the machine deep scan have no object and report 0 even
  // though the stop is signalled; ActiveX reports 2 without 0x405/0x403.
  EXPECT_THAT(target.Messages(),
              ElementsAreArray(Concat({Round(0x0002), Repeat("P4AA ", 4), {"P4AA ", "P402 1 0"}})));
  EXPECT_EQ(controller.TotalProblems(), 2u);
  EXPECT_EQ(controller.GetCategory(0x0002)->ProblemCount(), 2u);
}

TEST_F(ScanThreadTest, CategoryThatStopsItselfSendsNoEndMessage) {
  scanFns[0x0040] = [this](TestCategory& c) {
    c.AddProblem(33, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\S", u"c:\\x.dll", u"", u"", 0);
    controller.RequestStop();
    return c.IsStopRequested() ? CCategory::kStopped : 0;
  };
  scanFns[0x1000] = Recorder();
  ASSERT_TRUE(controller.CreateCategories(0x1040, 2));

  EXPECT_EQ(controller.RunScan(), CCategory::kStopped);
  EXPECT_THAT(target.Messages(),
              ElementsAreArray(
                  Concat({Repeat("P4AA ", 3), {"S405 0 0", "S403 64 1", "P4AA ", "P402 1 0"}})));
  EXPECT_TRUE(scanOrder.empty());
  EXPECT_EQ(controller.TotalProblems(), 1u);
}

TEST_F(ScanThreadTest, CreateCategoriesResetsTheStopEvent) {
  controller.RequestStop();
  scanFns[0x0001] = Recorder();
  ASSERT_TRUE(controller.CreateCategories(0x0001, 1));
  EXPECT_FALSE(controller.GetCategory(0x0001)->IsStopRequested());
  EXPECT_EQ(controller.RunScan(), 0);
  EXPECT_EQ(scanOrder, std::vector<std::uint32_t>{0x0001});
}

TEST_F(ScanThreadTest, ThreadRunsScanAndRefusesChangesWhileRunning) {
  std::mutex m;
  std::condition_variable cv;
  bool inside = false, release = false;
  scanFns[0x0100] = [&](TestCategory& c) {
    std::unique_lock lock(m);
    inside = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
    c.AddProblem(35, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\U", u"", u"", u"", 0);
    return 0;
  };
  ASSERT_TRUE(controller.CreateCategories(0x0100, 1));
  ASSERT_TRUE(controller.StartScan());
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return inside; });
  }
  EXPECT_TRUE(ctx.scanRunning.load());
  EXPECT_TRUE(controller.IsScanThreadRunning());
  EXPECT_FALSE(controller.StartScan());
  EXPECT_FALSE(controller.CreateCategories(0x0001, 1));
  EXPECT_FALSE(controller.DeleteCategories());
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  controller.WaitForScanThread();

  EXPECT_FALSE(controller.IsScanThreadRunning());
  EXPECT_FALSE(ctx.scanRunning.load());
  EXPECT_EQ(target.Messages().back(), "P401 1 0");
  EXPECT_EQ(controller.TotalProblems(), 1u);
  EXPECT_TRUE(controller.DeleteCategories());
  EXPECT_EQ(controller.TotalProblems(), 0u);
}

TEST_F(ScanThreadTest, NoNotifyWindowMeansNoProgressMessages) {
  scanFns[0x0001] = Recorder();
  ASSERT_TRUE(controller.CreateCategories(0x0001, 1));
  controller.ResetTargets();
  EXPECT_EQ(controller.RunScan(), 0);
  EXPECT_EQ(scanOrder.size(), 1u);
  // The main window still gets the status messages.
  EXPECT_EQ(target.Messages(), Repeat("P4AA ", 14));
}

}  // namespace
}  // namespace bc::engine::test
