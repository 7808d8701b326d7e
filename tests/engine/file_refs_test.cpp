// File-reference validation against a small simulated machine: its files are host files under
// the machine's drive folders.
#include "engine/file_refs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/text.h"
#include "engine/category.h"
#include "engine/context.h"
#include "engine/skip_lists.h"
#include "engine/stop_event.h"
#include "platform/files.h"
#include "platform/sim/descriptor.h"
#include "platform/sim/process.h"
#include "platform/system.h"
#include "tests/engine/counting_files.h"
#include "tests/platform/fixtures.h"

namespace bc::engine {
namespace {

namespace sim = platform::sim;

class ProbeCategory final : public CCategory {
 public:
  using CCategory::CCategory;
  int Scan() override { return 1; }
  int Prepare() override { return 1; }
};

struct MachineOptions {
  sim::Arch arch = sim::Arch::x86;
  std::vector<std::string> files{};  // host files below the machine folder ("C/Tools/x.exe")
  std::string reg{};                 // registry content
  std::function<void(sim::MachineDescriptor&)> adjust{};
};

// A Windows 7 machine in a temporary folder with a 32-bit process of its user, the scan thread's
// view of the file system (redirection off), and the engine objects under test. Besides the
// standard files it has C:\Program Files\Zebra\zebra.exe and zebra.dll, C:\Data\report.txt,
// and a CD in drive D:.
class Machine {
 public:
  explicit Machine(MachineOptions options = {})
      : fixture_(
            {.arch = options.arch, .reg = options.reg, .adjust = [&](sim::MachineDescriptor& d) {
               for (auto& drive : d.drives) {
                 if (drive.letter == u'D') drive.present = true;  // a disc in the CD drive
               }
               if (options.adjust) options.adjust(d);
             }}) {
    options.files.insert(options.files.end(),
                         {"C/Program Files/Zebra/zebra.exe", "C/Program Files/Zebra/zebra.dll",
                          "C/Data/report.txt"});
    for (const auto& relative : options.files) {
      const auto p = fixture_.Folder() / relative;
      std::filesystem::create_directories(p.parent_path());
      std::ofstream(p, std::ios::binary) << "x";
    }
    fixture_.Reopen();  // a fresh look at the folders
    process_ = fixture_.Start();
    platform_ = std::make_unique<test::CountingPlatform>(*process_);
    // The scan thread sees the real System32.
    platform::Wow64RedirectionValue old = nullptr;
    process_->System().Wow64DisableWow64FsRedirection(&old);
    ctx_ = std::make_unique<EngineContext>(*platform_, ReadSystemFacts(*platform_));
    category_ = std::make_unique<ProbeCategory>(*ctx_);
    category_->AttachStopEvent(&stop);
  }
  ~Machine() {
    category_.reset();
    ctx_.reset();
    platform_.reset();
    process_.reset();
  }

  // A fresh validator: an empty verdict cache.
  std::unique_ptr<CFileReferences> Validator() {
    return std::make_unique<CFileReferences>(*ctx_, skipLists_);
  }
  int Judge(std::u16string_view text, const FileCheckFlags& flags) {
    return Validator()->FileReferenceIsValid(*category_, text, flags);
  }

  const CCategory& Category() const { return *category_; }
  std::uint64_t FileCalls() const { return platform_->FileCalls(); }
  test::CountingFiles& Files() { return platform_->CountedFiles(); }
  ManualResetEvent stop;

