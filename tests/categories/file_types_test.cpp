// The file-types category on small simulated machines: one kind of finding per machine with the
// near misses around it, both walks of 64-bit Windows and the 32-bit Windows walk, the empty-key
// setting, access-denied keys, stopping and sorting.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "categories/file_types.h"
#include "engine/messages.h"
#include "tests/categories/category_fixture.h"
#include "tests/categories/file_types_fixture.h"

namespace bc::categories {
namespace {

using testing::Arch;
using testing::Finding;
using testing::FindingsOf;
using testing::FixtureMachine;
using testing::MachineOptions;
using testing::ScanSession;
using testing::Sorted;

constexpr const char* kRoot = "HKEY_CLASSES_ROOT\\";

Finding F(int type, std::string key, std::string data, std::vector<std::string> lines,
          int is32 = 0) {
  return {type, kRoot + key, "", std::move(data), is32, std::move(lines)};
}

// The same finding from the native walk and from the walk of the 32-bit view.
std::vector<Finding> Both(const Finding& f) {
  Finding wow = f;
  wow.is32 = 1;
  return {f, wow};
}

std::vector<Finding> Join(std::initializer_list<std::vector<Finding>> parts) {
  std::vector<Finding> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

constexpr const char* kApp = "C:\\Program Files\\Kept\\kept.exe";

// A freshly made machine's AppID key holds nothing yet; on a real one it never is empty.
constexpr const char* kBaseline = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AppID\{F0000001-0000-4000-8000-000000000001}]
@="Baseline service"
)";

struct Case {
  const char* name;
  const char* reg;
  std::vector<Finding> expected;
  std::vector<const char*> files = {};
  Arch arch = Arch::x64;
  std::string windows = "7";
  bool skipEmptyKeys = true;
  std::vector<const char*> deniedKeys = {};  // not writable by anyone
};

std::vector<Finding> ScanCase(const Case& c) {
  MachineOptions options;
  options.windows = c.windows;
  options.arch = c.arch;
  FixtureMachine machine(options);
  machine.Reg(kBaseline).Reg(c.reg);
  for (const char* file : c.files) machine.CreateFile(file);
  // Denied only after the set-up wrote them: processes started from now on see the denial.
  for (const char* key : c.deniedKeys) {
    machine.Machine().MutableDescriptor().deniedKeys.push_back(Utf8ToUtf16(key));
  }
  ScanSession session(machine);
  session.skipEmptyKeys = c.skipEmptyKeys;
  auto category = session.Make<CFileTypes>();
  EXPECT_EQ(category->Scan(), 1) << c.name;
  return FindingsOf(*category);
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"a fresh machine has no broken file types", "", {}},
      {"a fresh 32-bit machine has no broken file types", "", {}, {}, Arch::x86},
      {"a fresh Windows XP machine has no broken file types", "", {}, {}, Arch::x86, "xp"},

      {"extension naming a missing file type",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.abc]
@="abcfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.kpt]
@="keptfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\keptfile]
@="Kept"
)",
       Both(F(15, ".abc", "abcfile", {".ABC file (*.abc)", ".abc", "HKEY_CLASSES_ROOT\\abcfile"}))},
      {"a file type that only refuses writing is not missing",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.abc]
@="abcfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\abcfile]
@="Locked type"
)",
       {},
       {},
       Arch::x64,
       "7",
       true,
       {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\abcfile"}},
      {"an extension key that refuses writing is not examined",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.abc]
@="abcfile"
)",
       {},
       {},
       Arch::x64,
       "7",
       true,
       {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.abc"}},
      {"the user's own extension naming a missing file type",
       R"(
[HKEY_CURRENT_USER\Software\Classes\.mvw]
@="MistralViewer.Image"
)",
       Both(F(15, ".mvw", "MistralViewer.Image",
              {".MVW file (*.mvw)", ".mvw", "HKEY_CLASSES_ROOT\\MistralViewer.Image"}))},

      {"empty extension key, empty-key setting off",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.emp]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.emv]
@=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.emq]
"Content Type"="text/plain"
)",
       Both(F(16, ".emp", "", {".EMP file (*.emp)"})),
       {},
       Arch::x64,
       "7",
       false},
      {"empty extension key, empty-key setting on",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.emp]
)",
       {}},
      {"empty programmatic-identifier keys, empty-key setting off",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\emptyfile]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\blankdefault]
