// The results file on a simulated 64-bit Windows 7 machine, read as the product reads it: a 32-bit
// process of the current user, elevated or not.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/category.h"
#include "engine/context.h"
#include "engine/scan_controller.h"
#include "platform/registry.h"
#include "storage/app_data.h"
#include "storage/results_file.h"
#include "tests/platform/fixtures.h"

namespace bc::storage {
namespace {

using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using platform::sim::testing::FixtureOptions;
using platform::sim::testing::MachineFixture;
using platform::sim::testing::ProcessOptions;
using Names = std::vector<std::u16string>;

class PlainCategory : public engine::CCategory {
 public:
  using CCategory::CCategory;
  int Scan() override { return 0; }
  int Prepare() override { return 1; }
};

ProcessOptions Elevated(bool elevated) {
  ProcessOptions o;
  o.elevated = elevated;
  return o;
}

FixtureOptions WithReg(std::string reg) {
  FixtureOptions o;
  o.reg = std::move(reg);
  return o;
}

// One run of the program on the machine.
struct ProgramRun {
  ProgramRun(MachineFixture& m, bool elevated)
      : process(m.Start(Elevated(elevated))),
        ctx(*process, engine::ReadSystemFacts(*process)),
        controller(ctx),
        folder(ApplicationDataFolder(*process)) {
    ctx.hooks.createCategory = [](std::uint32_t, engine::EngineContext& c) {
      return std::make_unique<PlainCategory>(c);
    };
    controller.CreateCategories(engine::kAllCategories, engine::kCategoryCount);
  }
  void Add(std::u16string key, std::u16string name, std::int32_t is32) {
    auto p = std::make_unique<engine::CProblem>();
    p->EntryType = 42;
    p->Key = std::move(key);
    p->ValueName = std::move(name);
    p->Is32BitEntry = is32;
    controller.GetCategory(0x1000)->AdoptProblem(std::move(p));
  }
  Names Kept() const {
    Names keys;
    for (const auto& p : controller.GetCategory(0x1000)->Problems()) {
      keys.push_back(p->Key + (p->Is32BitEntry ? u" (32)" : u""));
    }
    return keys;
  }
  std::unique_ptr<platform::sim::SimProcess> process;
  engine::EngineContext ctx;
  engine::CScanController controller;
  std::u16string folder;
};

TEST(ResultsFileOnMachine, LoadKeepsWhatTheRegistryStillHoldsForThisProcess) {
  MachineFixture m(WithReg(R"(
[HKEY_CURRENT_USER\Software\Vendor\Kept]
"v"="C:\\gone.exe"
[HKEY_CURRENT_USER\Software\Vendor\Deleted]
"v"="C:\\gone.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]
"v"="C:\\gone.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Vendor32]
"v"="C:\\gone.exe"
)"));
  {
    ProgramRun run(m, true);
    run.Add(u"HKEY_CURRENT_USER\\Software\\Vendor\\Kept", u"v", 0);
    run.Add(u"HKEY_CURRENT_USER\\Software\\Vendor\\Deleted", u"v", 0);
    run.Add(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor", u"v", 0);
    run.Add(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor32", u"v", 1);
    run.Add(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor32", u"v", 0);
    SaveProblemsToDisk(run.controller, run.folder);
    ASSERT_EQ(run.process->Registry().SHDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Vendor\\Deleted"),
              platform::ERROR_SUCCESS);
  }
  {
    // An elevated administrator may open the machine's keys for writing.
    ProgramRun run(m, true);
    ASSERT_EQ(LoadProblemsFromDisk(run.controller, run.folder, nullptr).status,
              ResultsLoad::kLoaded);
    EXPECT_EQ(run.Kept(), (Names{u"HKEY_CURRENT_USER\\Software\\Vendor\\Kept",
                                 u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor",
                                 u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor32 (32)"}));
    SaveProblemsToDisk(run.controller, run.folder);
  }
  {
    // Without elevation the machine's keys do not open for writing: those problems are dropped.
    ProgramRun run(m, false);
    ASSERT_EQ(LoadProblemsFromDisk(run.controller, run.folder, nullptr).status,
              ResultsLoad::kLoaded);
    EXPECT_EQ(run.Kept(), Names{u"HKEY_CURRENT_USER\\Software\\Vendor\\Kept"});
  }
}

}  // namespace
}  // namespace bc::storage