 private:
  sim::testing::MachineFixture fixture_;
  std::unique_ptr<sim::SimProcess> process_;
  std::unique_ptr<test::CountingPlatform> platform_;
  std::unique_ptr<EngineContext> ctx_;
  std::unique_ptr<ProbeCategory> category_;
  CSkipLists skipLists_;
};

// The verdict of each text under each flag combination the categories use: most categories,
// application paths and help files, fonts, uninstall commands, and their retry.
TEST(FileReferenceIsValid, VerdictsUnderEachFlagCombination) {
  Machine m;
  struct Row {
    std::u16string_view text;
    int common, plain, fonts, command, retry;
  };
  const Row rows[] = {
      // Too short to mean anything, or relative to an unknown folder.
      {u"abc", 1, 1, 1, 1, 1},
      {u".\\gone.dll", 1, 1, 1, 1, 1},
      // Resource references: shell32 with a negative resource, the "@%SystemRoot%" form.
      {u"C:\\Windows\\system32\\shell32.dll,-153", 1, 1, 1, 1, 1},
      {u"@%SystemRoot%\\system32\\shell32.dll,-21787", 1, 1, 1, 1, 1},
      {u"@%SystemRoot%\\system32\\gone.dll,-5", 0, 0, 0, 0, 0},
      // URLs: only file:// and res:// name files.
      {u"http://www.example.com/gone.exe", 1, 1, 1, 1, 1},
      {u"mailto://zebra", 1, 1, 1, 1, 1},
      {u"file:///C:/Data/report.txt", 1, 1, 1, 1, 1},
      {u"file:///C:/Data/gone.txt", 0, 0, 0, 0, 0},
      {u"res://C:\\Windows\\system32\\gone.dll/page.htm", 0, 0, 0, 0, 0},
      // A removed program followed by a switch; the same for one that is there.
      {u"%ProgramFiles%\\Gone\\gone.exe /s", 0, 0, 0, 0, 0},
      {u"%ProgramFiles%\\Zebra\\zebra.exe /s", 1, 1, 1, 1, 1},
      {u"C:\\Program Files\\Zebra\\zebra.exe -min", 1, 1, 1, 1, 1},
      // Quoted commands.
      {u"\"C:\\Program Files\\Zebra\\zebra.exe\" /min", 1, 1, 1, 1, 1},
      {u"\"C:\\Program Files\\Gone\\gone.exe\" /min", 0, 0, 0, 0, 0},
      {u"\"C:\\Program Files\\Zebra\\zebra.exe\" \"C:\\Data\\report.txt\"", 1, 1, 1, 1, 1},
      // A quoted argument naming a missing file counts only for command lines.
      {u"\"C:\\Program Files\\Zebra\\zebra.exe\" \"C:\\Data\\gone.txt\"", 1, 1, 1, 0, 0},
      // An argument path that is missing; an unbalanced quote cannot be understood.
      {u"C:\\Windows\\notepad.exe C:\\Data\\gone.txt", 1, 1, 1, 0, 0},
      {u"\"C:\\Program Files\\Gone\\gone.exe /min", 1, 1, 1, 1, 1},
      // rundll32 forms. A bare DLL name with its entry point is found on the path only once
      // the entry point is cut off, which command lines do not do (their retry in the system
      // directory finds rundll32.exe itself).
      {u"rundll32.exe shell32.dll,Control_RunDLL", 1, 1, 1, 0, 0},
      {u"\"rundll32.exe\" C:\\Windows\\system32\\shell32.dll,Control_RunDLL", 1, 1, 1, 1, 1},
      {u"rundll32.exe C:\\Windows\\system32\\gone.dll,Entry", 0, 0, 0, 0, 0},
      {u"rundll32 C:\\Windows\\system32\\shell32.dll,Control_RunDLL C:\\Data\\report.txt", 1, 1, 1,
       1, 1},
      // The file after the entry point rescues a missing DLL.
      {u"rundll32.exe C:\\Gone\\gone.dll,Run C:\\Data\\report.txt", 1, 1, 1, 1, 1},
      {u"%SystemRoot%\\system32\\rundll32.exe C:\\Gone\\gone.dll,Run", 1, 1, 1, 0, 0},
      // Assembly identities.
      {u"Microsoft.VC80.CRT,version=\"8.0.50727.42\",type=\"win32\","
       u"processorArchitecture=\"x86\",publicKeyToken=\"1fc8b3b9a1e18e3b\"",
       1, 1, 1, 1, 1},
      {u"zebra, version=1.0, type=win32", 1, 1, 1, 1, 1},
      {u"C:\\Gone\\zebra.dll version=1 type=2", 0, 0, 0, 0, 0},
      // Wildcards.
      {u"C:\\Data\\*", 1, 1, 1, 1, 1},
      {u"C:\\Gone\\*", 0, 0, 0, 0, 0},
      {u"C:\\Gone\\*\\x.dll", 1, 1, 1, 1, 1},
      {u"C:\\Gone\\*.tmp", 1, 0, 0, 1, 1},
      {u"C:\\Gone\\x?.dll", 1, 1, 1, 1, 1},
      // Environment variables.
      {u"%ProgramFiles%\\Zebra\\zebra.dll", 1, 1, 1, 1, 1},
      {u"%ProgramFiles%\\Gone\\gone.dll", 0, 0, 0, 0, 0},
      // Bare names: on the search path, or nowhere.
      {u"notepad.exe", 1, 1, 1, 1, 1},
      {u"gonepad.exe", 0, 0, 0, 0, 0},
      {u"system32\\gonepad.exe", 0, 0, 0, 0, 0},
      {u"\\Windows\\system32\\gonepad.exe", 1, 1, 1, 1, 1},  // two folders: not understood
      // The file skip list and the skipped folders exempt texts from testing.
      {u"C:\\boot.ini", 1, 0, 0, 1, 1},
      {u"C:\\Program Files\\Microsoft Office\\gone.exe", 1, 0, 0, 1, 1},
      // A list of paths.
      {u"C:\\Gone\\a.dll;C:\\Gone\\b.dll", 1, 1, 1, 1, 1},
      // Network paths are accepted unless the caller asks for them to be tested.
      {u"\\\\server\\share\\readme.txt", 1, 1, 1, 0, 1},
      // A program file named below two folders without a drive is accepted untested.
      {u"\\\\server\\share\\gone.dll", 1, 1, 1, 1, 1},
      // A removable or CD drive is not tested while the setting is on.
      {u"D:\\Setup\\gone.exe", 1, 1, 1, 1, 1},
      // Missing folders and files without program extensions.
      {u"C:\\Gone\\readme.txt", 0, 0, 0, 0, 0},
      {u"C:\\Data", 1, 1, 1, 1, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Utf16ToUtf8(r.text));
    EXPECT_EQ(m.Judge(r.text, kCheckCommon), r.common) << "common";
    EXPECT_EQ(m.Judge(r.text, kCheckPlain), r.plain) << "plain";
    EXPECT_EQ(m.Judge(r.text, kCheckNothingSkipped), r.fonts) << "fonts";
    EXPECT_EQ(m.Judge(r.text, kCheckCommand), r.command) << "command";
    EXPECT_EQ(m.Judge(r.text, kCheckCommandRetry), r.retry) << "retry";
  }
}

TEST(FileReferenceIsValid, LongTextsAreTestedOnlyWhenTheyLookLikeDeepPaths) {
  Machine m;
  const std::u16string plain(300, u'x');
  EXPECT_EQ(m.Judge(u"C:\\Gone\\" + plain + u".dll", kCheckPlain), 1);  // 261-1039: accepted
  const std::u16string huge(1100, u'x');
  EXPECT_EQ(m.Judge(huge, kCheckPlain), 1);                      // no folder at all
  EXPECT_EQ(m.Judge(u"C:\\" + huge + u".dll", kCheckPlain), 1);  // no second backslash
  EXPECT_EQ(m.Judge(u"C:\\Gone\\Deeper\\" + huge + u".dll", kCheckPlain), 0);
  EXPECT_EQ(m.Judge(u"C:\\Data\\report.txt " + huge + u"\\" + u"x", kCheckPlain), 1);
}

TEST(FileReferenceIsValid, CdDrivesAreTestedWhenTheRemovableMediaSettingIsOff) {
  Machine m({.files = {"D/Setup/setup.exe"}});
  auto v = m.Validator();
  bool setting = false;
  v->removableMediaSetting = [&] { return setting; };
  EXPECT_EQ(v->FileReferenceIsValid(m.Category(), u"D:\\Setup\\gone.exe", kCheckCommon), 0);
  EXPECT_EQ(v->FileReferenceIsValid(m.Category(), u"D:\\Setup\\setup.exe", kCheckCommon), 1);
  setting = true;
  EXPECT_EQ(v->FileReferenceIsValid(m.Category(), u"D:\\Setup\\gone.exe", kCheckCommon), 1);
}

TEST(FileReferenceIsValid, SeesBothViewsOf64BitWindows) {
  Machine m({.arch = sim::Arch::x64,
             .files = {"C/Windows/SysWOW64/only32.dll", "C/Windows/System32/only64.dll",
                       "C/Program Files (x86)/Zebra32/z32.dll"}});
  // A System32 path to a file that exists only in SysWOW64, and the other way round.
  EXPECT_EQ(m.Judge(u"C:\\Windows\\System32\\only32.dll", kCheckCommon), 1);
  EXPECT_EQ(m.Judge(u"%SystemRoot%\\SysWOW64\\only64.dll", kCheckCommon), 1);
  EXPECT_EQ(m.Judge(u"C:\\Windows\\System32\\nowhere.dll", kCheckCommon), 0);
  // The in-process server check of the native pass swaps the program folders instead.
  EXPECT_EQ(m.Judge(u"C:\\Program Files\\Zebra32\\z32.dll", kCheckInprocServerNative), 1);
  EXPECT_EQ(m.Judge(u"C:\\Program Files\\Zebra32\\z32.dll", kCheckCommon), 0);
  EXPECT_EQ(m.Judge(u"C:\\Windows\\System32\\only32.dll", kCheckInprocServerNative), 0);
  // A bare name found only in the 32-bit system directory.
  EXPECT_EQ(m.Judge(u"only32.dll", kCheckCommon), 1);
}

TEST(FileReferenceIsValid, ProtectedFilesArePresentEvenWhenMissing) {
  Machine m({.adjust = [](sim::MachineDescriptor& d) {
    d.protectedFiles = std::vector<std::u16string>{u"C:\\Windows\\system32\\wfpgone.dll"};
  }});
  EXPECT_EQ(m.Judge(u"C:\\Windows\\system32\\wfpgone.dll", kCheckCommon), 1);
  EXPECT_EQ(m.Judge(u"wfpgone.dll", kCheckCommon), 1);
  EXPECT_EQ(m.Judge(u"C:\\Windows\\system32\\gone.dll", kCheckCommon), 0);
}

TEST(FileReferenceIsValid, AppPathsNameProgramsThatAreNowhereElse) {
  Machine m({.files = {"C/Tools/zt.exe"}, .reg = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\zt.exe]
@="\"C:\\Tools\\zt.exe\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\ztpath.exe]
"Path"="%SystemDrive%\\Tools;"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\ztgone.exe]
@="C:\\Tools\\ztgone.exe"
)"});
  auto v = m.Validator();
  EXPECT_TRUE(v->AppPathsKnows(u"zt.exe"));
  EXPECT_TRUE(v->AppPathsKnows(u"ZTPATH.EXE"));
  EXPECT_FALSE(v->AppPathsKnows(u"ztgone.exe"));
  EXPECT_FALSE(v->AppPathsKnows(u"unlisted.exe"));
  EXPECT_EQ(m.Judge(u"zt.exe", kCheckCommon), 1);
  EXPECT_EQ(m.Judge(u"ztgone.exe -x", kCheckCommon), 0);
}

TEST(FileReferenceIsValid, AcceptedTextsAreAnsweredFromTheCacheAlone) {
  Machine m;
  auto v = m.Validator();
  const std::u16string_view accepted = u"\"C:\\Program Files\\Zebra\\zebra.exe\" /min";
  const std::u16string_view missing = u"C:\\Program Files\\Gone\\gone.exe";
  ASSERT_EQ(v->FileReferenceIsValid(m.Category(), accepted, kCheckCommon), 1);
  ASSERT_EQ(v->FileReferenceIsValid(m.Category(), missing, kCheckCommon), 0);
  EXPECT_EQ(v->CachedVerdictCount(), 1u);

  const auto before = m.FileCalls();
  EXPECT_EQ(v->FileReferenceIsValid(m.Category(), accepted, kCheckCommon), 1);
  // The cache is keyed by the text alone: the flags do not matter once it is accepted.
  EXPECT_EQ(v->FileReferenceIsValid(m.Category(), accepted, kCheckNothingSkipped), 1);
  EXPECT_EQ(m.FileCalls(), before);

  // A text judged missing is judged again.
  EXPECT_EQ(v->FileReferenceIsValid(m.Category(), missing, kCheckCommon), 0);
  EXPECT_GT(m.FileCalls(), before);
  // Exact text only: another letter case is another text.
  const auto again = m.FileCalls();
  EXPECT_EQ(v->FileReferenceIsValid(m.Category(), u"\"C:\\PROGRAM FILES\\Zebra\\zebra.exe\" /min",
                                    kCheckCommon),
            1);
  EXPECT_GT(m.FileCalls(), again);
}

TEST(FileReferenceIsValid, AStopRequestAnswersPresentWithoutRememberingIt) {
  Machine m;
  auto v = m.Validator();
  m.stop.Set();
  EXPECT_EQ(v->FileReferenceIsValid(m.Category(), u"C:\\Gone\\gone.dll", kCheckCommon), 1);
  EXPECT_EQ(
      v->FileReferenceIsValid(m.Category(), u"rundll32.exe C:\\Gone\\gone.dll,Run", kCheckCommon),
      1);
  EXPECT_EQ(v->CachedVerdictCount(), 0u);
  m.stop.Reset();
  EXPECT_EQ(v->FileReferenceIsValid(m.Category(), u"C:\\Gone\\gone.dll", kCheckCommon), 0);
  EXPECT_EQ(
      v->FileReferenceIsValid(m.Category(), u"rundll32.exe C:\\Gone\\gone.dll,Run", kCheckCommon),
      0);
}

TEST(FileReferenceIsValid, AFailureWhileJudgingAccepts) {
  Machine m;
  auto v = m.Validator();
  const std::u16string_view text = u"C:\\Gone\\gone.dll";
  const auto start = m.FileCalls();
  m.Files().onCall = [&] {
    if (m.FileCalls() > start + 2) throw std::bad_alloc();
  };
  EXPECT_EQ(v->FileReferenceIsValid(m.Category(), text, kCheckCommon), 1);
  m.Files().onCall = nullptr;
  EXPECT_EQ(v->CachedVerdictCount(), 1u);
  EXPECT_EQ(m.Judge(text, kCheckCommon), 0);  // judged without the failure
}

TEST(FileReferenceIsValid, HostileRundllChainsEnd) {
  Machine m;
  std::u16string text;
  for (int i = 0; i < 200; ++i) text += u"rundll32 ";
  text += u"C:\\Gone\\gone.dll,Run";
  // Nested calls are not followed without end, yet the last tail still names the missing DLL.
  EXPECT_EQ(m.Judge(text, kCheckCommon), 0);
  EXPECT_EQ(m.Judge(text + u" C:\\Data\\report.txt", kCheckCommon), 1);  // rescued
  EXPECT_EQ(m.Judge(u"rundll32 rundll32 C:\\Gone\\gone.dll,Run", kCheckCommon), 0);
}

TEST(FileExists, FindsFilesEmbeddedInLongerTexts) {
  Machine m;
  auto v = m.Validator();
  EXPECT_EQ(v->FileExists(u""), 1);
  EXPECT_EQ(v->FileExists(u"C:\\Data\\report.txt"), 1);
  EXPECT_EQ(v->FileExists(u"C:\\Data"), 0);
  EXPECT_EQ(v->FileExists(u"C:\\Data\\gone.txt"), -1);
  EXPECT_EQ(v->FindEmbeddedFile(u"open=c:\\data\\report.txt,1 -x"), 1);
  EXPECT_EQ(v->FindEmbeddedFile(u"x c:\\data"), 0);
  EXPECT_EQ(v->FindEmbeddedFile(u"c:\\program files\\zebra\\zebra.exe /s /t c:\\gone"), 1);
  EXPECT_EQ(v->FindEmbeddedFile(u"no drive at all"), -1);
  EXPECT_EQ(v->FindEmbeddedFile(u"c:\\gone\\deeper\\x.exe -x"), -1);
  // Names longer than a file name can be, or below missing folders, are not asked about.
  const auto before = m.FileCalls();
  EXPECT_EQ(v->FindEmbeddedFile(u"c:\\data\\report.txt" + std::u16string(20000, u'x')), 1);
  EXPECT_EQ(v->FindEmbeddedFile(u"c:\\gone\\" + std::u16string(20000, u'\\')), -1);
  EXPECT_LT(m.FileCalls() - before, 600u);
  EXPECT_TRUE(v->IsDirectory(u"C:\\Program Files"));
  EXPECT_FALSE(v->IsDirectory(u"C:\\Data\\report.txt"));
  EXPECT_EQ(v->DriveRoots(), (std::vector<std::u16string>{u"C:\\", u"D:\\"}));
}

TEST(IsSkippedFolder, MatchesTheFragmentsInAnyCase) {
  Machine m;
  auto v = m.Validator();
  EXPECT_TRUE(v->IsSkippedFolder(u"C:\\Program Files\\Common Files\\Adobe\\x.dll"));
  EXPECT_TRUE(v->IsSkippedFolder(u"C:\\PROGRAM FILES\\COMMON FILES\\MICROSOFT SHARED\\x.dll"));
  EXPECT_TRUE(v->IsSkippedFolder(u"a:\\setup.exe"));
  EXPECT_TRUE(v->IsSkippedFolder(u"c:\\x|y"));
  EXPECT_FALSE(v->IsSkippedFolder(u"C:\\Program Files\\Zebra\\zebra.exe"));
}

TEST(ExtractFilePath, ExpandsEnvironmentVariablesLast) {
  Machine m;
  auto v = m.Validator();
  EXPECT_EQ(v->ExtractFilePath(u"\"%ProgramFiles%\\Zebra\\zebra.exe\" /s"),
            u"C:\\Program Files\\Zebra\\zebra.exe");
  EXPECT_EQ(v->ExtractFilePath(u"%NoSuchVariable%\\x.exe"), u"%NoSuchVariable%\\x.exe");
}

TEST(ExtractFilePath, TurnsCommandsIntoThePathTheyStart) {
  struct Case {
    std::u16string_view command;
    std::u16string_view path;
  };
  for (const Case& c : {
           Case{u"  C:\\Windows\\notepad.exe %1  ", u"C:\\Windows\\notepad.exe"},
           Case{u"\"C:\\Program Files\\Zebra\\z.exe\" \"%1\"", u"C:\\Program Files\\Zebra\\z.exe"},
           Case{u"\"\"C:\\Program Files\\Zebra\\z.exe\"", u"C:\\Program Files\\Zebra\\z.exe"},
           // The closing quote of a path without a program extension goes too.
           Case{u"\"C:\\Docs\\readme.txt\" \"%1\"", u"C:\\Docs\\readme.txt"},
           // Cut after the first program extension, in any letter case.
           Case{u"C:\\PROGRA~1\\APP\\APP.EXE C:\\DATA\\X", u"C:\\PROGRA~1\\APP\\APP.EXE"},
           Case{u"C:\\Windows\\system32\\shell32.dll,-153", u"C:\\Windows\\system32\\shell32.dll"},
           Case{u"C:\\x\\ctl.ocx, 2", u"C:\\x\\ctl.ocx"},
           // Switches.
           Case{u"C:\\Program Files\\Zebra\\setup.bat /uninstall",
                u"C:\\Program Files\\Zebra\\setup.bat"},
           // A resource index after the extension.
           Case{u"C:\\Icons\\zebra.ico,3", u"C:\\Icons\\zebra.ico"},
           Case{u"C:\\Icons,old\\zebra.ico", u"C:\\Icons,old\\zebra.ico"},
           // A blank after the last folder ends the path; blanks in folders do not.
           Case{u"C:\\Program Files\\Zebra\\run.cmd -q", u"C:\\Program Files\\Zebra\\run.cmd"},
           Case{u"zebra.cmd -q", u"zebra.cmd"},
           Case{u"C:\\Docs\\read me.txt", u"C:\\Docs\\read"},
           Case{u"", u""},
           Case{u"\"", u""},
       }) {
    EXPECT_EQ(Utf16ToUtf8(ExtractFilePathText(c.command)), Utf16ToUtf8(c.path))
        << Utf16ToUtf8(c.command);
  }
}

TEST(CutAfterExtension, CutsOnlyWhenTextFollowsAnExtensionPastTheStart) {
  struct Case {
    std::u16string_view ext;
    std::u16string_view path;
    bool cut;
    std::u16string_view result;
  };
  for (const Case& c : {
           Case{u".dll", u"c:\\x\\shell32.dll,-4", true, u"c:\\x\\shell32.dll"},
           Case{u".dll", u"C:\\X\\SHELL32.DLL,-4", true, u"C:\\X\\SHELL32.DLL"},
           Case{u".dll", u"c:\\x\\shell32.dll", false, u"c:\\x\\shell32.dll"},
           Case{u".exe", u".exe /s", false, u".exe /s"},
           Case{u".exe", u"c:\\a.exe\\b.exe -x", true, u"c:\\a.exe"},
           Case{u".sys", u"c:\\x\\y.dll", false, u"c:\\x\\y.dll"},
       }) {
    std::u16string path(c.path);
    EXPECT_EQ(CutAfterExtension(c.ext, path), c.cut) << Utf16ToUtf8(c.path);
    EXPECT_EQ(path, c.result);
  }
}

TEST(IsDeviceName, MatchesTheTwelveDevicesAtTheEndOnly) {
  EXPECT_TRUE(IsDeviceName(u"c:\\x\\con"));
  EXPECT_TRUE(IsDeviceName(u"C:\\CLOCK$"));
  EXPECT_TRUE(IsDeviceName(u"c:\\lpt3"));
  EXPECT_FALSE(IsDeviceName(u"\\nul"));  // four characters
  EXPECT_FALSE(IsDeviceName(u"c:\\console"));
  EXPECT_FALSE(IsDeviceName(u"c:\\com5"));
  EXPECT_FALSE(IsDeviceName(u"c:\\x\\auxiliary"));
}

}  // namespace
}  // namespace bc::engine