@=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\namedonly]
"EditFlags"=dword:00010000
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\withsubkey\CurVer]
@="withsubkey.2"
)",
       Join({Both(F(16, "emptyfile", "", {"EMPTYFILE"})),
             Both(F(16, "blankdefault", "", {"BLANKDEFAULT"}))}),
       {},
       Arch::x64,
       "7",
       false},
      {"empty programmatic-identifier key, empty-key setting on",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\emptyfile]
)",
       {}},

      // Both walks reach the same key text; the second one adds nothing.
      {"default icon naming a missing file, reported once",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\gonefile]
@="Gone Document"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\gonefile\DefaultIcon]
@="C:\\Program Files\\Gone\\gone.exe,1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\selffile\DefaultIcon]
@="%1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\keptfile\DefaultIcon]
@="\"C:\\Program Files\\Kept\\kept.exe\",3"
)",
       {F(17, "gonefile\\DefaultIcon", "C:\\Program Files\\Gone\\gone.exe,1", {"Gone Document"})},
       {kApp}},
      {"default icon naming a missing file on 32-bit Windows",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.gon]
@="gonefile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\gonefile]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\gonefile\DefaultIcon]
@="C:\\Program Files\\Gone\\gone.ico"
)",
       {F(17, "gonefile\\DefaultIcon", "C:\\Program Files\\Gone\\gone.ico", {"gonefile"})},
       {},
       Arch::x86},
      {"empty default icon",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\blankicon\DefaultIcon]
@=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.bla]
@="Blank Icon Type"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.bla\DefaultIcon]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Blank Icon Type]
)",
       Join({Both(F(18, "blankicon\\DefaultIcon", "", {"blankicon"})),
             Both(F(18, ".bla\\DefaultIcon", "", {"Blank Icon Type"}))})},

      {"file type naming a missing class",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\chartfile]
@="Chart"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\chartfile\CLSID]
@="{F1700001-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.chx]
@=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.chx\CLSID]
@="{F1700002-0000-4000-8000-000000000001"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\plainclass\CLSID]
@="not a class"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\only32\CLSID]
@="{F1700003-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{F1700003-0000-4000-8000-000000000001}]
@="32-bit only"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\only64\CLSID]
@="{F1700004-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{F1700004-0000-4000-8000-000000000001}]
@="64-bit only"
)",
       Join(
           {Both(F(19, "chartfile\\CLSID", "{F1700001-0000-4000-8000-000000000001}",
                   {"Chart", "HKEY_CLASSES_ROOT\\CLSID\\{F1700001-0000-4000-8000-000000000001}"})),
            Both(F(19, ".chx\\CLSID", "{F1700002-0000-4000-8000-000000000001",
                   {".chx", "HKEY_CLASSES_ROOT\\CLSID\\{F1700002-0000-4000-8000-000000000001"}))})},
      {"file type naming a missing class on 32-bit Windows",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\chartfile\CLSID]
@="{F1700001-0000-4000-8000-000000000001}"
)",
       {F(19, "chartfile\\CLSID", "{F1700001-0000-4000-8000-000000000001}",
          {"chartfile", "HKEY_CLASSES_ROOT\\CLSID\\{F1700001-0000-4000-8000-000000000001}"})},
       {},
       Arch::x86},

      {"context-menu handler naming a missing class",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\mboxfile\ShellEx\ContextMenuHandlers\Tumble]
@="{F1900001-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\mboxfile\ShellEx\ContextMenuHandlers\{F1900002-0000-4000-8000-000000000001}]
@="{F1900002-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\mboxfile\ShellEx\ContextMenuHandlers\Plain]
@="Tumble helper"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\mboxfile\ShellEx\ContextMenuHandlers\Present]
@="{F1900003-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{F1900003-0000-4000-8000-000000000001}]
@="Present handler"
)",
       Both(F(19, "mboxfile\\ShellEx\\ContextMenuHandlers\\Tumble",
              "{F1900001-0000-4000-8000-000000000001}",
              {"mboxfile", "HKEY_CLASSES_ROOT\\CLSID\\{F1900001-0000-4000-8000-000000000001}"}))},

      {"verb commands naming a missing program or empty",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\orvfile]
