// Files and folders of a simulated machine through IFileSystem: lookups, escapes, the listing
// cache, attributes, handles, listings, moves and the write rule of system folders.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "base/text.h"
#include "platform/files.h"
#include "platform/sim/files_cache.h"
#include "platform/sim/files_state.h"
#include "platform/system.h"
#include "tests/platform/files_machine.h"

namespace bc::platform::sim {
namespace {

using testing::TestMachine;

std::string U8(std::u16string_view s) {
  return Utf16ToUtf8(s);
}

class FilesTest : public ::testing::Test {
 protected:
  TestMachine m{"7", Arch::x64};
  std::unique_ptr<SimProcess> p = m.Start();
  IFileSystem& fs = p->Files();
  DWORD LastError() { return p->System().GetLastError(); }
};

TEST_F(FilesTest, LooksNamesUpWithoutCaseAndAnswersWin32Codes) {
  m.Put("C/Users/Alice/Documents/Report.TXT", "hello");
  struct Case {
    const char16_t* path;
    DWORD attrs;  // INVALID_FILE_ATTRIBUTES: expect error
    DWORD error;
  } cases[] = {
      {u"c:\\users\\alice\\documents\\report.txt", FILE_ATTRIBUTE_ARCHIVE, 0},
      {u"C:/USERS/ALICE/DOCUMENTS/REPORT.TXT", FILE_ATTRIBUTE_ARCHIVE, 0},
      {u"C:\\Users\\Alice\\Documents\\.\\x\\..\\Report.txt", FILE_ATTRIBUTE_ARCHIVE, 0},
      {u"C:\\Users\\Alice\\Documents\\Report.txt.", FILE_ATTRIBUTE_ARCHIVE, 0},
      {u"C:\\users\\ALICE\\documents", FILE_ATTRIBUTE_DIRECTORY, 0},
      {u"C:\\Users\\Alice\\Documents\\missing.txt", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {u"C:\\Users\\Alice\\Nowhere\\missing.txt", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {u"C:\\Users\\Alice\\Documents\\Report.txt\\x", INVALID_FILE_ATTRIBUTES,
       ERROR_PATH_NOT_FOUND},
      {u"Q:\\x.txt", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {u"C:\\a|b", INVALID_FILE_ATTRIBUTES, ERROR_INVALID_NAME},
      {u"\\\\server\\share\\x.txt", INVALID_FILE_ATTRIBUTES, ERROR_BAD_NETPATH},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fs.GetFileAttributesW(c.path), c.attrs) << U8(c.path);
    if (c.attrs == INVALID_FILE_ATTRIBUTES) {
      EXPECT_EQ(LastError(), c.error) << U8(c.path);
    }
    EXPECT_EQ(fs.PathFileExistsW(c.path), c.attrs != INVALID_FILE_ATTRIBUTES) << U8(c.path);
  }
  // Relative paths start at the process's current folder.
  ASSERT_TRUE(fs.SetCurrentDirectoryW(u"c:\\users\\alice"));
  EXPECT_EQ(fs.GetFileAttributesW(u"Documents\\report.txt"), FILE_ATTRIBUTE_ARCHIVE);
  std::u16string cwd;
  fs.GetCurrentDirectoryW(MAX_PATH, &cwd);
  EXPECT_EQ(U8(cwd), "C:\\users\\alice");  // as the caller spelled it
}

TEST_F(FilesTest, NeverReachesOutsideTheMachineFolder) {
  // A file beside the machine folder, one in the machine folder itself, and a link out of a drive.
  const auto outside = m.Dir().parent_path() / (m.Dir().filename().string() + "-secret.txt");
  std::ofstream(outside) << "secret";
  ASSERT_EQ(::symlink(m.Dir().parent_path().c_str(), (m.Dir() / "C" / "escape").c_str()), 0);
  ASSERT_EQ(::symlink(outside.c_str(), (m.Dir() / "C" / "secret.txt").c_str()), 0);
  m.Machine().Files().ForgetListings();
  const std::u16string name = Utf8ToUtf16(outside.filename().string());
  const std::u16string attempts[] = {
      u"C:\\..\\" + name,
      u"C:\\..\\..\\" + name,
      u"C:\\..\\machine.json",
      u"C:\\escape\\" + name,
      u"C:\\secret.txt",
      Utf8ToUtf16(outside.string()),
      u"\\\\?\\C:\\..\\machine.json",
      u"C:\\Windows\\..\\..\\..\\..\\..\\..\\etc\\passwd",
  };
  for (const auto& a : attempts) {
    EXPECT_EQ(fs.GetFileAttributesW(a), INVALID_FILE_ATTRIBUTES) << U8(a);
    EXPECT_EQ(fs.CreateFileW(a, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0),
              INVALID_HANDLE_VALUE)
        << U8(a);
  }
  // Writing through such a name lands inside the drive, never outside.
  std::string bytes;
  EXPECT_TRUE(WriteWholeFile(fs, u"C:\\..\\..\\planted.txt", "x"));
  EXPECT_TRUE(std::filesystem::exists(m.Dir() / "C" / "planted.txt"));
  for (const char16_t* literal :
       {u"\\\\?\\C:\\..\\planted.txt", u"\\\\?\\C:\\..\\..\\planted.txt"}) {
    EXPECT_FALSE(WriteWholeFile(fs, literal, "x")) << U8(literal);
    EXPECT_EQ(LastError(), ERROR_INVALID_NAME);
    EXPECT_EQ(fs.SHCreateDirectoryExW(literal), ERROR_INVALID_NAME);
  }
  EXPECT_FALSE(std::filesystem::exists(m.Dir() / "planted.txt"));
  EXPECT_FALSE(std::filesystem::exists(m.Dir().parent_path() / "planted.txt"));
  std::filesystem::remove(outside);
}

TEST_F(FilesTest, ListsAFolderOnceForManyLookupsAndSeesChanges) {
  DirectoryCache& cache = m.Machine().Files().Cache();
  EXPECT_TRUE(fs.PathFileExistsW(u"C:\\Windows\\System32\\kernel32.dll"));
  // Settle: a listing taken within moments of a folder's change is not trusted yet.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  m.Machine().Files().ForgetListings();
  EXPECT_TRUE(fs.PathFileExistsW(u"C:\\Windows\\System32\\kernel32.dll"));
  const auto before = cache.ListingsRead();
  for (int i = 0; i < 500; ++i) {
    fs.PathFileExistsW(u"C:\\Windows\\System32\\KERNEL32.DLL");
    fs.PathFileExistsW(u"C:\\Windows\\System32\\missing" + Ascii(std::to_string(i)) + u".dll");
  }
  EXPECT_EQ(cache.ListingsRead(), before);
  // A change through the interface, and one made on the host, are both seen at once.
  ASSERT_TRUE(WriteWholeFile(fs, u"C:\\Users\\Alice\\new.txt", "n"));
  EXPECT_TRUE(fs.PathFileExistsW(u"C:\\users\\alice\\NEW.TXT"));
  m.Put("C/Users/Alice/hostmade.txt");
  EXPECT_TRUE(fs.PathFileExistsW(u"C:\\Users\\Alice\\HostMade.txt"));
  std::filesystem::remove(m.Dir() / "C/Users/Alice/hostmade.txt");
  EXPECT_FALSE(fs.PathFileExistsW(u"C:\\Users\\Alice\\HostMade.txt"));
}

TEST_F(FilesTest, KeepsDosAttributes) {
  const std::u16string f = u"C:\\Users\\Alice\\a.txt";
  ASSERT_TRUE(WriteWholeFile(fs, f, "abc"));
  ASSERT_TRUE(fs.SetFileAttributesW(f, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(fs.GetFileAttributesW(f), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  // Read-only: no writing, no deleting.
  EXPECT_EQ(fs.CreateFileW(f, GENERIC_WRITE, 0, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(LastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(fs.DeleteFileW(f));
  EXPECT_EQ(LastError(), ERROR_ACCESS_DENIED);
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(fs, f, &bytes));
  EXPECT_EQ(bytes, "abc");
  // The attributes belong to the file and survive a second process.
  auto other = m.Start();
  EXPECT_EQ(other->Files().GetFileAttributesW(f), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(fs.SetFileAttributesW(f, FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(fs.GetFileAttributesW(f), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(fs.DeleteFileW(f));
  EXPECT_FALSE(fs.PathFileExistsW(f));
}

TEST_F(FilesTest, ReadsWritesAndTruncatesThroughHandles) {
  const std::u16string f = u"C:\\Users\\Alice\\data.bin";
  HANDLE h = fs.CreateFileW(f, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(fs.WriteFile(h, "0123456789", 10, &n));
  EXPECT_EQ(n, 10u);
  std::uint64_t pos = 0, size = 0;
  ASSERT_TRUE(fs.SetFilePointerEx(h, -6, &pos, FILE_END));
  EXPECT_EQ(pos, 4u);
  char buf[8] = {};
  ASSERT_TRUE(fs.ReadFile(h, buf, 3, &n));
  EXPECT_EQ(std::string(buf, n), "456");
  ASSERT_TRUE(fs.SetFilePointerEx(h, 5, nullptr, FILE_BEGIN));
  ASSERT_TRUE(fs.SetEndOfFile(h));
  ASSERT_TRUE(fs.GetFileSizeEx(h, &size));
  EXPECT_EQ(size, 5u);
  ASSERT_TRUE(fs.ReadFile(h, buf, 8, &n));  // at the end: success with nothing read
  EXPECT_EQ(n, 0u);
  FileTime created = 0, written = 0;
  ASSERT_TRUE(fs.GetFileTime(h, &created, nullptr, &written));
  EXPECT_GT(created, 0u);
  EXPECT_GE(written, created);
  EXPECT_FALSE(fs.SetFilePointerEx(h, -100, nullptr, FILE_CURRENT));
  ASSERT_TRUE(fs.CloseHandle(h));
  EXPECT_FALSE(fs.CloseHandle(h));
  EXPECT_EQ(LastError(), ERROR_INVALID_HANDLE);

  struct Case {
    DWORD disposition;
    bool opens;
    DWORD error;
  } existing[] = {{CREATE_NEW, false, ERROR_FILE_EXISTS},
                  {OPEN_EXISTING, true, ERROR_SUCCESS},
                  {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS},
                  {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS},
                  {TRUNCATE_EXISTING, true, ERROR_SUCCESS}};
  for (const auto& c : existing) {
    h = fs.CreateFileW(f, GENERIC_WRITE, 0, c.disposition, 0);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << c.disposition;
    EXPECT_EQ(LastError(), c.error) << c.disposition;
    if (h != INVALID_HANDLE_VALUE) fs.CloseHandle(h);
  }
  std::string bytes = "x";
  ASSERT_TRUE(ReadWholeFile(fs, f, &bytes));
  EXPECT_EQ(bytes, "");  // truncated by CREATE_ALWAYS / TRUNCATE_EXISTING
  EXPECT_EQ(fs.CreateFileW(u"C:\\Users\\Alice\\no\\x", GENERIC_WRITE, 0, CREATE_ALWAYS, 0),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(LastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(fs.CreateFileW(u"C:\\Users\\Alice", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(LastError(), ERROR_ACCESS_DENIED);
}

TEST_F(FilesTest, HonoursSharingAcrossProcesses) {
  const std::u16string f = u"C:\\Users\\Alice\\Desktop\\x.lnk";
  ASSERT_TRUE(WriteWholeFile(fs, f, "lnk"));
  auto other = m.Start();
  HANDLE mine = fs.CreateFileW(f, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  ASSERT_NE(mine, INVALID_HANDLE_VALUE);
  // Another reader that shares reading may open it; a writer may not; nor may it be deleted.
  HANDLE reader = other->Files().CreateFileW(f, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             OPEN_EXISTING, 0);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(other->Files().CreateFileW(f, GENERIC_WRITE, 0, OPEN_EXISTING, 0),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(other->System().GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(other->Files().DeleteFileW(f));
  EXPECT_EQ(other->System().GetLastError(), ERROR_SHARING_VIOLATION);
  other->Files().CloseHandle(reader);
  fs.CloseHandle(mine);
  HANDLE writer = other->Files().CreateFileW(f, GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE);
  other->Files().CloseHandle(writer);
}

TEST_F(FilesTest, ListsFoldersWithWildcardsInNtfsOrder) {
  for (const char* n : {"b.lnk", "A.LNK", "c.txt", "Sub/d.lnk"})
    m.Put("C/Users/Alice/Desktop/" + std::string(n));
  const auto list = [&](std::u16string_view pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE h = fs.FindFirstFileW(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      names.push_back(U8(data.cFileName) +
                      ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "/" : ""));
    } while (fs.FindNextFileW(h, &data));
    EXPECT_EQ(LastError(), ERROR_NO_MORE_FILES);
    fs.FindClose(h);
    return names;
  };
  EXPECT_EQ(list(u"C:\\Users\\Alice\\Desktop\\*"),
            (std::vector<std::string>{"./", "../", "A.LNK", "b.lnk", "c.txt", "Sub/"}));
  EXPECT_EQ(list(u"c:\\users\\alice\\desktop\\*.lnk"),
            (std::vector<std::string>{"A.LNK", "b.lnk"}));
  EXPECT_EQ(list(u"C:\\Users\\Alice\\Desktop\\?.txt"), (std::vector<std::string>{"c.txt"}));
  EXPECT_EQ(list(u"C:\\Users\\Alice\\Desktop\\sub"), (std::vector<std::string>{"Sub/"}));
  EXPECT_TRUE(list(u"C:\\Users\\Alice\\Desktop\\*.exe").empty());
  EXPECT_EQ(LastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(list(u"C:\\Users\\Alice\\Nowhere\\*").empty());
  EXPECT_EQ(LastError(), ERROR_PATH_NOT_FOUND);
  // A drive root lists no "." and "..".
  const auto root = list(u"C:\\*");
  ASSERT_FALSE(root.empty());
  EXPECT_NE(root.front(), "./");
}

TEST_F(FilesTest, CreatesMovesCopiesAndRemoves) {
  EXPECT_EQ(fs.SHCreateDirectoryExW(u"C:\\Users\\Alice\\a\\b\\c"), ERROR_SUCCESS);
  EXPECT_EQ(fs.SHCreateDirectoryExW(u"c:\\users\\alice\\A\\B\\C"), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(fs.SHCreateDirectoryExW(u"relative\\x"), ERROR_BAD_PATHNAME);
  EXPECT_FALSE(fs.CreateDirectoryW(u"C:\\Users\\Alice\\x\\y"));
  EXPECT_EQ(LastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(fs.RemoveDirectoryW(u"C:\\Users\\Alice\\a"));
  EXPECT_EQ(LastError(), ERROR_DIR_NOT_EMPTY);

  const std::u16string src = u"C:\\Users\\Alice\\a\\f.txt";
  ASSERT_TRUE(WriteWholeFile(fs, src, "one"));
  ASSERT_TRUE(WriteWholeFile(fs, u"C:\\Users\\Alice\\a\\g.txt", "two"));
  EXPECT_FALSE(fs.MoveFileExW(src, u"C:\\Users\\Alice\\a\\g.txt", 0));
  EXPECT_EQ(LastError(), ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(fs.MoveFileExW(src, u"C:\\Users\\Alice\\a\\G.TXT", MOVEFILE_REPLACE_EXISTING));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(fs, u"C:\\Users\\Alice\\a\\g.txt", &bytes));
  EXPECT_EQ(bytes, "one");
  EXPECT_FALSE(fs.PathFileExistsW(src));
  // A rename that only changes the letter case keeps the file.
  ASSERT_TRUE(fs.MoveFileExW(u"C:\\Users\\Alice\\a\\g.txt", u"C:\\Users\\Alice\\a\\Big.txt", 0));
  ASSERT_TRUE(fs.MoveFileExW(u"C:\\Users\\Alice\\a\\big.txt", u"C:\\Users\\Alice\\a\\BIG.txt", 0));
  WIN32_FIND_DATAW data;
  HANDLE h = fs.FindFirstFileW(u"C:\\Users\\Alice\\a\\big.txt", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(U8(data.cFileName), "BIG.txt");
  fs.FindClose(h);
  // Other drives need MOVEFILE_COPY_ALLOWED (D: is a CD here, so use a second fixed drive).
  EXPECT_TRUE(fs.CopyFileW(u"C:\\Users\\Alice\\a\\BIG.txt", u"C:\\Users\\Alice\\copy.txt", 1));
  EXPECT_FALSE(fs.CopyFileW(u"C:\\Users\\Alice\\a\\BIG.txt", u"C:\\Users\\Alice\\copy.txt", 1));
  EXPECT_EQ(LastError(), ERROR_FILE_EXISTS);
  ASSERT_TRUE(ReadWholeFile(fs, u"C:\\Users\\Alice\\copy.txt", &bytes));
  EXPECT_EQ(bytes, "one");
  ASSERT_TRUE(fs.DeleteFileW(u"C:\\Users\\Alice\\a\\BIG.txt"));
  ASSERT_TRUE(fs.RemoveDirectoryW(u"C:\\Users\\Alice\\a\\b\\c"));
  EXPECT_FALSE(fs.DeleteFileW(u"C:\\Users\\Alice\\a\\b"));
  EXPECT_EQ(LastError(), ERROR_ACCESS_DENIED);
}

TEST_F(FilesTest, MakesTemporaryFileNames) {
  std::u16string temp;
  ASSERT_GT(fs.GetTempPathW(MAX_PATH, &temp), 0u);
  EXPECT_EQ(U8(temp), "C:\\Users\\Alice\\AppData\\Local\\Temp\\");
  std::u16string a, b;
  const UINT ua = fs.GetTempFileNameW(temp, u"KVtemp", 0, &a);
  const UINT ub = fs.GetTempFileNameW(temp, u"KVtemp", 0, &b);
  ASSERT_NE(ua, 0u);
  ASSERT_NE(ub, 0u);
  EXPECT_NE(a, b);
  EXPECT_TRUE(a.starts_with(temp + u"KVt"));
  EXPECT_TRUE(a.ends_with(u".tmp"));
  EXPECT_TRUE(fs.PathFileExistsW(a));
  std::u16string named;
  EXPECT_EQ(fs.GetTempFileNameW(u"C:\\Temp", u"KV", 0x1A2B, &named), 0x1A2Bu);
  EXPECT_EQ(U8(named), "C:\\Temp\\KV1A2B.tmp");
  EXPECT_EQ(fs.GetTempFileNameW(u"C:\\Nowhere", u"KV", 0, &named), 0u);
  std::u16string shortName;
  EXPECT_EQ(fs.GetShortPathNameW(a, MAX_PATH, &shortName), a.size());
  EXPECT_EQ(shortName, a);
  EXPECT_EQ(fs.GetShortPathNameW(u"C:\\missing.txt", MAX_PATH, &shortName), 0u);
}

TEST_F(FilesTest, OnlyAdministratorsWriteSystemFolders) {
  auto admin = m.Start(/*elevated=*/true);
  const std::u16string targets[] = {
      u"C:\\Windows\\x.ini", u"C:\\Program Files\\Vendor\\x.txt",
      u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\x.lnk"};
  for (const auto& t : targets) {
    EXPECT_FALSE(WriteWholeFile(fs, t, "x")) << U8(t);
    EXPECT_EQ(LastError(), t.find(u"Vendor") != std::u16string::npos ? ERROR_PATH_NOT_FOUND
                                                                     : ERROR_ACCESS_DENIED)
        << U8(t);
  }
  EXPECT_EQ(fs.SHCreateDirectoryExW(u"C:\\Program Files\\Vendor"), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(fs.DeleteFileW(u"C:\\Windows\\notepad.exe"));
  EXPECT_EQ(admin->Files().SHCreateDirectoryExW(u"C:\\Program Files\\Vendor"), ERROR_SUCCESS);
  for (const auto& t : targets) EXPECT_TRUE(WriteWholeFile(admin->Files(), t, "x")) << U8(t);
  EXPECT_TRUE(WriteWholeFile(fs, u"C:\\Users\\Alice\\AppData\\Roaming\\x.txt", "x"));
  EXPECT_TRUE(WriteWholeFile(fs, u"C:\\Windows\\Temp\\x.tmp", "x"));  // open to everyone
}

TEST_F(FilesTest, RecordsDelayedRenamesForTheNextBoot) {
  auto admin = m.Start(/*elevated=*/true, /*is64Bit=*/true);
  IFileSystem& afs = admin->Files();
  ASSERT_TRUE(WriteWholeFile(afs, u"C:\\Windows\\System32\\config\\new.sav", "new"));
  ASSERT_TRUE(WriteWholeFile(afs, u"C:\\Windows\\System32\\config\\gone.tmp", "x"));
  EXPECT_FALSE(
      fs.MoveFileExW(u"C:\\Windows\\System32\\config\\new.sav", u"", MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(LastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(afs.MoveFileExW(u"C:\\Windows\\System32\\config\\new.sav",
                              u"C:\\Windows\\System32\\config\\SOFTWARE.new",
                              MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
  ASSERT_TRUE(afs.MoveFileExW(u"C:\\Windows\\System32\\config\\gone.tmp", u"",
                              MOVEFILE_DELAY_UNTIL_REBOOT));
  // Nothing happens before the boot.
  EXPECT_TRUE(afs.PathFileExistsW(u"C:\\Windows\\System32\\config\\new.sav"));
  const auto pending = ReadPendingRenames(m.Dir());
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(U8(pending[0].to), "C:\\Windows\\System32\\config\\SOFTWARE.new");
  EXPECT_TRUE(pending[0].replaceExisting);
  EXPECT_TRUE(pending[1].to.empty());
  std::string error;
  EXPECT_TRUE(ApplyPendingRenames(m.Machine(), &error)) << error;
  EXPECT_FALSE(afs.PathFileExistsW(u"C:\\Windows\\System32\\config\\new.sav"));
  EXPECT_FALSE(afs.PathFileExistsW(u"C:\\Windows\\System32\\config\\gone.tmp"));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(afs, u"C:\\Windows\\System32\\config\\software.new", &bytes));
  EXPECT_EQ(bytes, "new");
  EXPECT_TRUE(ReadPendingRenames(m.Dir()).empty());
}

TEST(FilesDrives, AnswerDriveTypesDevicesAndMissingMedia) {
  TestMachine m("7", Arch::x64, [](MachineDescriptor& d) {
    d.drives.push_back({u'E', DriveType::Removable, "E", true});
    d.drives.push_back({u'Z', DriveType::Network, "Z", true});
    d.drives.push_back({u'F', DriveType::Fixed, "F", true});
  });
  std::filesystem::create_directories(m.Dir() / "Z" / "share");
  auto p = m.Start();
  IFileSystem& fs = p->Files();
  std::u16string drives;
  const DWORD len = fs.GetLogicalDriveStringsW(2048, &drives);
  EXPECT_EQ(drives, std::u16string(u"C:\\\0D:\\\0E:\\\0F:\\\0Z:\\\0\0", 21));
  EXPECT_EQ(len, 20u);
  EXPECT_EQ(fs.GetLogicalDriveStringsW(5, &drives), 21u);
  struct Case {
    const char16_t* root;
    UINT type;
    const char16_t* device;
  } cases[] = {{u"C:\\", DRIVE_FIXED, u"\\Device\\HarddiskVolume1"},
               {u"d:", DRIVE_CDROM, u"\\Device\\CdRom0"},
               {u"E:\\", DRIVE_REMOVABLE, u"\\Device\\Floppy0"},
               {u"F:/", DRIVE_FIXED, u"\\Device\\HarddiskVolume2"},
               {u"Z:\\", DRIVE_REMOTE, u"\\Device\\LanmanRedirector\\;Z:0"},
               {u"Q:\\", DRIVE_NO_ROOT_DIR, nullptr},
               {u"C:\\Windows\\", DRIVE_NO_ROOT_DIR, nullptr},
               {u"", DRIVE_FIXED, nullptr}};
  for (const auto& c : cases) {
    EXPECT_EQ(fs.GetDriveTypeW(c.root), c.type) << U8(c.root);
    if (!c.device) continue;
    std::u16string target;
    std::u16string dev = std::u16string(c.root).substr(0, 2);
    const DWORD n = fs.QueryDosDeviceW(dev, MAX_PATH, &target);
    EXPECT_EQ(target, std::u16string(c.device) + std::u16string(2, u'\0')) << U8(c.root);
    EXPECT_EQ(n, target.size());
  }
  std::u16string target;
  EXPECT_EQ(fs.QueryDosDeviceW(u"C:", 5, &target), 0u);
  EXPECT_EQ(p->System().GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(fs.PathIsNetworkPathW(u"Z:\\share"));
  EXPECT_TRUE(fs.PathIsNetworkPathW(u"\\\\server\\share\\x"));
  EXPECT_FALSE(fs.PathIsNetworkPathW(u"C:\\Windows"));
  EXPECT_TRUE(fs.PathFileExistsW(u"z:\\SHARE"));

  // A drive without media answers "not ready".
  m.Machine().MutableDescriptor().drives[1].present = false;
  EXPECT_EQ(fs.GetFileAttributesW(u"D:\\setup.exe"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(p->System().GetLastError(), ERROR_NOT_READY);
}

TEST(FilesLayout, LaysOutEachVersionsFolders) {
  struct Case {
    const char* windows;
    Arch arch;
    std::vector<const char16_t*> present, absent;
  } cases[] = {
      {"xp",
       Arch::x86,
       {u"C:\\WINDOWS\\system32\\shell32.dll", u"C:\\boot.ini",
        u"C:\\Documents and Settings\\Alice\\Start Menu\\Programs",
        u"C:\\Documents and Settings\\Alice\\Application Data\\Microsoft\\Internet Explorer\\Quick "
        u"Launch",
        u"C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Accessories\\Notepad.lnk",
        u"C:\\Documents and Settings\\Alice\\Local Settings\\Temp", u"C:\\RECYCLER",
        u"C:\\WINDOWS\\Fonts\\arial.ttf", u"C:\\WINDOWS\\Help", u"C:\\WINDOWS\\inf",
        u"C:\\Documents and Settings\\Alice\\NetHood"},
       {u"C:\\WINDOWS\\SysWOW64", u"C:\\Program Files (x86)", u"C:\\WINDOWS\\Fonts\\segoeui.ttf"}},
      {"7",
       Arch::x64,
       {u"C:\\Windows\\SysWOW64\\shell32.dll", u"C:\\Windows\\SysWOW64\\regedit.exe",
        u"C:\\Program Files (x86)\\Common Files", u"C:\\Windows\\Fonts\\segoeui.ttf",
        u"C:\\Users\\Alice\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
        u"C:\\Users\\Alice\\AppData\\Roaming\\Microsoft\\Windows\\SendTo",
        u"C:\\Users\\Alice\\AppData\\Roaming\\Microsoft\\Windows\\Recent",
        u"C:\\Users\\Alice\\AppData\\Local\\Temp",
        u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", u"C:\\Users\\Public\\Desktop",
        u"C:\\$Recycle.Bin", u"C:\\Windows\\System32\\drivers\\etc\\hosts"},
       {u"C:\\Windows\\SysWOW64\\ntoskrnl.exe", u"C:\\boot.ini"}},
  };
  for (const auto& c : cases) {
    TestMachine m(c.windows, c.arch);
    auto p = m.Start(false, /*is64Bit=*/c.arch == Arch::x64);
    for (auto path : c.present)
      EXPECT_TRUE(p->Files().PathFileExistsW(path)) << c.windows << " " << U8(path);
    for (auto path : c.absent)
      EXPECT_FALSE(p->Files().PathFileExistsW(path)) << c.windows << " " << U8(path);
  }
}

}  // namespace
}  // namespace bc::platform::sim
