// WOW64 on the simulated machine: System32 redirection per thread, the system folders and the
// calls that exist only on 64-bit Windows.
#include <gtest/gtest.h>

#include <thread>

#include "base/text.h"
#include "platform/files.h"
#include "platform/system.h"
#include "tests/platform/files_machine.h"

namespace bc::platform::sim {
namespace {

using testing::TestMachine;

TEST(Wow64, RedirectsSystem32PerThreadUntilTurnedOff) {
  TestMachine m("7", Arch::x64);
  m.Put("C/Windows/SysWOW64/only32.dll");
  m.Put("C/Windows/System32/only64.dll");
  m.Put("C/Windows/System32/drivers/etc/lmhosts.sam");
  auto p32 = m.Start();
  auto p64 = m.Start(false, /*is64Bit=*/true);
  IFileSystem& fs = p32->Files();
  ISystem& sys = p32->System();
  BOOL wow = 0;
  ASSERT_TRUE(sys.IsWow64Process(&wow));
  EXPECT_TRUE(wow);
  ASSERT_TRUE(p64->System().IsWow64Process(&wow));
  EXPECT_FALSE(wow);

  struct Case {
    const char16_t* path;
    bool redirected, unredirected;
  } cases[] = {
      {u"C:\\Windows\\System32\\only32.dll", true, false},
      {u"C:\\Windows\\System32\\only64.dll", false, true},
      {u"C:\\Windows\\Sysnative\\only64.dll", true, false},  // only a redirected thread has it
      {u"C:\\Windows\\SysWOW64\\only32.dll", true, true},
      {u"C:\\Windows\\System32\\drivers\\etc\\lmhosts.sam", true, true},  // exempt
  };
  const auto check = [&](bool redirected, const char* where) {
    for (const auto& c : cases) {
      EXPECT_EQ(fs.PathFileExistsW(c.path) != 0, redirected ? c.redirected : c.unredirected)
          << where << " " << Utf16ToUtf8(c.path);
    }
  };
  check(true, "main thread");
  // Another thread turns redirection off for itself only.
  std::thread worker([&] {
    Wow64RedirectionValue old = nullptr;
    ASSERT_TRUE(sys.Wow64DisableWow64FsRedirection(&old));
    check(false, "worker, off");
    Wow64RedirectionValue inner = nullptr;
    ASSERT_TRUE(sys.Wow64DisableWow64FsRedirection(&inner));  // nested: stays off after revert
    ASSERT_TRUE(sys.Wow64RevertWow64FsRedirection(inner));
    check(false, "worker, nested revert");
    ASSERT_TRUE(sys.Wow64RevertWow64FsRedirection(old));
    check(true, "worker, reverted");
  });
  worker.join();
  check(true, "main thread after worker");
  // A 64-bit process is never redirected.
  EXPECT_TRUE(p64->Files().PathFileExistsW(u"C:\\Windows\\System32\\only64.dll"));
  EXPECT_FALSE(p64->Files().PathFileExistsW(u"C:\\Windows\\System32\\only32.dll"));
  // Writing follows the redirection too.
  auto admin = m.Start(/*elevated=*/true);
  ASSERT_TRUE(WriteWholeFile(admin->Files(), u"C:\\Windows\\System32\\written.dat", "w"));
  EXPECT_TRUE(std::filesystem::exists(m.Dir() / "C/Windows/SysWOW64/written.dat"));

  std::u16string dir;
  EXPECT_EQ(sys.GetSystemDirectoryW(&dir, MAX_PATH), 19u);
  EXPECT_EQ(Utf16ToUtf8(dir), "C:\\Windows\\system32");
  EXPECT_EQ(sys.GetSystemWow64DirectoryW(&dir, MAX_PATH), 19u);
  EXPECT_EQ(Utf16ToUtf8(dir), "C:\\Windows\\SysWOW64");
  EXPECT_EQ(sys.GetWindowsDirectoryW(&dir, 5), 11u);  // too small: the size needed
  EXPECT_TRUE(dir.empty());
}

TEST(Wow64, IsAbsentOnA32BitMachine) {
  TestMachine m("xp", Arch::x86);
  auto p = m.Start();
  ISystem& sys = p->System();
  BOOL wow = 1;
  ASSERT_TRUE(sys.IsWow64Process(&wow));
  EXPECT_FALSE(wow);
  std::u16string dir;
  EXPECT_EQ(sys.GetSystemWow64DirectoryW(&dir, MAX_PATH), 0u);
  EXPECT_EQ(sys.GetLastError(), ERROR_CALL_NOT_IMPLEMENTED);
  Wow64RedirectionValue old = nullptr;
  EXPECT_FALSE(sys.Wow64DisableWow64FsRedirection(&old));
  EXPECT_EQ(sys.GetSystemDirectoryW(&dir, MAX_PATH), 19u);
  EXPECT_EQ(Utf16ToUtf8(dir), "C:\\WINDOWS\\system32");
  EXPECT_TRUE(p->Files().PathFileExistsW(u"C:\\Windows\\System32\\kernel32.dll"));
}

}  // namespace
}  // namespace bc::platform::sim
