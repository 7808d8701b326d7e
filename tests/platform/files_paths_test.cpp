// Path normalization and WOW64 redirection of the simulated machine, on text alone.
#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/files.h"
#include "platform/sim/files_paths.h"

namespace bc::platform::sim {
namespace {

TEST(FullPathName, AppliesWin32Rules) {
  struct Case {
    const char16_t* path;
    const char16_t* cwd;
    const char16_t* expected;
  } cases[] = {
      {u"C:\\a\\..\\b", u"C:\\w", u"C:\\b"},
      {u"C:\\..\\..\\x", u"C:\\w", u"C:\\x"},  // ".." stops at the root
      {u"x\\y", u"C:\\w", u"C:\\w\\x\\y"},
      {u"..\\..\\..\\y", u"C:\\w\\v", u"C:\\y"},
      {u"\\x", u"D:\\w", u"D:\\x"},
      {u"C:x", u"C:\\w", u"C:\\w\\x"},  // drive-relative on the current drive
      {u"D:x", u"C:\\w", u"D:\\x"},
      {u"c:/a//b/./c/", u"C:\\", u"C:\\a\\b\\c\\"},
      {u"C:\\a.\\b ", u"C:\\", u"C:\\a\\b"},  // trailing dots and blanks dropped
      {u"/etc/passwd", u"C:\\w", u"C:\\etc\\passwd"},
      {u"\\\\srv\\share\\a\\..\\..\\b", u"C:\\", u"\\\\srv\\share\\b"},
  };
  for (const auto& c : cases) {
    LSTATUS e = 0;
    auto full = FullPathName(c.path, c.cwd, &e);
    ASSERT_TRUE(full) << Utf16ToUtf8(c.path);
    EXPECT_EQ(Utf16ToUtf8(*full), Utf16ToUtf8(c.expected)) << Utf16ToUtf8(c.path);
  }
}

TEST(SplitDrivePath, RefusesWhatNoDriveHolds) {
  const std::u16string tooLong = u"C:\\" + std::u16string(300, u'a');
  struct Case {
    std::u16string path;
    LSTATUS error;
  } cases[] = {
      {u"C:\\a<b", ERROR_INVALID_NAME},          {u"C:\\a\\*\\b", ERROR_INVALID_NAME},
      {u"\\\\srv\\share\\x", ERROR_BAD_NETPATH}, {u"\\\\.\\PhysicalDrive0", ERROR_PATH_NOT_FOUND},
      {u"C:\\dir\\CON", ERROR_FILE_NOT_FOUND},   {u"C:\\dir\\nul.txt", ERROR_FILE_NOT_FOUND},
      {tooLong, ERROR_FILENAME_EXCED_RANGE},     {u"relative", ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    LSTATUS e = 0;
    EXPECT_FALSE(SplitDrivePath(c.path, false, &e)) << Utf16ToUtf8(c.path);
    EXPECT_EQ(e, c.error) << Utf16ToUtf8(c.path);
  }
  LSTATUS e = 0;
  auto ok = SplitDrivePath(u"c:\\Dir\\*.lnk", true, &e);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->drive, u'C');
  EXPECT_EQ(ok->parts, (std::vector<std::u16string>{u"Dir", u"*.lnk"}));
}

TEST(RedirectForWow64, FollowsTheFileSystemRedirector) {
  struct Case {
    const char* windows;
    const char16_t* path;
    const char16_t* expected;
  } cases[] = {
      {"7", u"C:\\Windows\\System32\\x.dll", u"C:\\Windows\\SysWOW64\\x.dll"},
      {"7", u"C:\\WINDOWS\\system32", u"C:\\WINDOWS\\SysWOW64"},
      {"7", u"C:\\Windows\\system32\\drivers\\etc\\hosts",
       u"C:\\Windows\\system32\\drivers\\etc\\hosts"},
      {"7", u"C:\\Windows\\system32\\drivers\\x.sys", u"C:\\Windows\\SysWOW64\\drivers\\x.sys"},
      {"7", u"C:\\Windows\\system32\\catroot\\a", u"C:\\Windows\\system32\\catroot\\a"},
      {"7", u"C:\\Windows\\system32\\spool", u"C:\\Windows\\system32\\spool"},
      {"7", u"C:\\Windows\\system32\\DriverStore\\a", u"C:\\Windows\\system32\\DriverStore\\a"},
      {"vista", u"C:\\Windows\\system32\\DriverStore\\a", u"C:\\Windows\\SysWOW64\\DriverStore\\a"},
      {"7", u"C:\\Windows\\Sysnative\\x.dll", u"C:\\Windows\\System32\\x.dll"},
      {"7", u"C:\\Windows\\regedit.exe", u"C:\\Windows\\SysWOW64\\regedit.exe"},
      {"7", u"C:\\Windows\\lastgood\\system32\\a", u"C:\\Windows\\lastgood\\SysWOW64\\a"},
      {"7", u"C:\\Windows\\notepad.exe", u"C:\\Windows\\notepad.exe"},
      {"7", u"D:\\Windows\\System32\\x.dll", u"D:\\Windows\\System32\\x.dll"},
      {"7", u"C:\\Program Files\\x.exe", u"C:\\Program Files\\x.exe"},
  };
  for (const auto& c : cases) {
    const MachineDescriptor d = MakeDefaultDescriptor({c.windows, Arch::x64, u"A", true});
    LSTATUS e = 0;
    auto p = SplitDrivePath(c.path, false, &e);
    ASSERT_TRUE(p);
    RedirectForWow64(d, &*p);
    EXPECT_EQ(Utf16ToUtf8(p->ToString()), Utf16ToUtf8(c.expected)) << Utf16ToUtf8(c.path);
  }
  // A 32-bit machine has nothing to redirect.
  const MachineDescriptor x86 = MakeDefaultDescriptor({"7", Arch::x86, u"A", true});
  LSTATUS e = 0;
  auto p = SplitDrivePath(u"C:\\Windows\\System32\\x.dll", false, &e);
  EXPECT_FALSE(RedirectForWow64(x86, &*p));
}

}  // namespace
}  // namespace bc::platform::sim
