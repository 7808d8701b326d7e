// System facts of a simulated machine: version, names, clock, privileges and file protection.
#include <gtest/gtest.h>

#include <thread>

#include "base/text.h"
#include "platform/system.h"
#include "tests/platform/files_machine.h"

namespace bc::platform::sim {
namespace {

using testing::TestMachine;

TEST(SystemFacts, AnswerVersionAndNames) {
  struct Case {
    const char* windows;
    DWORD major, minor, build;
    const char* servicePack;
  } cases[] = {{"xp", 5, 1, 2600, "Service Pack 3"},
               {"vista", 6, 0, 6002, "Service Pack 2"},
               {"7", 6, 1, 7601, "Service Pack 1"}};
  for (const auto& c : cases) {
    TestMachine m(c.windows, Arch::x86);
    auto p = m.Start();
    OSVERSIONINFOEXW v;
    ASSERT_TRUE(p->System().GetVersionExW(&v));
    EXPECT_EQ(v.dwMajorVersion, c.major);
    EXPECT_EQ(v.dwMinorVersion, c.minor);
    EXPECT_EQ(v.dwBuildNumber, c.build);
    EXPECT_EQ(v.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(Utf16ToUtf8(v.szCSDVersion), c.servicePack);
  }
  TestMachine m;
  auto p = m.Start();
  ISystem& sys = p->System();
  std::u16string name;
  DWORD cch = 260;
  ASSERT_TRUE(sys.GetUserNameExW(NameSamCompatible, &name, &cch));
  EXPECT_EQ(Utf16ToUtf8(name), "DEMO-PC\\Alice");
  EXPECT_EQ(cch, 13u);
  cch = 4;
  EXPECT_FALSE(sys.GetUserNameExW(NameSamCompatible, &name, &cch));
  EXPECT_EQ(sys.GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(cch, 14u);
  cch = 260;
  ASSERT_TRUE(sys.GetUserNameW(&name, &cch));
  EXPECT_EQ(Utf16ToUtf8(name), "Alice");
  EXPECT_EQ(cch, 6u);  // with the NUL
  cch = 260;
  ASSERT_TRUE(sys.GetComputerNameW(&name, &cch));
  EXPECT_EQ(Utf16ToUtf8(name), "DEMO-PC");
  EXPECT_EQ(cch, 7u);
}

TEST(SystemFacts, TellTimeByTheMachineClock) {
  TestMachine m("7", Arch::x64, [](MachineDescriptor& d) {
    d.clock = 1262304000 + 86399;  // 2010-01-01 23:59:59 UTC, a Friday
    d.utcOffsetMinutes = 120;
  });
  auto p = m.Start();
  SYSTEMTIME utc, local;
  p->System().GetSystemTime(&utc);
  p->System().GetLocalTime(&local);
  EXPECT_EQ(utc.wYear, 2010);
  EXPECT_EQ(utc.wMonth, 1);
  EXPECT_EQ(utc.wDay, 1);
  EXPECT_EQ(utc.wDayOfWeek, 5);
  EXPECT_EQ(utc.wHour, 23);
  EXPECT_EQ(utc.wSecond, 59);
  EXPECT_EQ(local.wDay, 2);
  EXPECT_EQ(local.wDayOfWeek, 6);
  EXPECT_EQ(local.wHour, 1);
  EXPECT_EQ(p->System().GetSystemTimeAsFileTime(),
            (1262304000ULL + 86399 + 11644473600ULL) * 10000000ULL);
  const DWORD t0 = p->System().GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(p->System().GetTickCount() - t0, 20u);
}

TEST(SystemFacts, GrantPrivilegesToElevatedAdministratorsOnly) {
  struct Case {
    const char* windows;
    bool admin, elevated;
    bool heavy;  // backup, restore, TCB, security, quota
  } cases[] = {{"7", true, true, true},
               {"7", true, false, false},
               {"7", false, false, false},
               {"xp", true, false, true},
               {"xp", false, false, false}};
  for (const auto& c : cases) {
    TestMachine m(c.windows, Arch::x64, [&](MachineDescriptor& d) { d.users[0].admin = c.admin; });
    auto p = m.Start(c.elevated);
    ISystem& sys = p->System();
    EXPECT_EQ(sys.IsUserAnAdmin() != 0, c.heavy) << c.windows << c.admin << c.elevated;
    for (auto name : {SE_BACKUP_NAME, SE_RESTORE_NAME, SE_TCB_NAME, SE_SECURITY_NAME,
                      SE_INCREASE_QUOTA_NAME, SE_SHUTDOWN_NAME}) {
      LUID luid;
      ASSERT_TRUE(sys.LookupPrivilegeValueW(name, &luid));
      const bool expected = c.heavy || name == SE_SHUTDOWN_NAME;
      EXPECT_EQ(sys.AdjustTokenPrivileges(luid, 1) != 0, expected) << Utf16ToUtf8(name);
      if (!expected) {
        EXPECT_EQ(sys.GetLastError(), ERROR_PRIVILEGE_NOT_HELD);
      }
    }
    LUID luid;
    EXPECT_FALSE(sys.LookupPrivilegeValueW(u"SeMadeUpPrivilege", &luid));
    EXPECT_EQ(sys.GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
  }
  // The well-known values.
  TestMachine m;
  LUID luid;
  ASSERT_TRUE(m.Start()->System().LookupPrivilegeValueW(SE_BACKUP_NAME, &luid));
  EXPECT_EQ(luid.LowPart, 17u);
}

TEST(SystemFacts, ProtectWindowsFilesByDefaultOrByTheMachinesList) {
  TestMachine m;
  auto p = m.Start();
  ISystem& sys = p->System();
  EXPECT_TRUE(sys.SfcIsFileProtected(u"C:\\Windows\\System32\\shell32.dll"));
  EXPECT_TRUE(sys.SfcIsFileProtected(u"c:\\windows\\SYSTEM32\\SHELL32.DLL"));
  EXPECT_TRUE(sys.SfcIsFileProtected(u"C:\\Windows\\explorer.exe"));
  EXPECT_TRUE(sys.SfcIsFileProtected(u"C:\\Windows\\SysWOW64\\shell32.dll"));
  EXPECT_FALSE(sys.SfcIsFileProtected(u"C:\\Windows\\win.ini"));
  EXPECT_FALSE(sys.SfcIsFileProtected(u"C:\\Program Files\\Vendor\\app.exe"));
  // Protection is a list of names: a protected file that was removed is still protected.
  std::filesystem::remove(m.Dir() / "C/Windows/System32/calc.exe");
  EXPECT_TRUE(sys.SfcIsFileProtected(u"C:\\Windows\\System32\\calc.exe"));

  TestMachine own("7", Arch::x64, [](MachineDescriptor& d) {
    d.protectedFiles = std::vector<std::u16string>{u"%ProgramFiles%\\Vendor\\app.exe"};
  });
  auto q = own.Start(false, true);
  EXPECT_TRUE(q->System().SfcIsFileProtected(u"C:\\Program Files\\Vendor\\APP.exe"));
  EXPECT_FALSE(q->System().SfcIsFileProtected(u"C:\\Windows\\System32\\shell32.dll"));
}

}  // namespace
}  // namespace bc::platform::sim
