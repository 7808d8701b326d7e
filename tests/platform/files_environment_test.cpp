// The environment, special folders and searching for programs as a process of a simulated machine
// sees them.
#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/sim/files_state.h"
#include "platform/system.h"
#include "tests/platform/files_machine.h"

namespace bc::platform::sim {
namespace {

using testing::TestMachine;

std::string U8(std::u16string_view s) {
  return Utf16ToUtf8(s);
}

std::string Expand(IFileSystem& fs, std::u16string_view text) {
  std::u16string out;
  fs.ExpandEnvironmentStringsW(text, 2048, &out);
  return U8(out);
}

TEST(Environment, ExpandsMachineUserAndWow64Variables) {
  struct Case {
    const char* windows;
    bool is64BitProcess;
    const char16_t* text;
    const char* expected;
  } cases[] = {
      {"7", false, u"%ProgramFiles%\\App", "C:\\Program Files (x86)\\App"},
      {"7", true, u"%ProgramFiles%\\App", "C:\\Program Files\\App"},
      {"7", false, u"%CommonProgramFiles%", "C:\\Program Files (x86)\\Common Files"},
      {"7", false, u"%ProgramW6432%", "C:\\Program Files"},
      {"7", false, u"%systemroot%\\System32\\shell32.dll", "C:\\Windows\\System32\\shell32.dll"},
      {"7", false, u"%APPDATA%", "C:\\Users\\Alice\\AppData\\Roaming"},
      {"7", false, u"%LocalAppData%", "C:\\Users\\Alice\\AppData\\Local"},
      {"7", false, u"%TEMP%|%tmp%",
       "C:\\Users\\Alice\\AppData\\Local\\Temp|C:\\Users\\Alice\\AppData\\Local\\Temp"},
      {"7", false, u"%HOMEDRIVE%%HOMEPATH%", "C:\\Users\\Alice"},
      {"7", false, u"%USERNAME%@%COMPUTERNAME%", "Alice@DEMO-PC"},
      {"7", false, u"%UNKNOWN%\\x", "%UNKNOWN%\\x"},
      {"7", false, u"%UNKNOWN%windir%", "%UNKNOWNC:\\Windows"},  // the closing % opens a name
      {"7", false, u"100% sure", "100% sure"},
      {"7", false, u"%%", "%%"},
      {"xp", false, u"%USERPROFILE%", "C:\\Documents and Settings\\Alice"},
      {"xp", false, u"%APPDATA%", "C:\\Documents and Settings\\Alice\\Application Data"},
      {"xp", false, u"%LOCALAPPDATA%", "%LOCALAPPDATA%"},  // XP has none
      {"xp", false, u"%TEMP%", "C:\\Documents and Settings\\Alice\\Local Settings\\Temp"},
      {"xp", false, u"%windir%", "C:\\WINDOWS"},
  };
  std::string last;
  std::unique_ptr<TestMachine> m;
  for (const auto& c : cases) {
    if (last != c.windows) {
      m.reset();
      m = std::make_unique<TestMachine>(c.windows, Arch::x64);
      last = c.windows;
    }
    auto p = m->Start(false, c.is64BitProcess);
    EXPECT_EQ(Expand(p->Files(), c.text), c.expected) << U8(c.text);
  }

  // Buffer rules: the size with NUL, nothing written when it does not fit.
  auto p = m->Start();
  std::u16string out;
  EXPECT_EQ(p->Files().ExpandEnvironmentStringsW(u"%windir%", 2048, &out), 11u);
  EXPECT_EQ(p->Files().ExpandEnvironmentStringsW(u"%windir%", 5, &out), 11u);
  EXPECT_TRUE(out.empty());
  // The process's own block can change, other processes keep theirs.
  const std::u16string value = u"C:\\Mine";
  ASSERT_TRUE(p->Files().SetEnvironmentVariableW(u"MyVar", &value));
  EXPECT_EQ(Expand(p->Files(), u"%MYVAR%"), "C:\\Mine");
  EXPECT_EQ(Expand(m->Start()->Files(), u"%MYVAR%"), "%MYVAR%");
  EXPECT_EQ(p->Files().GetEnvironmentVariableW(u"nothing", 10, &out), 0u);
  EXPECT_EQ(p->System().GetLastError(), ERROR_ENVVAR_NOT_FOUND);
}

TEST(SpecialFolders, FollowTheVersionsLayout) {
  struct Case {
    const char* windows;
    int csidl;
    const char* expected;  // nullptr: E_FAIL
  } cases[] = {
      {"7", CSIDL_APPDATA, "C:\\Users\\Alice\\AppData\\Roaming"},
      {"7", CSIDL_LOCAL_APPDATA, "C:\\Users\\Alice\\AppData\\Local"},
      {"7", CSIDL_PROGRAMS,
       "C:\\Users\\Alice\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
      {"7", CSIDL_COMMON_PROGRAMS, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
      {"7", CSIDL_RECENT, "C:\\Users\\Alice\\AppData\\Roaming\\Microsoft\\Windows\\Recent"},
      {"7", CSIDL_NETHOOD,
       "C:\\Users\\Alice\\AppData\\Roaming\\Microsoft\\Windows\\Network Shortcuts"},
      {"7", CSIDL_COMMON_DESKTOPDIRECTORY, "C:\\Users\\Public\\Desktop"},
      {"7", CSIDL_DESKTOP, "C:\\Users\\Alice\\Desktop"},
      {"7", CSIDL_FONTS, "C:\\Windows\\Fonts"},
      {"7", CSIDL_PROGRAM_FILES, "C:\\Program Files (x86)"},  // a 32-bit process
      {"7", CSIDL_PROGRAM_FILESX86, "C:\\Program Files (x86)"},
      {"7", CSIDL_SYSTEMX86, "C:\\Windows\\SysWOW64"},
      {"7", CSIDL_NETWORK, nullptr},
      {"xp", CSIDL_APPDATA, "C:\\Documents and Settings\\Alice\\Application Data"},
      {"xp", CSIDL_LOCAL_APPDATA,
       "C:\\Documents and Settings\\Alice\\Local Settings\\Application Data"},
      {"xp", CSIDL_PROGRAMS, "C:\\Documents and Settings\\Alice\\Start Menu\\Programs"},
      {"xp", CSIDL_COMMON_PROGRAMS, "C:\\Documents and Settings\\All Users\\Start Menu\\Programs"},
      {"xp", CSIDL_NETHOOD, "C:\\Documents and Settings\\Alice\\NetHood"},
      {"xp", CSIDL_COMMON_APPDATA, "C:\\Documents and Settings\\All Users\\Application Data"},
      {"xp", CSIDL_PROGRAM_FILES, "C:\\Program Files"},
  };
  std::unique_ptr<TestMachine> m;
  std::string last;
  for (const auto& c : cases) {
    if (last != c.windows) {
      m.reset();
      m = std::make_unique<TestMachine>(c.windows,
                                        c.windows == std::string("xp") ? Arch::x86 : Arch::x64);
      last = c.windows;
    }
    auto p = m->Start();
    std::u16string path;
    const HRESULT hr = p->Shell().SHGetFolderPathW(c.csidl, SHGFP_TYPE_CURRENT, &path);
    if (!c.expected) {
      EXPECT_EQ(hr, E_FAIL) << c.csidl;
      continue;
    }
    EXPECT_EQ(hr, S_OK) << c.windows << " " << c.csidl;
    EXPECT_EQ(U8(path), c.expected) << c.csidl;
  }
  auto p = m->Start();
  std::u16string path;
  EXPECT_EQ(p->Shell().SHGetFolderPathW(0x7F, 0, &path), E_INVALIDARG);
  // A missing folder fails unless asked to be created.
  std::filesystem::remove_all(m->Dir() / "C/Documents and Settings/Alice/Templates");
  m->Machine().Files().ForgetListings();
  EXPECT_EQ(p->Shell().SHGetFolderPathW(CSIDL_TEMPLATES, 0, &path), E_FAIL);
  EXPECT_EQ(p->Shell().SHGetFolderPathW(CSIDL_TEMPLATES | CSIDL_FLAG_CREATE, 0, &path), S_OK);
  EXPECT_TRUE(p->Files().PathFileExistsW(path));
  DWORD cch = 5;
  EXPECT_FALSE(p->Shell().GetProfilesDirectoryW(&path, &cch));
  EXPECT_EQ(cch, 26u);
  EXPECT_TRUE(p->Shell().GetProfilesDirectoryW(&path, &cch));
  EXPECT_EQ(U8(path), "C:\\Documents and Settings");
}

TEST(Searching, FindsProgramsWhereWindowsLooks) {
  TestMachine m("7", Arch::x64);
  m.Put("C/Program Files (x86)/App/helper.dll");
  m.Put("C/Tools/tool.exe");
  auto p = m.Start(false, false, u"", u"C:\\Program Files (x86)\\App\\app.exe");
  IFileSystem& fs = p->Files();
  std::u16string found;
  // SearchPathW: the program's folder first, then the system folders.
  EXPECT_GT(fs.SearchPathW({}, u"helper.dll", {}, MAX_PATH, &found), 0u);
  EXPECT_EQ(U8(found), "C:\\Program Files (x86)\\App\\helper.dll");
  EXPECT_GT(fs.SearchPathW({}, u"notepad", u".exe", MAX_PATH, &found), 0u);
  EXPECT_EQ(U8(found), "C:\\Windows\\system32\\notepad.exe");
  EXPECT_EQ(fs.SearchPathW({}, u"notepad", u".exe", 5, &found), 32u);  // the size needed
  EXPECT_GT(fs.SearchPathW(u"C:\\Nowhere;C:\\Tools", u"tool.exe", {}, MAX_PATH, &found), 0u);
  EXPECT_EQ(U8(found), "C:\\Tools\\tool.exe");
  EXPECT_EQ(fs.SearchPathW({}, u"absent.exe", {}, MAX_PATH, &found), 0u);
  EXPECT_EQ(p->System().GetLastError(), ERROR_FILE_NOT_FOUND);

  // PathFindOnPathW: bare names only; the system folders, then PATH; other folders first.
  std::u16string name = u"calc.exe";
  ASSERT_TRUE(fs.PathFindOnPathW(&name, nullptr));
  EXPECT_EQ(U8(name), "C:\\Windows\\system32\\calc.exe");
  name = u"explorer.exe";
  ASSERT_TRUE(fs.PathFindOnPathW(&name, nullptr));
  EXPECT_EQ(U8(name), "C:\\Windows\\explorer.exe");
  name = u"tool.exe";
  EXPECT_FALSE(fs.PathFindOnPathW(&name, nullptr));
  const std::vector<std::u16string> other = {u"C:\\Tools"};
  ASSERT_TRUE(fs.PathFindOnPathW(&name, &other));
  EXPECT_EQ(U8(name), "C:\\Tools\\tool.exe");
  name = u"C:\\Windows\\notepad.exe";
  EXPECT_FALSE(fs.PathFindOnPathW(&name, nullptr));
  EXPECT_EQ(U8(name), "C:\\Windows\\notepad.exe");

  // PathSearchAndQualifyW: a program found by name, otherwise the full path name.
  ASSERT_TRUE(fs.PathSearchAndQualifyW(u"notepad", &found, MAX_PATH));
  EXPECT_EQ(U8(found), "C:\\Windows\\system32\\notepad.exe");
  ASSERT_TRUE(fs.SetCurrentDirectoryW(u"C:\\Tools"));
  ASSERT_TRUE(fs.PathSearchAndQualifyW(u"sub/file.dll", &found, MAX_PATH));
  EXPECT_EQ(U8(found), "C:\\Tools\\sub\\file.dll");
}

}  // namespace
}  // namespace bc::platform::sim
