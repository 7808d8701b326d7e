// The gate's protection and administrator tests against a simulated machine.
#include <gtest/gtest.h>

#include "../platform/fixtures.h"
#include "engine/reg_paths.h"
#include "engine/scan_controller.h"
#include "engine_test_support.h"

namespace bc::engine::test {
namespace {

using platform::sim::Arch;
using platform::sim::MachineDescriptor;
using platform::sim::testing::FixtureOptions;
using platform::sim::testing::MachineFixture;

constexpr const char* kMachineReg = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]
"Path"="C:\\Program Files\\Vendor\\gone.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Locked]
"Path"="C:\\gone.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Shielded]
"Path"="C:\\gone.exe"
)";

FixtureOptions Options(const std::string& windows, Arch arch) {
  FixtureOptions o;
  o.windows = windows;
  o.arch = arch;
  o.reg = kMachineReg;
  o.adjust = [](MachineDescriptor& d) {
    d.deniedKeys = {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked"};
    d.protectedKeys = std::vector<std::u16string>{u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Shielded"};
  };
  return o;
}

// In the native view, where the findings of these tests lie.
bool KeyExists(EngineContext& ctx, std::u16string_view subKey) {
  platform::IRegistry& reg = ctx.Registry();
  platform::HKEY key = platform::kNullKey;
  if (reg.RegOpenKeyExW(platform::HKEY_LOCAL_MACHINE, subKey, 0,
                        WithView(kReadAccess, IsWow64(ctx), 0), &key) != 0) {
    return false;
  }
  reg.RegCloseKey(key);
  return true;
}

TEST(GateOnMachine, ProtectionAndAdministratorOpenOrCreate) {
  const struct {
    const char* name;
    std::string windows;
    Arch arch;
    bool elevated;
    bool lockedKept;    // a key no one may open for writing
    bool missingKept;   // a key that does not exist
    bool shieldedKept;  // a key Windows Resource Protection guards
  } cases[] = {
      // Not elevated under UAC: no administrator token, so nothing is opened.
      {"7 x64, not elevated", "7", Arch::x64, false, true, true, false},
      {"7 x64, elevated", "7", Arch::x64, true, false, true, false},
      {"vista x86, elevated", "vista", Arch::x86, true, false, true, false},
      // An administrator on XP has the token without elevation; XP protects no keys.
      {"xp x86, administrator", "xp", Arch::x86, false, false, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MachineFixture machine(Options(c.windows, c.arch));
    platform::sim::testing::ProcessOptions run;
    run.elevated = c.elevated;
    auto process = machine.Start(run);
    EngineContext ctx(*process, ReadSystemFacts(*process));
    ctx.hooks.createCategory = [](std::uint32_t bit, EngineContext& cx) {
      return std::make_unique<TestCategory>(cx, bit, nullptr);
    };
    CScanController controller(ctx);
    ASSERT_TRUE(controller.CreateCategories(0x1000, 1));
    CCategory& deepScan = *controller.GetCategory(0x1000);
    const auto add = [&](std::u16string key) {
      return deepScan.AddProblem(42, std::move(key), u"Path", u"C:\\gone.exe", u"", 0) >= 0;
    };

    EXPECT_TRUE(add(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor"));
    EXPECT_EQ(add(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked"), c.lockedKept);
    EXPECT_EQ(add(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Shielded"), c.shieldedKept);
    EXPECT_FALSE(KeyExists(ctx, u"SOFTWARE\\Gone"));
    EXPECT_EQ(add(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone"), c.missingKept);
    // The administrator's test creates the key it could not open.
    EXPECT_EQ(KeyExists(ctx, u"SOFTWARE\\Gone"), IsUserAnAdmin(ctx));
  }
}

}  // namespace
}  // namespace bc::engine::test
