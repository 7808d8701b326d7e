// Shortcut files: written by the machine's writer, read back through IShell (liblnk).
#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/shell.h"
#include "platform/sim/lnk_writer.h"
#include "platform/system.h"
#include "tests/platform/files_machine.h"

namespace bc::platform::sim {
namespace {

using testing::TestMachine;

TEST(ShellLinks, ReadBackWhatWasWritten) {
  TestMachine m("7", Arch::x64);
  auto p = m.Start();
  IShell& shell = p->Shell();
  struct Case {
    std::u16string target;
    DWORD flags;
    std::u16string expected;
  } cases[] = {
      {u"C:\\Program Files\\Old App\\app.exe", SLGP_UNCPRIORITY,
       u"C:\\Program Files\\Old App\\app.exe"},
      {u"C:\\Users\\Alice\\Документы\\отчёт.doc", SLGP_UNCPRIORITY,
       u"C:\\Users\\Alice\\Документы\\отчёт.doc"},
      {u"\\\\server\\share\\dir\\tool.exe", SLGP_UNCPRIORITY, u"\\\\server\\share\\dir\\tool.exe"},
      {u"hcp://services/centers/support", SLGP_UNCPRIORITY, u"hcp://services/centers/support"},
      {u"D:\\setup.exe", 0, u"D:\\setup.exe"},
  };
  int n = 0;
  for (const auto& c : cases) {
    ShellLinkSpec spec;
    spec.target = c.target;
    spec.arguments = u"/quiet \"x y\"";
    spec.workingDirectory = u"C:\\Temp";
    spec.description = u"A shortcut";
    const std::string name = "link" + std::to_string(n++) + ".lnk";
    std::string error;
    ASSERT_TRUE(WriteShellLink(m.Dir() / "C/Users/Alice/Desktop" / name, spec, &error)) << error;
    std::u16string path;
    const std::u16string lnk = u"C:\\Users\\Alice\\Desktop\\" + Ascii(name);
    EXPECT_EQ(shell.ShellLinkGetPath(lnk, 1024, c.flags, &path), S_OK) << name;
    EXPECT_EQ(Utf16ToUtf8(path), Utf16ToUtf8(c.expected)) << name;
    // A small buffer cuts the path, as IShellLinkW::GetPath does.
    EXPECT_EQ(shell.ShellLinkGetPath(lnk, 4, c.flags, &path), S_OK);
    EXPECT_EQ(path, c.expected.substr(0, 3));
  }
  // No file-system target, not a shortcut, no file.
  std::string error;
  ASSERT_TRUE(WriteShellLink(m.Dir() / "C/Users/Alice/Desktop/none.lnk", ShellLinkSpec{}, &error));
  m.Put("C/Users/Alice/Desktop/fake.lnk", "this is not a shortcut");
  std::u16string path = u"x";
  EXPECT_EQ(shell.ShellLinkGetPath(u"C:\\Users\\Alice\\Desktop\\none.lnk", 1024, 0, &path),
            S_FALSE);
  EXPECT_TRUE(path.empty());
  EXPECT_LT(shell.ShellLinkGetPath(u"C:\\Users\\Alice\\Desktop\\fake.lnk", 1024, 0, &path), 0);
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(shell.ShellLinkGetPath(u"C:\\Users\\Alice\\Desktop\\gone.lnk", 1024, 0, &path),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST(ShellLinks, TheStartMenuOfANewMachineHasWorkingShortcuts) {
  TestMachine m("xp", Arch::x86);
  auto p = m.Start();
  std::u16string path;
  ASSERT_EQ(
      p->Shell().ShellLinkGetPath(
          u"C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Accessories\\Notepad.lnk",
          MAX_PATH, SLGP_UNCPRIORITY, &path),
      S_OK);
  EXPECT_EQ(Utf16ToUtf8(path), "C:\\WINDOWS\\system32\\notepad.exe");
  EXPECT_TRUE(p->Files().PathFileExistsW(path));
}

}  // namespace
}  // namespace bc::platform::sim
