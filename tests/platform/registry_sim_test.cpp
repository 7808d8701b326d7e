// What the simulated machine adds around the registry interface: hive files and their flush
// points, two processes writing one machine, compact saved copies, damaged files, the volatile
// keys Windows builds at start, replacements at the next boot, and registration files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "base/text.h"
#include "platform/sim/hive_file.h"
#include "platform/sim/registry_paths.h"
#include "platform/sim/registry_regfile.h"
#include "platform/sim/registry_replace.h"
#include "tests/platform/fixtures.h"
#include "tests/platform/registry_conformance.h"

namespace bc::platform::sim {
namespace {

using platform::testing::OpenStatus;
using platform::testing::ReadString;
using platform::testing::SubkeysOf;
using testing::FixtureOptions;
using testing::MachineFixture;

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::filesystem::path Host(MachineFixture& m, std::u16string_view windowsPath) {
  std::filesystem::path p;
  EXPECT_EQ(HostPathOf(m.Folder(), m.Machine().Descriptor(), windowsPath, &p), ERROR_SUCCESS);
  return p;
}

FixtureOptions Options(std::string reg = {}, std::string windows = "7", Arch arch = Arch::x64) {
  FixtureOptions o;
  o.reg = std::move(reg);
  o.windows = std::move(windows);
  o.arch = arch;
  return o;
}

testing::ProcessOptions Elevated64() {
  testing::ProcessOptions o;
  o.elevated = true;
  o.is64Bit = true;
  return o;
}

TEST(SimRegistryFiles, ChangesReachTheFileAtFlushPointsOnly) {
  MachineFixture m;
  m.Machine().Registry().SetLazyFlushDelay(std::chrono::hours(1));
  auto p = m.Start(Elevated64());
  RegKey k;
  ASSERT_EQ(k.Create(p->Registry(), HKEY_LOCAL_MACHINE, u"SOFTWARE\\Flushed", KEY_ALL_ACCESS),
            ERROR_SUCCESS);
  ASSERT_EQ(k.WriteString(u"v", u"1"), ERROR_SUCCESS);
  {
    // Another process of the machine (a second machine object) does not see unflushed changes.
    auto other = m.OpenAnother();
    auto q = other->StartProcess({u"", false, true, u"", u""});
    EXPECT_EQ(OpenStatus(q->Registry(), HKEY_LOCAL_MACHINE, u"SOFTWARE\\Flushed", KEY_READ),
              ERROR_FILE_NOT_FOUND);
  }
  ASSERT_EQ(p->Registry().RegFlushKey(k.Get()), ERROR_SUCCESS);
  {
    auto other = m.OpenAnother();
    auto q = other->StartProcess({u"", false, true, u"", u""});
    EXPECT_EQ(ReadString(q->Registry(), HKEY_LOCAL_MACHINE, u"SOFTWARE\\Flushed", u"v"), u"1");
  }
  // Process exit is a flush point too.
  ASSERT_EQ(k.WriteString(u"v", u"2"), ERROR_SUCCESS);
  k.Close();
  p.reset();
  auto other = m.OpenAnother();
  auto q = other->StartProcess({u"", false, true, u"", u""});
  EXPECT_EQ(ReadString(q->Registry(), HKEY_LOCAL_MACHINE, u"SOFTWARE\\Flushed", u"v"), u"2");
}

TEST(SimRegistryFiles, ChangesReachTheFileAShortWhileAfterTheLastOne) {
  MachineFixture m;
  m.Machine().Registry().SetLazyFlushDelay(std::chrono::milliseconds(50));
  auto p = m.Start(Elevated64());
  RegKey k;
  ASSERT_EQ(k.Create(p->Registry(), HKEY_CURRENT_USER, u"Software\\Later", KEY_ALL_ACCESS),
            ERROR_SUCCESS);
  const auto before = StampOf(Host(m, u"C:\\Users\\Alice\\NTUSER.DAT"));
  bool written = false;
  for (int i = 0; i < 200 && !written; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    written = !(StampOf(Host(m, u"C:\\Users\\Alice\\NTUSER.DAT")) == before);
  }
  EXPECT_TRUE(written);
}

// Two processes of one machine write the same hive; each flushes; neither loses the other's keys.
TEST(SimRegistryFiles, AConcurrentWriterInAnotherProcessIsMergedNotOverwritten) {
  MachineFixture m(Options(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Shared\Doomed]
[HKEY_LOCAL_MACHINE\SOFTWARE\Shared]
"Keep"="k"
)"));
  m.Machine().Registry().SetLazyFlushDelay(std::chrono::hours(1));
  auto p = m.Start(Elevated64());
  IRegistry& r = p->Registry();
  RegKey mine;
  ASSERT_EQ(mine.Create(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared\\FromParent", KEY_ALL_ACCESS),
            ERROR_SUCCESS);
  ASSERT_EQ(mine.WriteString(u"who", u"parent"), ERROR_SUCCESS);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int code = 1;
    {
      std::string error;
      auto other = SimMachine::Open(m.Folder(), &error);
      if (other) {
        auto q = other->StartProcess({u"", true, true, u"", u""});
        RegKey k;
        const bool ok = k.Create(q->Registry(), HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared\\FromChild",
                                 KEY_ALL_ACCESS) == ERROR_SUCCESS &&
                        k.WriteString(u"who", u"child") == ERROR_SUCCESS &&
                        q->Registry().RegDeleteKeyW(HKEY_LOCAL_MACHINE,
                                                    u"SOFTWARE\\Shared\\Doomed") == ERROR_SUCCESS &&
                        q->Registry().RegFlushKey(k.Get()) == ERROR_SUCCESS;
        code = ok ? 0 : 2;
      }
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);

  // The parent flushes after the child: the child's key and deletion stay, the parent's key joins.
  ASSERT_EQ(r.RegFlushKey(mine.Get()), ERROR_SUCCESS);
  auto check = [](IRegistry& reg) {
    EXPECT_EQ(ReadString(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared\\FromParent", u"who"),
              u"parent");
    EXPECT_EQ(ReadString(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared\\FromChild", u"who"),
              u"child");
    EXPECT_EQ(ReadString(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared", u"Keep"), u"k");
    EXPECT_EQ(OpenStatus(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared\\Doomed", KEY_READ),
              ERROR_FILE_NOT_FOUND);
  };
  check(r);  // this process sees the merged hive at once
  auto fresh = m.OpenAnother();
  auto q = fresh->StartProcess({u"", false, true, u"", u""});
  check(q->Registry());
  // The handle opened before the merge still works.
  EXPECT_EQ(mine.WriteString(u"after", u"merge"), ERROR_SUCCESS);
}

TEST(SimRegistryFiles, SavedKeyIsACompactCopyOfAFragmentedHive) {
  MachineFixture m;
  auto p = m.Start(Elevated64());
  IRegistry& r = p->Registry();
  // Fill a branch key by key, then delete most of it: the live file keeps the freed space.
  {
    RegKey base;
    ASSERT_EQ(base.Create(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Bulk", KEY_ALL_ACCESS), ERROR_SUCCESS);
    for (int i = 0; i < 300; ++i) {
      RegKey k;
      ASSERT_EQ(k.Create(r, base.Get(), u"Key" + Ascii(std::to_string(i)), KEY_ALL_ACCESS),
                ERROR_SUCCESS);
      ASSERT_EQ(k.WriteString(u"data", std::u16string(100, u'x')), ERROR_SUCCESS);
    }
    for (int i = 0; i < 290; ++i) {
      ASSERT_EQ(r.RegDeleteKeyW(base.Get(), u"Key" + Ascii(std::to_string(i))), ERROR_SUCCESS);
    }
    ASSERT_EQ(r.RegFlushKey(base.Get()), ERROR_SUCCESS);
  }
  const auto live = std::filesystem::file_size(Host(m, u"C:\\Windows\\System32\\config\\SOFTWARE"));
  HKEY software = kNullKey;
  ASSERT_EQ(r.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &software),
            ERROR_SUCCESS);
  ASSERT_EQ(r.RegSaveKeyW(software, u"C:\\Windows\\Temp\\software.hiv"), ERROR_SUCCESS);
  EXPECT_EQ(r.RegSaveKeyW(software, u"C:\\Windows\\Temp\\software.hiv"), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(r.RegSaveKeyW(software, u"C:\\No Such Folder\\x.hiv"), ERROR_PATH_NOT_FOUND);
  const auto saved = std::filesystem::file_size(Host(m, u"C:\\Windows\\Temp\\software.hiv"));
  EXPECT_LT(saved * 2, live) << "live " << live << " saved " << saved;

  // Only a process holding the backup privilege saves.
  auto user = m.Start();
  EXPECT_EQ(user->Registry().RegSaveKeyW(HKEY_LOCAL_MACHINE, u"C:\\Windows\\Temp\\u.hiv"),
            ERROR_PRIVILEGE_NOT_HELD);

  // The copy loads back with the same content.
  ASSERT_EQ(r.RegLoadKeyW(HKEY_LOCAL_MACHINE, u"Copy", u"C:\\Windows\\Temp\\software.hiv"),
            ERROR_SUCCESS);
  EXPECT_EQ(SubkeysOf(r, HKEY_LOCAL_MACHINE, u"Copy\\Bulk"),
            SubkeysOf(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Bulk"));
  EXPECT_EQ(ReadString(r, HKEY_LOCAL_MACHINE, u"Copy\\Bulk\\Key295", u"data"),
            std::u16string(100, u'x'));
  EXPECT_EQ(r.RegLoadKeyW(HKEY_LOCAL_MACHINE, u"Again", u"C:\\Windows\\Temp\\software.hiv"),
            ERROR_SHARING_VIOLATION);
  // Loaded hives appear in hivelist while they are loaded.
  EXPECT_EQ(ReadString(r, HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\hivelist",
                       u"\\REGISTRY\\MACHINE\\Copy"),
            u"\\Device\\HarddiskVolume1\\Windows\\Temp\\software.hiv");
  {
    RegKey open;
    ASSERT_EQ(open.Open(r, HKEY_LOCAL_MACHINE, u"Copy\\Bulk", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(r.RegUnLoadKeyW(HKEY_LOCAL_MACHINE, u"Copy"), ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(r.RegUnLoadKeyW(HKEY_LOCAL_MACHINE, u"Copy"), ERROR_SUCCESS);
  EXPECT_EQ(OpenStatus(r, HKEY_LOCAL_MACHINE, u"Copy", KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(r.RegUnLoadKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE"), ERROR_ACCESS_DENIED);
  r.RegCloseKey(software);
}

// Thousands of sub-keys under one key and thousands of values in one key, added one at a time:
// the hive stays close to its compact size (growing lists in place would leave every old copy
// of the list behind), and every edit is visible at once, saved with the key, merged with another
// process's flushed changes and found by the next process.
TEST(SimRegistryFiles, LongRunsOfEditsKeepTheHiveCompact) {
  MachineFixture m;
  m.Machine().Registry().SetLazyFlushDelay(std::chrono::hours(1));
  auto p = m.Start(Elevated64());
  IRegistry& r = p->Registry();
  const auto name = [](int i) { return u"Key" + Ascii(std::to_string(i)); };
  RegKey many, wide;
  ASSERT_EQ(many.Create(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Many", KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_EQ(wide.Create(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wide", KEY_ALL_ACCESS), ERROR_SUCCESS);
  for (int i = 0; i < 3000; ++i) {
    RegKey k;
    ASSERT_EQ(k.Create(r, many.Get(), name(i), KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(k.WriteString(u"v", name(i)), ERROR_SUCCESS);
    ASSERT_EQ(wide.WriteString(name(i), u"data"), ERROR_SUCCESS);
  }
  for (int i = 0; i < 3000; i += 10) {
    ASSERT_EQ(r.RegDeleteKeyW(many.Get(), name(i)), ERROR_SUCCESS);
    ASSERT_EQ(r.RegDeleteValueW(wide.Get(), name(i)), ERROR_SUCCESS);
  }
  {
    RegKey nested;
    ASSERT_EQ(nested.Create(r, many.Get(), u"Key5\\Nested", KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(nested.WriteString(u"", u"deep"), ERROR_SUCCESS);
  }
  ASSERT_EQ(wide.WriteString(u"Key1", u"changed"), ERROR_SUCCESS);

  const auto check = [&](IRegistry& reg, std::size_t keyCount) {
    const auto keys = SubkeysOf(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Many");
    EXPECT_EQ(keys.size(), keyCount);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
      return CompareNoCase(a, b) < 0;
    }));
    EXPECT_EQ(ReadString(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Many\\Key2999", u"v"), u"Key2999");
    EXPECT_EQ(ReadString(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Many\\Key5\\Nested", u""), u"deep");
    EXPECT_EQ(OpenStatus(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Many\\Key10", KEY_READ),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadString(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wide", u"Key1"), u"changed");
    EXPECT_EQ(ReadString(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wide", u"Key2"), u"data");
    EXPECT_EQ(ReadString(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wide", u"Key20"), std::nullopt);
    RegKeyInfo info;
    RegKey k;
    ASSERT_EQ(k.Open(reg, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wide", KEY_READ), ERROR_SUCCESS);
    ASSERT_EQ(reg.RegQueryInfoKeyW(k.Get(), &info), ERROR_SUCCESS);
    EXPECT_EQ(info.values, 2700u);
  };
  check(r, 2700);

  // A saved copy holds the edits not yet written.
  ASSERT_EQ(r.RegSaveKeyW(many.Get(), u"C:\\Windows\\Temp\\many.hiv"), ERROR_SUCCESS);
  ASSERT_EQ(r.RegLoadKeyW(HKEY_LOCAL_MACHINE, u"Copy", u"C:\\Windows\\Temp\\many.hiv"),
            ERROR_SUCCESS);
  EXPECT_EQ(SubkeysOf(r, HKEY_LOCAL_MACHINE, u"Copy").size(), 2700u);
  EXPECT_EQ(ReadString(r, HKEY_LOCAL_MACHINE, u"Copy\\Key5\\Nested", u""), u"deep");
  ASSERT_EQ(r.RegUnLoadKeyW(HKEY_LOCAL_MACHINE, u"Copy"), ERROR_SUCCESS);

  // Another process writes the same hive meanwhile.
  {
    auto other = m.OpenAnother();
    auto q = other->StartProcess({u"", true, true, u"", u""});
    RegKey k;
    ASSERT_EQ(
        k.Create(q->Registry(), HKEY_LOCAL_MACHINE, u"SOFTWARE\\Many\\FromOther", KEY_ALL_ACCESS),
        ERROR_SUCCESS);
    ASSERT_EQ(q->Registry().RegFlushKey(k.Get()), ERROR_SUCCESS);
  }
  ASSERT_EQ(r.RegFlushKey(many.Get()), ERROR_SUCCESS);
  const auto size = std::filesystem::file_size(Host(m, u"C:\\Windows\\System32\\config\\SOFTWARE"));
  EXPECT_LT(size, 4u << 20) << size;
  check(r, 2701);  // with the other process's key
  // Handles opened before the write still work.
  EXPECT_EQ(wide.WriteString(u"after", u"write"), ERROR_SUCCESS);

  auto next = m.OpenAnother();
  auto q = next->StartProcess({u"", false, true, u"", u""});
  check(q->Registry(), 2701);
}

// Predefined keys stand for whatever key is there now: deleted and made again behind them.
TEST(SimRegistryFiles, PredefinedKeysFollowTheKeysBehindThem) {
  MachineFixture m(Options(R"(
[HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Hardware Profiles\Current\Software\Probe]
"v"="1"
)"));
  auto p = m.Start(Elevated64());
  IRegistry& r = p->Registry();
  EXPECT_EQ(ReadString(r, HKEY_CURRENT_CONFIG, u"Software\\Probe", u"v"), u"1");
  ASSERT_EQ(
      r.SHDeleteKeyW(HKEY_LOCAL_MACHINE, u"SYSTEM\\ControlSet001\\Hardware Profiles\\Current"),
      ERROR_SUCCESS);
  EXPECT_EQ(OpenStatus(r, HKEY_CURRENT_CONFIG, u"Software", KEY_READ), ERROR_FILE_NOT_FOUND);
  RegKey again;
  ASSERT_EQ(again.Create(r, HKEY_LOCAL_MACHINE,
                         u"SYSTEM\\ControlSet001\\Hardware Profiles\\Current\\Software\\Probe",
                         KEY_ALL_ACCESS),
            ERROR_SUCCESS);
  ASSERT_EQ(again.WriteString(u"v", u"2"), ERROR_SUCCESS);
  EXPECT_EQ(ReadString(r, HKEY_CURRENT_CONFIG, u"Software\\Probe", u"v"), u"2");
}

TEST(SimRegistryFiles, ADamagedHiveIsRefusedAndLeftAsItIs) {
  MachineFixture m;
  const auto software = Host(m, u"C:\\Windows\\System32\\config\\SOFTWARE");
  const auto ntuser = Host(m, u"C:\\Users\\Alice\\NTUSER.DAT");
  m.Close();
  struct Case {
    const char* what;
    std::filesystem::path file;
    std::function<void(std::vector<std::uint8_t>&)> damage;
  };
  const Case cases[] = {
      {"truncated machine hive", software, [](auto& b) { b.resize(b.size() - 4096); }},
      {"bad checksum", software, [](auto& b) { b[0x40] ^= 1; }},
      {"user hive that is not a hive", ntuser, [](auto& b) { std::fill(b.begin(), b.end(), 'x'); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto good = FileBytes(c.file);
    auto bad = good;
    c.damage(bad);
    std::ofstream(c.file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bad.data()), static_cast<std::streamsize>(bad.size()));
    std::string error;
    EXPECT_EQ(SimMachine::Open(m.Folder(), &error), nullptr);
    EXPECT_NE(error.find(c.file.string()), std::string::npos) << error;
    EXPECT_EQ(FileBytes(c.file), bad);
    std::ofstream(c.file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(good.data()),
               static_cast<std::streamsize>(good.size()));
  }
  m.Open();
}

TEST(SimRegistryVolatile, StartBuildsHivelistCurrentControlSetAndHardware) {
  MachineFixture m(Options(R"(
[HKEY_LOCAL_MACHINE\SYSTEM\Select]
"Current"=dword:00000002
[HKEY_LOCAL_MACHINE\SYSTEM\ControlSet002\Control\Session Manager]
"Which"="two"
[HKEY_LOCAL_MACHINE\SYSTEM\ControlSet002\Hardware Profiles\Current\Software]
"Profile"="two"
)"));
  m.Reopen();  // Select\Current is read at start
  auto p = m.Start(Elevated64());
  IRegistry& r = p->Registry();
  const std::u16string_view sm = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  EXPECT_EQ(ReadString(r, HKEY_LOCAL_MACHINE, sm, u"Which"), u"two");
  EXPECT_EQ(ReadString(r, HKEY_CURRENT_CONFIG, u"Software", u"Profile"), u"two");

  const std::u16string_view list = u"SYSTEM\\CurrentControlSet\\Control\\hivelist";
  struct Entry {
    std::u16string_view name, file;
  };
  const std::u16string sid = m.Machine().Descriptor().CurrentUser()->sid;
  const Entry entries[] = {
      {u"\\REGISTRY\\MACHINE\\HARDWARE", u""},
      {u"\\REGISTRY\\MACHINE\\SAM", u"\\Device\\HarddiskVolume1\\Windows\\System32\\config\\SAM"},
      {u"\\REGISTRY\\USER\\.DEFAULT",
       u"\\Device\\HarddiskVolume1\\Windows\\System32\\config\\DEFAULT"},
  };
  for (const Entry& e : entries) EXPECT_EQ(ReadString(r, HKEY_LOCAL_MACHINE, list, e.name), e.file);
  EXPECT_EQ(ReadString(r, HKEY_LOCAL_MACHINE, list, u"\\REGISTRY\\USER\\" + sid + u"_Classes"),
            u"\\Device\\HarddiskVolume1\\Users\\Alice\\AppData\\Local\\Microsoft\\Windows\\"
            u"UsrClass.dat");
  EXPECT_EQ(OpenStatus(r, HKEY_LOCAL_MACHINE, u"HARDWARE\\DESCRIPTION\\System", KEY_READ),
            ERROR_SUCCESS);
  // Nothing can be made directly below HKEY_LOCAL_MACHINE, even by an elevated administrator.
  RegKey top;
  EXPECT_EQ(top.Create(r, HKEY_LOCAL_MACHINE, u"NewRoot", KEY_WRITE), ERROR_ACCESS_DENIED);

  // A volatile key lives until the machine stops; it never reaches the file.
  RegKey vol;
  ASSERT_EQ(vol.Create(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Session", KEY_WRITE, REG_OPTION_VOLATILE),
            ERROR_SUCCESS);
  ASSERT_EQ(vol.WriteString(u"v", u"x"), ERROR_SUCCESS);
  ASSERT_EQ(r.RegFlushKey(vol.Get()), ERROR_SUCCESS);
  vol.Close();
  p.reset();
  m.Reopen();
  auto q = m.Start(Elevated64());
  EXPECT_EQ(OpenStatus(q->Registry(), HKEY_LOCAL_MACHINE, u"SOFTWARE\\Session", KEY_READ),
            ERROR_FILE_NOT_FOUND);
}

TEST(SimRegistryBoot, ReplacementWaitsForTheNextBoot) {
  MachineFixture m(Options("[HKEY_LOCAL_MACHINE\\SAM\\Marker]"));
  auto p = m.Start(Elevated64());
  IRegistry& r = p->Registry();
  const std::u16string sav = u"C:\\Windows\\System32\\config\\SAM.sav";
  const std::u16string bak = u"C:\\Windows\\System32\\config\\SAM.bak";
  {
    RegKey sam;
    ASSERT_EQ(sam.Open(r, HKEY_LOCAL_MACHINE, u"SAM", KEY_READ), ERROR_SUCCESS);
    ASSERT_EQ(r.RegSaveKeyW(sam.Get(), sav), ERROR_SUCCESS);
  }
  auto user = m.Start();
  EXPECT_EQ(user->Registry().RegReplaceKeyW(HKEY_LOCAL_MACHINE, u"SAM", sav, bak),
            ERROR_PRIVILEGE_NOT_HELD);
  EXPECT_EQ(r.RegReplaceKeyW(HKEY_LOCAL_MACHINE, u"SAM\\Marker", sav, bak),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(r.RegReplaceKeyW(HKEY_LOCAL_MACHINE, u"SAM", u"C:\\missing.hiv", bak),
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(r.RegReplaceKeyW(HKEY_LOCAL_MACHINE, u"SAM", sav, bak), ERROR_SUCCESS);
  // Until the boot the running hive stays the one in use.
  const auto samFile = Host(m, u"C:\\Windows\\System32\\config\\SAM");
  const auto before = FileBytes(samFile);
  EXPECT_EQ(OpenStatus(r, HKEY_LOCAL_MACHINE, u"SAM\\Marker", KEY_READ), ERROR_SUCCESS);
  ASSERT_EQ(PendingHiveReplacements(m.Folder(), nullptr).size(), 1u);

  p.reset();
  user.reset();
  const auto d = m.Machine().Descriptor();
  m.Close();
  std::string error;
  ASSERT_TRUE(ApplyPendingHiveReplacements(m.Folder(), d, &error)) << error;
  std::filesystem::path bakFile, savFile;
  ASSERT_EQ(HostPathOf(m.Folder(), d, bak, &bakFile), ERROR_SUCCESS);
  ASSERT_EQ(HostPathOf(m.Folder(), d, sav, &savFile), ERROR_SUCCESS);
  EXPECT_EQ(FileBytes(bakFile), before);
  EXPECT_FALSE(std::filesystem::exists(savFile));
  EXPECT_TRUE(PendingHiveReplacements(m.Folder(), nullptr).empty());
  m.Open();
  auto after = m.Start(Elevated64());
  EXPECT_EQ(OpenStatus(after->Registry(), HKEY_LOCAL_MACHINE, u"SAM\\Marker", KEY_READ),
            ERROR_SUCCESS);
}

TEST(SimRegistryProtection, SfcIsKeyProtectedByVersionDefaultsAndDescriptor) {
  {
    MachineFixture xp(Options({}, "xp", Arch::x86));
    auto p = xp.Start();
    EXPECT_FALSE(p->Registry().HasSfcIsKeyProtected());
    EXPECT_EQ(p->Registry().SfcIsKeyProtected(HKEY_CLASSES_ROOT, u"exefile", 0), 0);
  }
  MachineFixture seven;
  auto p = seven.Start();
  IRegistry& r = p->Registry();
  EXPECT_TRUE(r.HasSfcIsKeyProtected());
  const std::u16string computer = u"CLSID\\{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
  EXPECT_EQ(r.SfcIsKeyProtected(HKEY_CLASSES_ROOT, computer + u"\\InProcServer32", 0), 1);
  EXPECT_EQ(r.SfcIsKeyProtected(HKEY_CLASSES_ROOT, computer, KEY_WOW64_64KEY), 1);
  EXPECT_EQ(r.SfcIsKeyProtected(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\" + computer, 0), 1);
  EXPECT_EQ(
      r.SfcIsKeyProtected(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-1111-2222-3333-444444444444}", 0),
      0);
  EXPECT_EQ(r.SfcIsKeyProtected(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", 0), 0);

  FixtureOptions o;
  o.adjust = [](MachineDescriptor& d) {
    d.protectedKeys =
        std::vector<std::u16string>{u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor"};
  };
  MachineFixture custom(o);
  auto q = custom.Start();
  EXPECT_EQ(q->Registry().SfcIsKeyProtected(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Sub",
                                            KEY_WOW64_32KEY),
            1);
  EXPECT_EQ(
      q->Registry().SfcIsKeyProtected(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", KEY_WOW64_64KEY), 0);
  EXPECT_EQ(q->Registry().SfcIsKeyProtected(HKEY_CLASSES_ROOT, computer, 0), 0);
}

TEST(SimRegistryRegFiles, ExportThenImportIntoAnotherMachineGivesTheSameExport) {
  const char* reg = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]
@="default"
"a\\b"="quote \" inside"
"Dword"=dword:000003e8
"Bin"=hex:01,02,ff
"Multi"=hex(7):61,00,00,00,62,00,00,00,00,00
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Sub]
"Empty"=hex:
[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Vendor]
"Bits"="32"
)";
  MachineFixture a(Options(reg));
  auto pa = a.Start(Elevated64());
  RegFileWriter first;
  ASSERT_TRUE(ExportRegKey(pa->Registry(), u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor", 0, first));
  RegFileWriter wow;
  ASSERT_TRUE(ExportRegKey(pa->Registry(), u"HKEY_LOCAL_MACHINE\\SOFTWARE", 0, wow));
  // The 32-bit branch appears once, below Wow6432Node.
  const std::u16string all = wow.Text();
  EXPECT_NE(all.find(u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor]"), std::u16string::npos);
  EXPECT_EQ(all.find(u"Wow6432Node\\Wow6432Node"), std::u16string::npos);

  MachineFixture b;
  auto pb = b.Start(Elevated64());
  const auto parsed = ParseRegFileText(first.Text());
  ASSERT_TRUE(parsed.ok);
  std::string error;
  EXPECT_EQ(ImportRegOps(pb->Registry(), parsed.ops, &error), 0u) << error;
  RegFileWriter second;
  ASSERT_TRUE(ExportRegKey(pb->Registry(), u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor", 0, second));
  EXPECT_EQ(second.Text(), first.Text());

  // "[-key]" deletes a subtree and "=-" a value; missing ones are no error.
  const auto removal = testing::ParseFixtureReg(R"(
[-HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Sub]
[-HKEY_LOCAL_MACHINE\SOFTWARE\Never]
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]
"Dword"=-
"Never"=-
)");
  EXPECT_EQ(ImportRegOps(pb->Registry(), removal, &error), 0u) << error;
  EXPECT_EQ(OpenStatus(pb->Registry(), HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Sub", KEY_READ),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadString(pb->Registry(), HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", u"Dword"),
            std::nullopt);
  // A non-administrator's import fails for machine keys and says so.
  auto user = b.Start();
  EXPECT_EQ(ImportRegOps(user->Registry(), parsed.ops, &error), parsed.ops.size());
  EXPECT_NE(error.find("error 5"), std::string::npos) << error;
}

}  // namespace
}  // namespace bc::platform::sim
