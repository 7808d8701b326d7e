// Registry conformance cases written against IRegistry only; the simulated machine is one target.
// Where Windows' answer was not obvious the case says what it pins.
#include <gtest/gtest.h>

#include <map>

#include "base/text.h"
#include "tests/platform/fixtures.h"
#include "tests/platform/registry_conformance.h"

namespace bc::platform::testing {
namespace {

// ---- the simulated machine as a target ----

class SimTarget final : public RegistryTarget {
 public:
  explicit SimTarget(const TargetSpec& spec) : fixture_(Options(spec)) {}

  IRegistry& Registry(Token token, bool is64Bit) override {
    auto& slot = processes_[{token, is64Bit}];
    if (!slot) {
      slot = fixture_.Start({.elevated = token == Token::kElevatedAdmin,
                             .is64Bit = is64Bit,
                             .user = token == Token::kStandardUser ? u"Bob" : u""});
    }
    return slot->Registry();
  }

 private:
  static sim::testing::FixtureOptions Options(const TargetSpec& spec) {
    sim::testing::FixtureOptions o;
    o.windows = spec.windows;
    o.arch = spec.x64 ? sim::Arch::x64 : sim::Arch::x86;
    o.reg = spec.reg;
    o.adjust = [spec](sim::MachineDescriptor& d) {
      const bool xp = d.version.IsXp();
      d.users.push_back({u"Bob", u"S-1-5-21-1004336348-1177238915-682003330-1001", false,
                         xp ? u"C:\\Documents and Settings\\Bob" : u"C:\\Users\\Bob"});
      d.deniedKeys = spec.deniedKeys;
    };
    return o;
  }

