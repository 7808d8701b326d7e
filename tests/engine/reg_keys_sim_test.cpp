// The registry-view helpers on a simulated 64-bit Windows 7 machine, as a 32-bit process.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/context.h"
#include "engine/reg_keys.h"
#include "platform/registry.h"
#include "tests/platform/fixtures.h"

namespace bc::engine {
namespace {

using platform::HKEY_LOCAL_MACHINE;
using platform::sim::testing::FixtureOptions;
using platform::sim::testing::MachineFixture;
using platform::sim::testing::ProcessOptions;

TEST(RegKeysOnMachine, ViewsOfA32BitProcessOn64BitWindows) {
  FixtureOptions options;
  options.reg = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Gone]
@="native"
[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Vendor\Gone]
@="32-bit"
)";
  MachineFixture m(options);
  ProcessOptions elevated;
  elevated.elevated = true;
  auto process = m.Start(elevated);
  EngineContext ctx(*process, ReadSystemFacts(*process));
  ASSERT_TRUE(ctx.Facts().wow64);

  // The native view of SOFTWARE is walked without its Wow6432Node.
  {
    OpenedKey key(ctx.Registry());
    ASSERT_EQ(OpenKey(ReadMaskForView(true, true), u"SOFTWARE", HKEY_LOCAL_MACHINE, key),
              platform::ERROR_SUCCESS);
    std::vector<std::u16string> names;
    ASSERT_TRUE(EnumSubkeys(ctx, key.get(), names));
    EXPECT_NE(std::find(names.begin(), names.end(), u"Vendor"), names.end());
    for (const auto& name : names) EXPECT_FALSE(StartsWithNoCase(name, u"wow6432node"));
  }

  std::u16string text;
  EXPECT_TRUE(ReadStringValue(ctx, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Gone", u"",
                              RegView::kWow6432, &text));
  EXPECT_EQ(text, u"32-bit");

  // A key opened in the 32-bit view is deleted there; the native one stays.
  {
    OpenedKey key(ctx.Registry());
    ASSERT_EQ(
        OpenKey(OpenMaskForView(true, false), u"SOFTWARE\\Vendor\\Gone", HKEY_LOCAL_MACHINE, key),
        platform::ERROR_SUCCESS);
    EXPECT_EQ(DeleteOpenedKey(ctx, key), platform::ERROR_SUCCESS);
  }
  EXPECT_TRUE(ReadStringValue(ctx, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Gone", u"",
                              RegView::kNative, &text));
  EXPECT_EQ(text, u"native");
  EXPECT_FALSE(ReadStringValue(ctx, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Gone", u"",
                               RegView::kWow6432, &text));
}

}  // namespace
}  // namespace bc::engine