@="Orvanta Sheet"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\orvfile\shell\edit\command]
@="\"C:\\Program Files\\Orvanta\\orv.exe\" /e \"%1\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\orvfile\shell\preview\command]
@="  "
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\orvfile\shell\view\command]
@="\"C:\\Program Files\\Kept\\kept.exe\" /v \"%1\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\orvfile\shell\run\command]
@="\"%1\" %*"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\orvfile\shell\runquiet\command]
@="%1 /quiet"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\orvfile\shell\autoplay\command]
@="\"%1\\autorun.exe\" /play"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.orv]
@="orvfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.orv\shell\print\command]
@="C:\\Program Files\\Orvanta\\orvprint.exe /p %1"
)",
       Join(
           {Both(F(21, "orvfile\\shell\\edit\\command",
                   "\"C:\\Program Files\\Orvanta\\orv.exe\" /e \"%1\"", {"Orvanta Sheet", "Edit"})),
            Both(F(21, "orvfile\\shell\\preview\\command", "", {"Orvanta Sheet", "Preview"})),
            Both(F(21, ".orv\\shell\\print\\command",
                   "C:\\Program Files\\Orvanta\\orvprint.exe /p %1", {"orvfile", "Print"}))}),
       {kApp}},
      {"verb command keys that refuse writing are not examined",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\orvfile\shell\edit\command]
@="\"C:\\Program Files\\Orvanta\\orv.exe\" /e \"%1\""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\orvfile\shell\annotate]
)",
       {},
       {},
       Arch::x64,
       "7",
       false,
       {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\orvfile\\shell\\edit\\command",
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\orvfile\\shell\\annotate"}},
      {"a delegated verb is sound since Vista",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\lnkish\shell\runas\command]
@=""
"DelegateExecute"="{F2100001-0000-4000-8000-000000000001}"
)",
       {}},
      {"a delegated verb is an empty command on Windows XP",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\lnkish\shell\runas\command]
@=""
"DelegateExecute"="{F2100001-0000-4000-8000-000000000001}"
)",
       {F(21, "lnkish\\shell\\runas\\command", "", {"lnkish", "Runas"})},
       {},
       Arch::x86,
       "xp"},

      {"verbs without a command, empty-key setting off",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\notesfile]
@="Notes"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\notesfile\shell\annotate]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\notesfile\shell\oldtools]
"MUIVerb"="@C:\\Program Files\\Gone\\verbs.dll,-12"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\notesfile\shell\tools]
"MUIVerb"="@C:\\Program Files\\Kept\\kept.exe,-12"
"SubCommands"=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\notesfile\shell\send\DropTarget]
"CLSID"="{F2200001-0000-4000-8000-000000000001}"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\notesfile\shell\share\ddeexec]
@="[share(\"%1\")]"
)",
       Join({Both(F(22, "notesfile\\shell\\annotate", "", {"Notes", "Annotate", "Command"})),
             Both(F(22, "notesfile\\shell\\oldtools", "", {"Notes", "Oldtools", "Command"}))}),
       {kApp},
       Arch::x64,
       "7",
       false},
      {"verbs without a command, empty-key setting on",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\notesfile\shell\annotate]
)",
       {}},
      {"a display text longer than its buffer does not make a verb sound",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\notesfile\shell\long]
"MUIVerb"="Really long menu text Really long menu text Really long menu text Really long menu text Really long menu text Really long menu text Really long menu text Really long menu text Really long menu text Really long menu text Really long menu text Really long menu text Really"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\notesfile\shell\short]
"MUIVerb"="Short menu text"
)",
       Both(F(22, "notesfile\\shell\\long", "", {"notesfile", "Long", "Command"})),
       {},
       Arch::x64,
       "7",
       false},

      // 64-bit Windows: an extension's empty shell key goes to the empty-key check, a file
      // type's is left alone.
      {"shell keys without verbs",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.stb]
@="stubfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.stb\shell]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\stubfile\shell]
)",
       Join({{F(1, ".stb\\shell", "", {"<IDS_EMPTY_KEY>", "HKEY_CLASSES_ROOT\\.stb\\shell"}, 0),
              F(1, ".stb\\shell", "", {"<IDS_EMPTY_KEY>", "HKEY_CLASSES_ROOT\\.stb\\shell"}, 1)}}),
       {},
       Arch::x64,
       "7",
       false},
      {"a file type's shell key without verbs on 32-bit Windows",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\stubfile]
