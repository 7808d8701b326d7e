// CCategory::CheckEmptyKey against small registries.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/category.h"
#include "engine/context.h"
#include "engine/stop_event.h"
#include "tests/engine/mem_files.h"
#include "tests/engine/mem_registry.h"

namespace bc::engine {
namespace {

using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using Names = std::vector<std::u16string>;

class EmptyKeyCategory : public CCategory {
 public:
  using CCategory::CCategory;
  int Scan() override { return 0; }
  int Prepare() override { return 1; }
  Names Keys() const {
    Names keys;
    for (const auto& p : Problems()) keys.push_back(p->Key);
    return keys;
  }
};

struct Machine {
  explicit Machine(bool wow64 = false)
      : reg(wow64), platform(reg, files), ctx(platform, Facts(wow64)) {
    ctx.hooks.skipEmptyKeys = [this] { return skip; };
    ctx.hooks.lookupText = [](std::u16string_view key) {
      return key == u"IDS_EMPTY_KEY" ? std::u16string(u"Empty key") : std::u16string();
    };
  }
  static SystemFacts Facts(bool wow64) {
    SystemFacts f;
    f.wow64 = wow64;
    return f;
  }
  test::MemRegistry reg;
  test::MemFiles files;
  test::MemPlatform platform;
  EngineContext ctx;
  bool skip = false;
};

TEST(EmptyKey, WhichKeysCountAsEmpty) {
  const std::u16string base = u"Software\\Vendor\\App";
  struct Case {
    const char* what;
    std::function<void(test::MemRegistry&, const std::u16string& key)> setUp;
    bool reported;
  } cases[] = {
      {"no values, no subkeys", [](auto&, auto&) {}, true},
      {"only an empty default value",
       [](auto& r, auto& k) { r.SetText(HKEY_CURRENT_USER, k, u"", u""); }, true},
      {"only a blank default value",
       [](auto& r, auto& k) { r.SetText(HKEY_CURRENT_USER, k, u"", u"   "); }, true},
      {"only a non-empty default value",
       [](auto& r, auto& k) { r.SetText(HKEY_CURRENT_USER, k, u"", u"data"); }, false},
      // Its default value reads empty, but the key holds data a repair would throw away.
      {"only a named value",
       [](auto& r, auto& k) { r.SetText(HKEY_CURRENT_USER, k, u"Installed", u"1"); }, false},
      {"two values",
       [](auto& r, auto& k) {
         r.SetText(HKEY_CURRENT_USER, k, u"", u"");
         r.SetText(HKEY_CURRENT_USER, k, u"b", u"");
       },
       false},
      {"a subkey", [](auto& r, auto& k) { r.AddKey(HKEY_CURRENT_USER, k + u"\\Child"); }, false},
  };
  for (const Case& c : cases) {
    Machine m;
    m.reg.AddKey(HKEY_CURRENT_USER, base);
    c.setUp(m.reg, base);
    EmptyKeyCategory category(m.ctx);
    EXPECT_EQ(category.CheckEmptyKey(HKEY_CURRENT_USER, base, true, {}, true), 0) << c.what;
    const bool parentReported = category.HasProblem(u"HKEY_CURRENT_USER\\" + base, /*entryType=*/1);
    EXPECT_EQ(parentReported, c.reported) << c.what;
  }
}

TEST(EmptyKey, ReportsTypeOneWithItsTexts) {
  Machine m(/*wow64=*/true);
  m.reg.SetText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Vendor\\Old", u"", u"");
  EmptyKeyCategory category(m.ctx);
  // The 32-bit view, asked for as use64BitView = false.
  EXPECT_EQ(category.CheckEmptyKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Old", false, {}, true),
            0);
  ASSERT_EQ(category.ProblemCount(), 1u);
  const CProblem& p = *category.ProblemAt(0);
  EXPECT_EQ(p.EntryType, 1);
  EXPECT_EQ(p.Key, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Old");  // as given, not upper-cased
  EXPECT_EQ(p.ValueName, u"");
  EXPECT_EQ(p.ValueData, u"");
  EXPECT_EQ(p.AlternateKey, u"");
  EXPECT_EQ(p.Is32BitEntry, 1);
  EXPECT_EQ(p.DisplayTexts, (Names{u"Empty key", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Old"}));
}

TEST(EmptyKey, KeysNeverReported) {
  struct Case {
    platform::HKEY root;
    std::u16string subKey;
    Names skip;
  } cases[] = {
      {HKEY_CURRENT_USER, u"Software\\Microsoft\\Whatever\\Empty", {}},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Anything", {}},
      {HKEY_LOCAL_MACHINE, u"software\\classes", {}},
      {HKEY_CURRENT_USER, u"Software\\Microsoft\\Visual Basic\\6.0\\x", {}},
      {HKEY_CURRENT_USER, u"Software\\Vendor\\OpenWithList", {}},
      {HKEY_CLASSES_ROOT, u"Foo\\ShellEx\\Handler", {}},
      {HKEY_CURRENT_USER, u"Software\\Vendor\\Skipped", {u"vendor\\skip"}},
  };
  for (const Case& c : cases) {
    Machine m;
    m.reg.AddKey(c.root, c.subKey);
    EmptyKeyCategory category(m.ctx);
    EXPECT_EQ(category.CheckEmptyKey(c.root, c.subKey, true, c.skip, true), 0);
    EXPECT_EQ(category.ProblemCount(), 0u) << Utf16ToUtf8(c.subKey);
  }
}

TEST(EmptyKey, ClassIdentifierKeysOnlyWhenTheClassIsFullyRegistered) {
  const std::u16string guid = u"{12345678-1234-1234-1234-123456789ABC}";
  const std::u16string key = u"Software\\Vendor\\Plugins\\" + guid;
  for (int registered = 0; registered <= 3; ++registered) {
    Machine m;
    m.reg.AddKey(HKEY_CURRENT_USER, key);
    const std::u16string parents[] = {u"CLSID\\", u"TypeLib\\", u"Interface\\"};
    for (int i = 0; i < registered; ++i) m.reg.AddKey(HKEY_CLASSES_ROOT, parents[i] + guid);
    EmptyKeyCategory category(m.ctx);
    category.CheckEmptyKey(HKEY_CURRENT_USER, key, true, {}, true);
    EXPECT_EQ(category.ProblemCount(), registered == 3 ? 1u : 0u) << registered;
  }
}

TEST(EmptyKey, WalksTheSubtreeInEnumerationOrder) {
  Machine m;
  m.reg.AddKey(HKEY_CURRENT_USER, u"Software\\Vendor\\B\\Leaf");
  m.reg.AddKey(HKEY_CURRENT_USER, u"Software\\Vendor\\A");
  m.reg.SetText(HKEY_CURRENT_USER, u"Software\\Vendor\\C", u"kept", u"1");
  EmptyKeyCategory category(m.ctx);
  EXPECT_EQ(category.CheckEmptyKey(HKEY_CURRENT_USER, u"Software\\Vendor", true, {}, true), 0);
  EXPECT_EQ(category.Keys(), (Names{u"HKEY_CURRENT_USER\\Software\\Vendor\\A",
                                    u"HKEY_CURRENT_USER\\Software\\Vendor\\B\\Leaf"}));

  // Without recursion only a key with nothing at all is reported.
  Machine flat;
  flat.reg.SetText(HKEY_CURRENT_USER, u"Software\\Vendor\\D", u"", u"");
  EmptyKeyCategory single(flat.ctx);
  single.CheckEmptyKey(HKEY_CURRENT_USER, u"Software\\Vendor\\D", true, {}, false);
  EXPECT_EQ(single.ProblemCount(), 0u);
  flat.reg.AddKey(HKEY_CURRENT_USER, u"Software\\Vendor\\E");
  single.CheckEmptyKey(HKEY_CURRENT_USER, u"Software\\Vendor\\E", true, {}, false);
  EXPECT_EQ(single.ProblemCount(), 1u);
}

TEST(EmptyKey, AnswersOneForStopAndUnopenableKeysAndNothingWhenSkipped) {
  Machine m;
  m.reg.AddKey(HKEY_CURRENT_USER, u"Software\\Vendor\\Empty");
  EmptyKeyCategory category(m.ctx);
  EXPECT_EQ(category.CheckEmptyKey(HKEY_CURRENT_USER, u"Software\\Absent", true, {}, true), 1);
  m.reg.SetReadOnly(HKEY_CURRENT_USER, u"Software\\Vendor\\Empty");  // examined with write access
  EXPECT_EQ(category.CheckEmptyKey(HKEY_CURRENT_USER, u"Software\\Vendor\\Empty", true, {}, true),
            1);
  EXPECT_EQ(category.ProblemCount(), 0u);

  Machine s;
  s.reg.AddKey(HKEY_CURRENT_USER, u"Software\\Vendor\\Empty");
  EmptyKeyCategory stopped(s.ctx);
  ManualResetEvent stop;
  stopped.AttachStopEvent(&stop);
  stop.Set();
  EXPECT_EQ(stopped.CheckEmptyKey(HKEY_CURRENT_USER, u"Software\\Vendor", true, {}, true), 1);
  EXPECT_EQ(stopped.ProblemCount(), 0u);

  // The setting's default is on: nothing is examined.
  s.ctx.hooks.skipEmptyKeys = nullptr;
  stop.Reset();
  EXPECT_EQ(stopped.CheckEmptyKey(HKEY_CURRENT_USER, u"Software\\Absent", true, {}, true), 0);
  EXPECT_EQ(stopped.CheckEmptyKey(HKEY_CURRENT_USER, u"Software\\Vendor", true, {}, true), 0);
  EXPECT_EQ(stopped.ProblemCount(), 0u);
}

}  // namespace
}  // namespace bc::engine
