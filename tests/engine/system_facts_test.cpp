// What the engine reads from a simulated machine's process: WOW64, the administrator token, the
// Windows version and the system folders; and the scan thread's view of System32.
#include <gtest/gtest.h>

#include "../platform/files_machine.h"
#include "engine/scan_controller.h"
#include "engine_test_support.h"
#include "platform/files.h"

namespace bc::engine::test {
namespace {

using platform::sim::Arch;
using platform::sim::testing::TestMachine;

TEST(SystemFacts, ReadFromTheProcess) {
  const struct {
    const char* name;
    std::string windows;
    Arch arch;
    bool elevated;
    bool is64Bit;
    SystemFacts expected;
  } cases[] = {
      {"7 x64, 32-bit program",
       "7",
       Arch::x64,
       false,
       false,
       {true, false, 6, u"C:\\Windows\\system32", u"C:\\Windows\\SysWOW64"}},
      {"7 x64, elevated",
       "7",
       Arch::x64,
       true,
       false,
       {true, true, 6, u"C:\\Windows\\system32", u"C:\\Windows\\SysWOW64"}},
      {"7 x64, 64-bit program",
       "7",
       Arch::x64,
       false,
       true,
       {false, false, 6, u"C:\\Windows\\system32", u"C:\\Windows\\SysWOW64"}},
      {"xp x86, administrator",
       "xp",
       Arch::x86,
       false,
       false,
       {false, true, 5, u"C:\\WINDOWS\\system32", u""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestMachine machine(c.windows, c.arch);
    auto process = machine.Start(c.elevated, c.is64Bit);
    ASSERT_TRUE(process);
    const SystemFacts facts = ReadSystemFacts(*process);
    EXPECT_EQ(facts.wow64, c.expected.wow64);
    EXPECT_EQ(facts.userIsAdmin, c.expected.userIsAdmin);
    EXPECT_EQ(facts.windowsMajorVersion, c.expected.windowsMajorVersion);
    EXPECT_TRUE(EqualsNoCase(facts.systemDirectory, c.expected.systemDirectory))
        << Utf16ToUtf8(facts.systemDirectory);
    EXPECT_TRUE(EqualsNoCase(facts.systemWow64Directory, c.expected.systemWow64Directory))
        << Utf16ToUtf8(facts.systemWow64Directory);

    EngineContext ctx(*process, facts);
    TestCategory category(ctx, 0x0001, nullptr);
    EXPECT_TRUE(EqualsNoCase(category.SystemDirectory(), c.expected.systemDirectory + u"\\"));
  }
}

// The kernel lives only in the native System32; a 32-bit program sees it only with file-system
// redirection turned off.
TEST(SystemFacts, ScanSeesTheNativeSystemFolder) {
  TestMachine machine("7", Arch::x64);
  auto process = machine.Start();
  ASSERT_TRUE(process);
  EngineContext ctx(*process, ReadSystemFacts(*process));
  platform::IFileSystem& files = process->Files();
  const std::u16string kernel = u"C:\\Windows\\System32\\ntoskrnl.exe";

  std::vector<bool> seenInScan;
  ctx.hooks.createCategory = [&](std::uint32_t bit, EngineContext& c) {
    return std::make_unique<TestCategory>(c, bit, [&](TestCategory&) {
      seenInScan.push_back(files.PathFileExistsW(kernel) != 0);
      return 0;
    });
  };
  CScanController controller(ctx);
  ASSERT_TRUE(controller.CreateCategories(0x0001, 1));

  ASSERT_TRUE(controller.StartScan());
  controller.WaitForScanThread();
  // Run on this thread too: redirection is off during the scan and back afterwards.
  EXPECT_FALSE(files.PathFileExistsW(kernel));
  controller.RunScan();
  EXPECT_FALSE(files.PathFileExistsW(kernel));
  EXPECT_EQ(seenInScan, (std::vector<bool>{true, true}));
}

}  // namespace
}  // namespace bc::engine::test
