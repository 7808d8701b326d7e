// SHFileOperationW: deleting to the recycle bin in the layout of each Windows version, and back.
#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/shell.h"
#include "platform/sim/shell_recycle.h"
#include "platform/system.h"
#include "tests/platform/files_machine.h"

namespace bc::platform::sim {
namespace {

using testing::TestMachine;

int Delete(IShell& shell, std::vector<std::u16string> items, FILEOP_FLAGS flags) {
  SHFILEOPSTRUCTW op;
  op.wFunc = FO_DELETE;
  op.pFrom = std::move(items);
  op.fFlags = flags;
  return shell.SHFileOperationW(&op);
}

constexpr FILEOP_FLAGS kRepairFlags = 0x654;  // silent, no confirmation, undo, no error UI

TEST(RecycleBin, KeepsDeletedShortcutsRecoverable) {
  struct Case {
    const char* windows;
    const char* desktop;  // host folder of the user's desktop
    const char16_t* desktopPath;
    const char* binItem;  // what the bin holds, relative to the drive
  } cases[] = {
      {"xp", "C/Documents and Settings/Alice/Desktop",
       u"C:\\Documents and Settings\\Alice\\Desktop",
       "RECYCLER/S-1-5-21-1004336348-1177238915-682003330-1000/Dc1.lnk"},
      {"7", "C/Users/Alice/Desktop", u"C:\\Users\\Alice\\Desktop", nullptr},
  };
  for (const auto& c : cases) {
    TestMachine m(c.windows, Arch::x86);
    auto p = m.Start();
    m.Put(std::string(c.desktop) + "/Dead App.lnk", "shortcut bytes");
    m.Put(std::string(c.desktop) + "/Other.lnk", "other");
    const std::u16string file = std::u16string(c.desktopPath) + u"\\Dead App.lnk";
    ASSERT_EQ(Delete(p->Shell(), {file}, kRepairFlags), 0) << c.windows;
    EXPECT_FALSE(p->Files().PathFileExistsW(file));
    if (c.binItem) {
      EXPECT_TRUE(std::filesystem::exists(m.Dir() / "C" / c.binItem)) << c.windows;
    }

    const std::u16string sid = p->Identity().user.sid;
    auto items = ListRecycleBin(m.Machine(), u'C', sid);
    ASSERT_EQ(items.size(), 1u) << c.windows;
    EXPECT_EQ(Utf16ToUtf8(items[0].originalPath), Utf16ToUtf8(file));
    EXPECT_GT(items[0].deletedAt, 0u);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(p->Files(), items[0].storedPath, &bytes)) << c.windows;
    EXPECT_EQ(bytes, "shortcut bytes");
    // A second deletion goes beside the first.
    ASSERT_EQ(Delete(p->Shell(), {std::u16string(c.desktopPath) + u"\\Other.lnk"}, kRepairFlags),
              0);
    EXPECT_EQ(ListRecycleBin(m.Machine(), u'C', sid).size(), 2u);

    std::string error;
    ASSERT_TRUE(RestoreRecycledItem(m.Machine(), u'C', sid, items[0], &error)) << error;
    ASSERT_TRUE(ReadWholeFile(p->Files(), file, &bytes));
    EXPECT_EQ(bytes, "shortcut bytes");
    EXPECT_EQ(ListRecycleBin(m.Machine(), u'C', sid).size(), 1u);
  }
}

TEST(RecycleBin, DeletesForGoodWithoutUndoAndReportsFailures) {
  TestMachine m("7", Arch::x64, [](MachineDescriptor& d) {
    d.drives.push_back({u'E', DriveType::Removable, "E", true});
  });
  auto p = m.Start();
  IShell& shell = p->Shell();
  m.Put("C/Users/Alice/Desktop/a.lnk");
  m.Put("C/Users/Alice/Desktop/Folder/b.txt");
  m.Put("E/stick.lnk");
  EXPECT_EQ(Delete(shell, {u"C:\\Users\\Alice\\Desktop\\a.lnk"}, 0x0414), 0);
  EXPECT_EQ(Delete(shell, {u"C:\\Users\\Alice\\Desktop\\Folder"}, 0x0414), 0);
  // Removable drives have no recycle bin: the item is gone.
  EXPECT_EQ(Delete(shell, {u"E:\\stick.lnk"}, kRepairFlags), 0);
  EXPECT_FALSE(p->Files().PathFileExistsW(u"E:\\stick.lnk"));
  EXPECT_TRUE(ListRecycleBin(m.Machine(), u'C', p->Identity().user.sid).empty());
  EXPECT_FALSE(p->Files().PathFileExistsW(u"C:\\Users\\Alice\\Desktop\\Folder"));
  // A file that is not there, and one the user may not remove.
  EXPECT_EQ(Delete(shell, {u"C:\\Users\\Alice\\Desktop\\gone.lnk"}, kRepairFlags),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(
      Delete(
          shell,
          {u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Accessories\\Notepad.lnk"},
          kRepairFlags),
      ERROR_ACCESS_DENIED);
  auto admin = m.Start(true);
  EXPECT_EQ(
      Delete(
          admin->Shell(),
          {u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Accessories\\Notepad.lnk"},
          kRepairFlags),
      0);
}

}  // namespace
}  // namespace bc::platform::sim