@="Stub"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\stubfile\shell]
)",
       {F(22, "stubfile\\shell", "", {"Stub", "shell", "shell1"})},
       {},
       Arch::x86},

      // 32-bit Windows also reports an empty class sub-key: a file type's always, an extension's
      // only when empty keys are checked.
      {"empty class sub-keys on 32-bit Windows, empty-key setting on",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\progfile\CLSID]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\namedclass\CLSID]
"Flags"="1"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.cls]
@="progfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.cls\CLSID]
)",
       {F(16, "progfile\\CLSID", "", {"PROGFILE"})},
       {},
       Arch::x86},
      {"empty class sub-keys on 32-bit Windows, empty-key setting off",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\progfile\CLSID]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.cls]
@="progfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.cls\CLSID]
@=""
)",
       {F(16, "progfile\\CLSID", "", {"PROGFILE"}), F(16, ".cls\\CLSID", "", {".CLS"})},
       {},
       Arch::x86,
       "7",
       false},
      {"empty class sub-keys are left alone on 64-bit Windows",
       R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\progfile\CLSID]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.cls]
@="progfile"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\.cls\CLSID]
)",
       {},
       {},
       Arch::x64,
       "7",
       false},
  };
  return cases;
}

TEST(FileTypes, FindsEachKindOfLeftoverOnItsOwnMachine) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Sorted(ScanCase(c)), Sorted(c.expected));
  }
}

// A context-menu handler key that cannot be opened at all.
TEST(FileTypes, UnreadableHandlerKey) {
  FixtureMachine machine;
  machine.Reg(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\mboxfile]
@="Mailbox"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\mboxfile\ShellEx\ContextMenuHandlers\Locked]
@="{F2000001-0000-4000-8000-000000000001}"
)");
  ScanSession session(machine);
  testing::UnreadableKeysScan scan(session, {u"mboxfile\\ShellEx\\ContextMenuHandlers\\Locked"});
  auto category = scan.Make<CFileTypes>();
  EXPECT_EQ(category->Scan(), 1);
  EXPECT_EQ(Sorted(FindingsOf(*category)),
            Sorted(Both(F(20, "mboxfile\\ShellEx\\ContextMenuHandlers\\Locked", "", {"Mailbox"}))));
}

// Empty default icons found in the order "Zulu", "Alpha", "Mike".
constexpr const char* kThreeLeftovers = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\aaafile]
@="Zulu"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\aaafile\DefaultIcon]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\bbbfile]
@="Alpha"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\bbbfile\DefaultIcon]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\cccfile]
@="Mike"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\cccfile\DefaultIcon]
)";

std::vector<std::string> Descriptions(const CFileTypes& category) {
  std::vector<std::string> out;
  for (const auto& p : category.Problems()) {
    out.push_back(Utf16ToUtf8(p->DisplayLine(0)) + (p->Is32BitEntry ? " (32)" : ""));
  }
  return out;
}

TEST(FileTypes, CompletedScanSortsByDescription) {
  FixtureMachine machine;
  machine.Reg(kThreeLeftovers);
  ScanSession session(machine);
  auto category = session.Make<CFileTypes>();
  EXPECT_EQ(category->Scan(), 1);
  std::vector<std::string> lines = Descriptions(*category);
  // Equal descriptions keep no fixed order.
  for (auto& line : lines) line = line.substr(0, line.find(' '));
  EXPECT_EQ(lines, (std::vector<std::string>{"Alpha", "Alpha", "Mike", "Mike", "Zulu", "Zulu"}));
}

TEST(FileTypes, StopDuringNativePassSkipsTheOtherViewAndTheSort) {
  FixtureMachine machine;
  machine.Reg(kThreeLeftovers);
  ScanSession session(machine);
  auto category = session.Make<CFileTypes>();
  int accepted = 0;
  session.onProblem = [&] {
    if (++accepted == 2) session.stopEvent.Set();
  };
  EXPECT_EQ(category->Scan(), CFileTypes::kStopped);
  EXPECT_EQ(Descriptions(*category), (std::vector<std::string>{"Zulu", "Alpha"}));
}

