#include "engine/reg_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "engine/context.h"
#include "tests/engine/mem_files.h"
#include "tests/engine/mem_registry.h"

namespace bc::engine {
namespace {

using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using Names = std::vector<std::u16string>;

struct Machine {
  explicit Machine(bool wow64, platform::DWORD major = 6)
      : reg(wow64), platform(reg, files), ctx(platform, Facts(wow64, major)) {}
  static SystemFacts Facts(bool wow64, platform::DWORD major) {
    SystemFacts f;
    f.wow64 = wow64;
    f.windowsMajorVersion = major;
    return f;
  }
  test::MemRegistry reg;
  test::MemFiles files;
  test::MemPlatform platform;
  EngineContext ctx;
};

Names Subkeys(Machine& m, platform::HKEY root, std::u16string_view path, platform::REGSAM sam) {
  OpenedKey key(m.ctx.Registry());
  EXPECT_EQ(OpenKey(sam, path, root, key), platform::ERROR_SUCCESS);
  Names names;
  EnumSubkeys(m.ctx, key.get(), names);
  return names;
}

TEST(RegKeys, EnumSubkeysLeavesOutWow6432NodeOnlyUnderWow64) {
  for (bool wow64 : {false, true}) {
    Machine m(wow64);
    for (auto name : {u"Vendor", u"Wow6432Node", u"WOW6432NODEx", u"Classes"}) {
      m.reg.AddKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\" + std::u16string(name));
    }
    // A name as long as the registry allows does not fit the 255-character buffer with its NUL.
    m.reg.AddKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\" + std::u16string(255, u'z'));
    const Names names =
        Subkeys(m, HKEY_LOCAL_MACHINE, u"SOFTWARE", OpenMaskForView(wow64, /*use64BitView=*/true));
    const Names expected = wow64 ? Names{u"Classes", u"Vendor"}
                                 : Names{u"Classes", u"Vendor", u"Wow6432Node", u"WOW6432NODEx"};
    EXPECT_EQ(names, expected) << "wow64 " << wow64;
  }
}

TEST(RegKeys, MasksNameTheViewOnlyUnderWow64) {
  EXPECT_EQ(ReadMaskForView(true, true), 0x20119u);
  EXPECT_EQ(OpenMaskForView(true, true), 0x2011Fu);
  EXPECT_EQ(ReadMaskForView(true, false), 0x20219u);
  EXPECT_EQ(OpenMaskForView(true, false), 0x2021Fu);
  EXPECT_EQ(ReadMaskForView(false, false), 0x20019u);
  EXPECT_EQ(OpenMaskForView(false, true), 0x2001Fu);
}

TEST(RegKeys, ValueNameListsTreatTheFirstUnnamedValueDifferently) {
  Machine m(false);
  const std::u16string path = u"Software\\MRU";
  m.reg.SetText(HKEY_CURRENT_USER, path, u"", u"default");  // index 0, unnamed
  m.reg.SetText(HKEY_CURRENT_USER, path, u"a", u"x");
  m.reg.SetText(HKEY_CURRENT_USER, path, u"  ", u"blank name");
  m.reg.SetText(HKEY_CURRENT_USER, path, std::u16string(300, u'n'), u"long name");
  OpenedKey key(m.ctx.Registry());
  ASSERT_EQ(OpenKey(kReadAccess, path, HKEY_CURRENT_USER, key), platform::ERROR_SUCCESS);

  Names all;
  EXPECT_EQ(EnumValueNames(m.ctx, key.get(), all), 4u);
  EXPECT_EQ(all, (Names{u"", u"a", u"  ", std::u16string(300, u'n')}));

  // 255-character buffer: the long name is skipped; only index 0 is tested for a blank name.
  Names named;
  EXPECT_EQ(EnumNamedValues(m.ctx, key.get(), named), 2u);
  EXPECT_EQ(named, (Names{u"a", u"  "}));
}

TEST(RegKeys, ReadStringValue) {
  Machine m(false);
  const std::u16string path = u"Software\\Vendor";
  m.reg.SetText(HKEY_CURRENT_USER, path, u"padded", u"  C:\\app.exe \t");
  m.reg.SetText(HKEY_CURRENT_USER, path, u"expand", u"%SystemRoot%\\x.dll",
                platform::REG_EXPAND_SZ);
  m.reg.SetText(HKEY_CURRENT_USER, path, u"nul", std::u16string(u"first\0second", 12));
  m.reg.SetText(HKEY_CURRENT_USER, path, u"long", std::u16string(1000, u'q'));
  m.reg.SetDword(HKEY_CURRENT_USER, path, u"number", 7);
  m.reg.SetText(HKEY_CURRENT_USER, u"Software\\Locked", u"v", u"read anyway");
  m.reg.SetReadOnly(HKEY_CURRENT_USER, u"Software\\Locked");

  struct Case {
    std::u16string subKey, value;
    bool opens;
    std::u16string text;
  } cases[] = {
      {path, u"padded", true, u"C:\\app.exe"},
      {path, u"expand", true, u"%SystemRoot%\\x.dll"},
      {path, u"nul", true, u"first"},
      {path, u"long", true, std::u16string(1000, u'q')},
      {path, u"number", true, u""},
      {path, u"missing", true, u""},
      {u"Software\\Locked", u"v", true, u"read anyway"},  // write access denied: read access
      {u"Software\\Absent", u"v", false, u""},
  };
  for (const Case& c : cases) {
    std::u16string text = u"stale";
    EXPECT_EQ(ReadStringValue(m.ctx, HKEY_CURRENT_USER, c.subKey, c.value, RegView::kNone, &text),
              c.opens)
        << Utf16ToUtf8(c.value);
    EXPECT_EQ(text, c.text) << Utf16ToUtf8(c.value);
  }
  EXPECT_EQ(m.reg.OpenHandles(), 0);
}

TEST(RegKeys, ReadStringValueViewsUnderWow64) {
  Machine m(true);
  m.reg.SetText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Path", u"native");
  m.reg.SetText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Vendor", u"Path", u"32-bit");
  std::u16string text;
  EXPECT_TRUE(ReadStringValue(m.ctx, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Path",
                              RegView::kNative, &text));
  EXPECT_EQ(text, u"native");
  EXPECT_TRUE(ReadStringValue(m.ctx, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Path",
                              RegView::kWow6432, &text));
  EXPECT_EQ(text, u"32-bit");
  // The view-less variant is for 32-bit Windows: under WOW64 it answers at once, even for a key
  // that does not exist, and reads nothing.
  text = u"stale";
  EXPECT_TRUE(ReadStringValue(m.ctx, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Absent", u"Path",
                              RegView::kNone, &text));
  EXPECT_EQ(text, u"");
}

TEST(RegKeys, OpenedKeyKeepsItsViewAndDeletesInIt) {
  Machine m(true);
  m.reg.AddKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Vendor\\Gone");
  m.reg.AddKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Gone");
  {
    OpenedKey key(m.ctx.Registry());
    ASSERT_EQ(
        OpenKey(OpenMaskForView(true, false), u"SOFTWARE\\Vendor\\Gone", HKEY_LOCAL_MACHINE, key),
        platform::ERROR_SUCCESS);
    EXPECT_EQ(key.ViewBits(), platform::KEY_WOW64_32KEY);
    // A failed open leaves the held key alone.
    EXPECT_EQ(OpenKey(kReadAccess, u"SOFTWARE\\Nothing", HKEY_LOCAL_MACHINE, key),
              platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.ViewBits(), platform::KEY_WOW64_32KEY);
    EXPECT_EQ(DeleteOpenedKey(m.ctx, key), platform::ERROR_SUCCESS);
  }
  EXPECT_EQ(m.reg.lastDeleteSam, platform::KEY_WOW64_32KEY);
  EXPECT_FALSE(m.reg.HasKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Vendor\\Gone"));
  EXPECT_TRUE(m.reg.HasKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Gone"));

  // A key with subkeys stays.
  OpenedKey parent(m.ctx.Registry());
  ASSERT_EQ(OpenKey(OpenMaskForView(true, true), u"SOFTWARE\\Vendor", HKEY_LOCAL_MACHINE, parent),
            platform::ERROR_SUCCESS);
  EXPECT_NE(DeleteOpenedKey(m.ctx, parent), platform::ERROR_SUCCESS);
  EXPECT_TRUE(m.reg.HasKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor"));
}

TEST(RegKeys, WindowsXp32BitDeletesWithoutTheExtendedCall) {
  Machine m(false, 5);
  m.reg.AddKey(HKEY_CURRENT_USER, u"Software\\Gone");
  OpenedKey key(m.ctx.Registry());
  ASSERT_EQ(OpenKey(kWriteAccess, u"Software\\Gone", HKEY_CURRENT_USER, key),
            platform::ERROR_SUCCESS);
  EXPECT_EQ(DeleteOpenedKey(m.ctx, key), platform::ERROR_SUCCESS);
  EXPECT_EQ(m.reg.deleteKeyWCalls, 1);
  EXPECT_EQ(m.reg.deleteKeyExCalls, 0);
  EXPECT_FALSE(m.reg.HasKey(HKEY_CURRENT_USER, u"Software\\Gone"));
}

TEST(RegKeys, OpenOrCreateKeyCreatesOnlyForWriting) {
  Machine m(false);
  EXPECT_FALSE(OpenOrCreateKey(m.ctx, u"Software\\New", HKEY_CURRENT_USER, kReadAccess));
  EXPECT_FALSE(m.reg.HasKey(HKEY_CURRENT_USER, u"Software\\New"));
  EXPECT_TRUE(OpenOrCreateKey(m.ctx, u"Software\\New", HKEY_CURRENT_USER, kWriteAccess));
  EXPECT_TRUE(m.reg.HasKey(HKEY_CURRENT_USER, u"Software\\New"));
  m.reg.SetReadOnly(HKEY_LOCAL_MACHINE, u"SOFTWARE");
  EXPECT_FALSE(OpenOrCreateKey(m.ctx, u"SOFTWARE\\New", HKEY_LOCAL_MACHINE, kWriteAccess));
  EXPECT_EQ(m.reg.OpenHandles(), 0);
}

TEST(RegKeys, ParentPathAndLeafName) {
  struct Case {
    std::u16string path, parent, leaf;
  } cases[] = {
      {u"HKEY_CURRENT_USER\\Software\\Vendor", u"HKEY_CURRENT_USER\\Software", u"Vendor"},
      {u"Software", u"", u"Software"},
      {u"", u"", u""},
      {u"Software\\", u"Software", u""},
      {u"\\Lead", u"", u"Lead"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParentPath(c.path), c.parent) << Utf16ToUtf8(c.path);
    EXPECT_EQ(LeafName(c.path), c.leaf) << Utf16ToUtf8(c.path);
  }
}

TEST(RegKeys, ShowInRegistryEditorHandsTheRequestToTheViewer) {
  Machine m(false);
  EXPECT_FALSE(ShowInRegistryEditor(m.ctx, u"HKEY_CURRENT_USER\\Software", u"v"));
  std::vector<std::u16string> shown;
  m.ctx.hooks.showInRegistryEditor = [&](std::u16string_view path, std::u16string_view value) {
    shown.push_back(std::u16string(path) + u"|" + std::u16string(value));
    return true;
  };
  EXPECT_TRUE(ShowInRegistryEditor(m.ctx, u"HKEY_CURRENT_USER\\Software", u"v"));
  EXPECT_EQ(shown, (Names{u"HKEY_CURRENT_USER\\Software|v"}));
}

}  // namespace
}  // namespace bc::engine