  sim::testing::MachineFixture fixture_;
  std::map<std::pair<Token, bool>, std::unique_ptr<sim::SimProcess>> processes_;
};

TargetFactory SimFactory() {
  return [](const TargetSpec& spec) { return std::make_unique<SimTarget>(spec); };
}

class RegistryConformance : public ::testing::TestWithParam<TargetFactory> {
 protected:
  std::unique_ptr<RegistryTarget> Make(std::string reg = {}, std::string windows = "7",
                                       bool x64 = true, std::vector<std::u16string> denied = {}) {
    TargetSpec spec;
    spec.reg = std::move(reg);
    spec.windows = std::move(windows);
    spec.x64 = x64;
    spec.deniedKeys = std::move(denied);
    return GetParam()(spec);
  }
};

constexpr REGSAM kReadWrite = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;  // 0x2001F

const char* TokenName(Token t) {
  switch (t) {
    case Token::kStandardUser:
      return "standard user";
    case Token::kAdmin:
      return "administrator, not elevated";
    case Token::kElevatedAdmin:
      return "elevated administrator";
  }
  return "?";
}

// ---- rights ----

TEST_P(RegistryConformance, StatusCodesOfOpenCreateDeleteByToken) {
  auto t = Make(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Leaf]
[HKEY_LOCAL_MACHINE\SOFTWARE\Locked\Leaf]
[HKEY_USERS\.DEFAULT\Software\Vendor\Leaf]
[HKEY_CURRENT_USER\Software\Locked\Leaf]
)",
                "7", true,
                {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked", u"HKEY_CURRENT_USER\\Software\\Locked"});
  struct Place {
    const char* name;
    HKEY root;
    std::u16string_view path;
    bool machineWide;  // writable by elevated administrators only
    bool denied;
  };
  const Place places[] = {
      {"HKLM", HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", true, false},
      {"HKU\\.DEFAULT", HKEY_USERS, u".DEFAULT\\Software\\Vendor", true, false},
      {"HKCU", HKEY_CURRENT_USER, u"Software\\Vendor", false, false},
      {"denied HKLM", HKEY_LOCAL_MACHINE, u"SOFTWARE\\Locked", true, true},
      {"denied HKCU", HKEY_CURRENT_USER, u"Software\\Locked", false, true},
  };
  for (Token token : {Token::kStandardUser, Token::kAdmin, Token::kElevatedAdmin}) {
    IRegistry& r = t->Registry(token, true);
    // Each token's own HKCU key (the administrator's denied one comes with the machine).
    RegKey own;
    ASSERT_EQ(own.Create(r, HKEY_CURRENT_USER, u"Software\\Vendor\\Leaf", KEY_WRITE),
              ERROR_SUCCESS);
    for (const Place& p : places) {
      if (p.denied && !p.machineWide && token == Token::kStandardUser) continue;
      const bool mayWrite = !p.denied && (!p.machineWide || token == Token::kElevatedAdmin);
      const LSTATUS write = mayWrite ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
      SCOPED_TRACE(std::string(TokenName(token)) + " on " + p.name);
      EXPECT_EQ(OpenStatus(r, p.root, p.path, KEY_READ), ERROR_SUCCESS);
      EXPECT_EQ(OpenStatus(r, p.root, p.path, kReadWrite), write);
      // A handle remembers what it was granted: writing through a read handle answers 5.
      RegKey read;
      ASSERT_EQ(read.Open(r, p.root, p.path, KEY_READ), ERROR_SUCCESS);
      EXPECT_EQ(read.WriteDword(u"x", 1), ERROR_ACCESS_DENIED);
      HKEY created = kNullKey;
      EXPECT_EQ(r.RegCreateKeyExW(p.root, std::u16string(p.path) + u"\\New", 0, KEY_WRITE, &created,
                                  nullptr),
                write);
      if (created) r.RegCloseKey(created);
      EXPECT_EQ(r.RegDeleteKeyW(p.root, std::u16string(p.path) + u"\\Leaf"), write);
    }
  }
}

TEST_P(RegistryConformance, AdministratorsOfWindowsXpAlwaysWrite) {
  auto t = Make("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]", "xp", false);
  EXPECT_EQ(OpenStatus(t->Registry(Token::kAdmin, false), HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor",
                       kReadWrite),
            ERROR_SUCCESS);
  EXPECT_EQ(OpenStatus(t->Registry(Token::kStandardUser, false), HKEY_LOCAL_MACHINE,
                       u"SOFTWARE\\Vendor", kReadWrite),
            ERROR_ACCESS_DENIED);
}

// ---- status codes and buffer rules ----

TEST_P(RegistryConformance, StatusCodesAndBufferRules) {
  auto t = Make(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]
"Name"="twelve chars"
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Sub]
)");
  IRegistry& r = t->Registry(Token::kElevatedAdmin, true);
  HKEY k = kNullKey;
  EXPECT_EQ(r.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Missing", 0, KEY_READ, &k),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(k, kNullKey);
  EXPECT_EQ(r.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0,
                            KEY_READ | KEY_WOW64_32KEY | KEY_WOW64_64KEY, &k),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(r.RegOpenKeyExW(0x12345678u, u"x", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
  // A trailing separator is ignored; the names match ignoring case.
  EXPECT_EQ(OpenStatus(r, HKEY_LOCAL_MACHINE, u"software\\VENDOR\\", KEY_READ), ERROR_SUCCESS);

  ASSERT_EQ(r.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0, KEY_ALL_ACCESS, &k),
            ERROR_SUCCESS);
  // Size query, too small a buffer, then the data.
  DWORD type = 0, size = 0;
  EXPECT_EQ(r.RegQueryValueExW(k, u"name", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 26u);
  std::vector<std::uint8_t> buf(10);
  size = 10;
  EXPECT_EQ(r.RegQueryValueExW(k, u"Name", &type, buf.data(), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 26u);
  buf.resize(26);
  EXPECT_EQ(r.RegQueryValueExW(k, u"Name", &type, buf.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(buf[0], 't');
  EXPECT_EQ(r.RegQueryValueExW(k, u"Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  // An unset default value is missing too.
  EXPECT_EQ(r.RegQueryValueExW(k, u"", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(r.RegDeleteValueW(k, u"Missing"), ERROR_FILE_NOT_FOUND);

  // Enumeration: names need room for their NUL; past the end answers 259.
  char16_t name[8];
  DWORD cch = 4;
  EXPECT_EQ(r.RegEnumValueW(k, 0, name, &cch, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  cch = 5;
  EXPECT_EQ(r.RegEnumValueW(k, 0, name, &cch, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(cch, 4u);
  EXPECT_EQ(std::u16string(name), u"Name");
  DWORD cb = 4;
  std::uint8_t small[4];
  cch = 8;
  EXPECT_EQ(r.RegEnumValueW(k, 0, name, &cch, &type, small, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 26u);
  cch = 8;
  EXPECT_EQ(r.RegEnumValueW(k, 1, name, &cch, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  cch = 3;
  EXPECT_EQ(r.RegEnumKeyExW(k, 0, name, &cch), ERROR_MORE_DATA);
  cch = 4;
  EXPECT_EQ(r.RegEnumKeyExW(k, 0, name, &cch), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name, cch), u"Sub");
  cch = 8;
  EXPECT_EQ(r.RegEnumKeyExW(k, 1, name, &cch), ERROR_NO_MORE_ITEMS);

  RegKeyInfo info;
  ASSERT_EQ(r.RegQueryInfoKeyW(k, &info), ERROR_SUCCESS);
  EXPECT_EQ(info.subKeys, 1u);
  EXPECT_EQ(info.maxSubKeyLen, 3u);
  EXPECT_EQ(info.values, 1u);
  EXPECT_EQ(info.maxValueNameLen, 4u);
  EXPECT_EQ(info.maxValueLen, 26u);
  EXPECT_NE(info.lastWriteTime, 0u);

  EXPECT_EQ(r.RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(r.RegCloseKey(k), ERROR_INVALID_HANDLE);
  EXPECT_EQ(r.RegQueryInfoKeyW(k, &info), ERROR_INVALID_HANDLE);
  EXPECT_EQ(r.RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_P(RegistryConformance, DeleteRules) {
  auto t = Make(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\App\Sub\Deeper]
"v"="x"
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Other]
)");
  IRegistry& r = t->Registry(Token::kElevatedAdmin, true);
  // A key with sub-keys is not deleted (Windows answers 5, not 1020).
  EXPECT_EQ(r.RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(r.RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Missing"),
            ERROR_FILE_NOT_FOUND);
  // A hive's root is never deleted.
  EXPECT_EQ(r.RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE"), ERROR_ACCESS_DENIED);
  // An empty sub-key deletes the key the handle is open on; the handle then answers 1018.
  HKEY other = kNullKey;
  ASSERT_EQ(
      r.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Other", 0, KEY_ALL_ACCESS, &other),
      ERROR_SUCCESS);
  EXPECT_EQ(r.RegDeleteKeyW(other, u""), ERROR_SUCCESS);
  RegKeyInfo info;
  EXPECT_EQ(r.RegQueryInfoKeyW(other, &info), ERROR_KEY_DELETED);
  EXPECT_EQ(r.RegCloseKey(other), ERROR_SUCCESS);
  // SHDeleteKeyW takes the whole subtree.
  EXPECT_EQ(r.SHDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App"), ERROR_SUCCESS);
  EXPECT_EQ(OpenStatus(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App", KEY_READ),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(r.SHDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\App"), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(SubkeysOf(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor").empty());
}

// ---- views ----

TEST_P(RegistryConformance, ViewsOf64BitWindows) {
  auto t = Make(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]
"Bits"="64"
[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Vendor]
"Bits"="32"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts]
"Shared Sans"="shared.ttf"
[HKEY_CLASSES_ROOT\CLSID\{11111111-2222-3333-4444-555555555555}]
@="64"
[HKEY_CLASSES_ROOT\Wow6432Node\CLSID\{11111111-2222-3333-4444-555555555555}]
@="32"
[HKEY_CLASSES_ROOT\.shared]
@="both"
)");
  struct Row {
    bool process64;
    REGSAM view;
    HKEY root;
    std::u16string_view path;
    std::u16string_view value;
    std::u16string_view expected;  // empty: the key does not open
  };
  const std::u16string_view clsid = u"CLSID\\{11111111-2222-3333-4444-555555555555}";
  const Row rows[] = {
      {false, 0, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Bits", u"32"},
      {false, KEY_WOW64_64KEY, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Bits", u"64"},
      {true, 0, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Bits", u"64"},
      {true, KEY_WOW64_32KEY, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Bits", u"32"},
      // A path that names the 32-bit branch is not redirected a second time.
      {false, 0, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Vendor", u"Bits", u"32"},
      // Shared keys are one key in both views.
      {false, 0, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
       u"Shared Sans", u"shared.ttf"},
      {false, 0, HKEY_CLASSES_ROOT, clsid, u"", u"32"},
      {false, KEY_WOW64_64KEY, HKEY_CLASSES_ROOT, clsid, u"", u"64"},
      {true, 0, HKEY_CLASSES_ROOT, clsid, u"", u"64"},
      {false, 0, HKEY_CLASSES_ROOT, u".shared", u"", u"both"},
      {true, KEY_WOW64_32KEY, HKEY_CLASSES_ROOT, u".shared", u"", u"both"},
  };
  for (const Row& row : rows) {
    IRegistry& r = t->Registry(Token::kElevatedAdmin, row.process64);
    SCOPED_TRACE(Utf16ToUtf8(row.path) + (row.process64 ? " from 64-bit" : " from 32-bit") +
                 " view bits " + std::to_string(row.view));
    const auto got = ReadString(r, row.root, row.path, row.value, row.view);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, row.expected);
  }

  // A 32-bit program's new key lands in the 32-bit branch.
  IRegistry& r32 = t->Registry(Token::kElevatedAdmin, false);
  RegKey made;
  ASSERT_EQ(made.Create(r32, HKEY_LOCAL_MACHINE, u"SOFTWARE\\NewCo", KEY_WRITE), ERROR_SUCCESS);
  IRegistry& r64 = t->Registry(Token::kElevatedAdmin, true);
  EXPECT_EQ(OpenStatus(r64, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\NewCo", KEY_READ),
            ERROR_SUCCESS);
  EXPECT_EQ(OpenStatus(r64, HKEY_LOCAL_MACHINE, u"SOFTWARE\\NewCo", KEY_READ),
            ERROR_FILE_NOT_FOUND);

  // The native view lists Wow6432Node under SOFTWARE; the 32-bit view does not.
  auto has = [](const std::vector<std::u16string>& names, std::u16string_view n) {
    return std::find(names.begin(), names.end(), n) != names.end();
  };
  const auto native = SubkeysOf(r64, HKEY_LOCAL_MACHINE, u"SOFTWARE");
  EXPECT_TRUE(has(native, u"Wow6432Node"));
  EXPECT_FALSE(has(native, u"NewCo"));
  const auto wow = SubkeysOf(r32, HKEY_LOCAL_MACHINE, u"SOFTWARE");
  EXPECT_FALSE(has(wow, u"Wow6432Node"));
  EXPECT_TRUE(has(wow, u"NewCo"));

  // Deleting in the 32-bit view leaves the native key alone.
  EXPECT_EQ(r64.RegDeleteKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", KEY_WOW64_32KEY),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadString(r64, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Bits"), u"64");
  EXPECT_EQ(OpenStatus(r32, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", KEY_READ),
            ERROR_FILE_NOT_FOUND);
}

TEST_P(RegistryConformance, ViewBitsAreIgnoredOn32BitWindows) {
  auto t = Make(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]
"Bits"="only"
)",
                "7", false);
  IRegistry& r = t->Registry(Token::kElevatedAdmin, false);
  for (REGSAM view : {REGSAM{0}, KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    EXPECT_EQ(ReadString(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Bits", view), u"only");
  }
  EXPECT_EQ(OpenStatus(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node", KEY_READ),
            ERROR_FILE_NOT_FOUND);
}

// ---- HKEY_CLASSES_ROOT ----

TEST_P(RegistryConformance, ClassesRootMergesTheUsersClassesOverTheMachines) {
  auto t = Make(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.mix]
@="machine"
"MachineOnly"="m"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\MachineClass]
[HKEY_CURRENT_USER\Software\Classes\.mix]
@="user"
[HKEY_CURRENT_USER\Software\Classes\UserClass]
)");
  IRegistry& r = t->Registry(Token::kAdmin, true);
  // Reads prefer the user's key, values included: the machine key's values do not show through.
  EXPECT_EQ(ReadString(r, HKEY_CLASSES_ROOT, u".mix", u""), u"user");
  EXPECT_EQ(ReadString(r, HKEY_CLASSES_ROOT, u".mix", u"MachineOnly"), std::nullopt);
  const auto names = SubkeysOf(r, HKEY_CLASSES_ROOT, u"");
  EXPECT_EQ(std::count(names.begin(), names.end(), u".mix"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), u"MachineClass"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), u"UserClass"), 1);

  // A write to a key that exists for the user goes to the user's key.
  {
    RegKey k;
    ASSERT_EQ(k.Open(r, HKEY_CLASSES_ROOT, u".mix", kReadWrite), ERROR_SUCCESS);
    EXPECT_EQ(k.WriteString(u"Added", u"a"), ERROR_SUCCESS);
  }
  EXPECT_EQ(ReadString(r, HKEY_CURRENT_USER, u"Software\\Classes\\.mix", u"Added"), u"a");
  EXPECT_EQ(ReadString(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.mix", u"Added"), std::nullopt);
  // A key only the machine has is read-only for a process that is not elevated.
  EXPECT_EQ(OpenStatus(r, HKEY_CLASSES_ROOT, u"MachineClass", kReadWrite), ERROR_ACCESS_DENIED);
  // New keys go where their parent lives: below a user class to the user's hive ...
  RegKey sub;
  EXPECT_EQ(sub.Create(r, HKEY_CLASSES_ROOT, u"UserClass\\Sub", KEY_WRITE), ERROR_SUCCESS);
  EXPECT_EQ(OpenStatus(r, HKEY_CURRENT_USER, u"Software\\Classes\\UserClass\\Sub", KEY_READ),
            ERROR_SUCCESS);
  // ... and at the top to the machine's classes (for an elevated administrator).
  IRegistry& admin = t->Registry(Token::kElevatedAdmin, true);
  RegKey top;
  EXPECT_EQ(top.Create(admin, HKEY_CLASSES_ROOT, u".new", KEY_WRITE), ERROR_SUCCESS);
  EXPECT_EQ(OpenStatus(admin, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.new", KEY_READ),
            ERROR_SUCCESS);
  EXPECT_EQ(top.Create(r, HKEY_CLASSES_ROOT, u".refused", KEY_WRITE), ERROR_ACCESS_DENIED);
}

// ---- order and types ----

TEST_P(RegistryConformance, SubkeysEnumerateByUpperCasedNameThenVolatileOnes) {
  auto t = Make();
  IRegistry& r = t->Registry(Token::kAdmin, true);
  RegKey base;
  ASSERT_EQ(base.Create(r, HKEY_CURRENT_USER, u"Software\\Order", KEY_ALL_ACCESS), ERROR_SUCCESS);
  for (const char16_t* n : {u"b", u"a_b", u"\u00e4", u"AZB", u"Zeta", u"_x", u"aab"}) {
    RegKey k;
    ASSERT_EQ(k.Create(r, base.Get(), n, KEY_WRITE), ERROR_SUCCESS);
  }
  RegKey vol;
  ASSERT_EQ(vol.Create(r, base.Get(), u"0volatile", KEY_WRITE, REG_OPTION_VOLATILE), ERROR_SUCCESS);
  // '_' (0x5F) sorts after 'Z' once both sides are upper case; a volatile key comes last.
  const std::vector<std::u16string> expected = {u"aab",  u"AZB", u"a_b",    u"b",
                                                u"Zeta", u"_x",  u"\u00e4", u"0volatile"};
  EXPECT_EQ(base.SubkeyNames(), expected);
  // Every one is found by name in any letter case, stable and volatile alike.
  for (const auto& n : expected) {
    EXPECT_EQ(OpenStatus(r, base.Get(), ToUpper(n), KEY_READ), ERROR_SUCCESS) << Utf16ToUtf8(n);
  }
  EXPECT_EQ(OpenStatus(r, base.Get(), u"a_", KEY_READ), ERROR_FILE_NOT_FOUND);
  // A non-volatile key cannot live below a volatile one.
  RegKey child;
  EXPECT_EQ(child.Create(r, vol.Get(), u"Stable", KEY_WRITE), ERROR_CHILD_MUST_BE_VOLATILE);
}

TEST_P(RegistryConformance, ValuesKeepTheirOrderAndEveryTypeRoundTrips) {
  auto t = Make();
  IRegistry& r = t->Registry(Token::kElevatedAdmin, true);
  RegKey k;
  ASSERT_EQ(k.Create(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Types", KEY_ALL_ACCESS), ERROR_SUCCESS);
  std::vector<std::uint8_t> big(40000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31);
  struct Case {
    std::u16string name;
    DWORD type;
    std::vector<std::uint8_t> data;
  };
  const std::vector<Case> cases = {
      {u"z-string", REG_SZ, {'h', 0, 'i', 0, 0, 0}},
      {u"a-expand", REG_EXPAND_SZ, {'%', 0, 'X', 0, '%', 0, 0, 0}},
      {u"m-binary", REG_BINARY, {1, 2, 0xff}},
      {u"", REG_SZ, {'d', 0, 0, 0}},
      {u"empty", REG_BINARY, {}},
      {u"dword", REG_DWORD, {0xe8, 3, 0, 0}},
      {u"big-endian", REG_DWORD_BIG_ENDIAN, {0, 0, 3, 0xe8}},
      {u"multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {u"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
      {u"none", REG_NONE, {9}},
      {u"odd type", 0x12345, {1, 2, 3, 4, 5}},
      {u"big", REG_BINARY, big},
  };
  for (const Case& c : cases) ASSERT_EQ(k.WriteBinary(c.name, c.data, c.type), ERROR_SUCCESS);
  ASSERT_EQ(r.RegFlushKey(k.Get()), ERROR_SUCCESS);
  std::vector<std::u16string> order;
  for (const Case& c : cases) order.push_back(c.name);
  EXPECT_EQ(k.ValueNames(), order);
  for (const Case& c : cases) {
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(k.ReadValue(c.name, &type, &data), ERROR_SUCCESS) << Utf16ToUtf8(c.name);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(data, c.data) << Utf16ToUtf8(c.name);
  }
  RegKeyInfo info;
  ASSERT_EQ(r.RegQueryInfoKeyW(k.Get(), &info), ERROR_SUCCESS);
  EXPECT_EQ(info.values, cases.size());
  EXPECT_EQ(info.maxValueLen, big.size());
  EXPECT_EQ(info.maxValueNameLen, 10u);
  // Deleting keeps the order of the others; a value set again goes to the end.
  ASSERT_EQ(k.DeleteValue(u"a-expand"), ERROR_SUCCESS);
  ASSERT_EQ(k.WriteDword(u"z-string", 7), ERROR_SUCCESS);  // replaced in place, type changed
  ASSERT_EQ(k.WriteDword(u"A-EXPAND", 1), ERROR_SUCCESS);
  const auto names = k.ValueNames();
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names[0], u"z-string");
  EXPECT_EQ(names[1], u"m-binary");
  EXPECT_EQ(names.back(), u"A-EXPAND");
  DWORD v = 0;
  EXPECT_EQ(k.ReadDword(u"Z-STRING", &v), ERROR_SUCCESS);
  EXPECT_EQ(v, 7u);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(SimulatedMachine, RegistryConformance, ::testing::Values(SimFactory()));

}  // namespace bc::platform::testing