TEST(FileTypes, StopDuringTheOtherViewLeavesTheListUnsorted) {
  FixtureMachine machine;
  machine.Reg(kThreeLeftovers);
  ScanSession session(machine);
  auto category = session.Make<CFileTypes>();
  int accepted = 0;
  session.onProblem = [&] {
    if (++accepted == 4) session.stopEvent.Set();
  };
  EXPECT_EQ(category->Scan(), CFileTypes::kStopped);
  EXPECT_EQ(Descriptions(*category),
            (std::vector<std::string>{"Zulu", "Alpha", "Mike", "Zulu (32)"}));
}

class StatusRecorder : public engine::IMessageTarget {
 public:
  explicit StatusRecorder(const engine::EngineContext& ctx) : ctx_(ctx) {}
  void Send(std::uint32_t, std::uintptr_t, std::intptr_t) override {}
  void Post(std::uint32_t msg, std::uintptr_t, std::intptr_t) override {
    if (msg == engine::kMsgStatusText) texts.push_back(Utf16ToUtf8(ctx_.CopyStatusText()));
  }
  std::vector<std::string> texts;

 private:
  const engine::EngineContext& ctx_;
};

TEST(FileTypes, StatusLineNamesTheTypeName) {
  std::string reg;
  for (int i = 0; i < 40; ++i) {
    reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.k" + std::to_string(100 + i) + "]\n";
    reg += "@=\"Kept.Type\"\n";
  }
  reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Kept.Type]\n@=\"Kept\"\n";
  FixtureMachine machine;
  machine.Reg(reg);
  ScanSession session(machine);
  StatusRecorder recorder(session.Context());
  session.Context().SetMainWindow(&recorder);
  auto category = session.Make<CFileTypes>();
  EXPECT_EQ(category->Scan(), 1);
  EXPECT_EQ(category->ProblemCount(), 0u);
  // Two walks over more than 40 names: at least three status lines, each naming a type.
  ASSERT_GE(recorder.texts.size(), 3u);
  for (const std::string& text : recorder.texts) {
    EXPECT_TRUE(text.starts_with("FILE TYPE: ")) << text;
    EXPECT_EQ(text, Utf16ToUtf8(ToUpper(Utf8ToUtf16(text)))) << text;
  }
}

// The file types of the demo machine's recipe, on a machine of their own, give exactly the
// findings its expected list names (the lines marked "#+" only with empty keys checked).
std::filesystem::path DemoFolder() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "machines" /
         "demo";
}

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> ExpectedDemoFindings(bool withEmptyKeys) {
  std::vector<std::string> out;
  for (std::string line : ReadLines(DemoFolder() / "expected-filetypes.tsv")) {
    if (line.starts_with("#+") && withEmptyKeys) {
      line.erase(0, 2);
    } else if (line.empty() || line.starts_with("#")) {
      continue;
    }
    out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(FileTypes, DemoRecipeGivesItsExpectedFindings) {
  std::string reg;
  for (const std::string& line : ReadLines(DemoFolder() / "30-filetypes.reg")) {
    if (line.starts_with("Windows Registry Editor")) continue;
    reg += line + "\n";
  }
  ASSERT_FALSE(reg.empty());
  FixtureMachine machine;
  machine.Reg(kBaseline).Reg(reg);
  for (const std::string& line : ReadLines(DemoFolder() / "files-filetypes.txt")) {
    if (!line.empty() && !line.starts_with("#")) machine.CreateFile(line);
  }
  for (bool withEmptyKeys : {false, true}) {
    SCOPED_TRACE(withEmptyKeys ? "empty keys checked" : "empty keys skipped");
    ScanSession session(machine);
    session.skipEmptyKeys = !withEmptyKeys;
    auto category = session.Make<CFileTypes>();
    EXPECT_EQ(category->Scan(), 1);
    std::vector<std::string> found;
    for (const auto& p : category->Problems()) {
      found.push_back("0x0004\t" + std::to_string(p->EntryType) + "\t" + Utf16ToUtf8(p->Key) +
                      "\t" + Utf16ToUtf8(p->ValueName) + "\t" + std::to_string(p->Is32BitEntry));
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, ExpectedDemoFindings(withEmptyKeys));
  }
}

}  // namespace
}  // namespace bc::categories
