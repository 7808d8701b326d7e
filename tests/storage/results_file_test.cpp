#include "storage/results_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/category.h"
#include "engine/context.h"
#include "engine/scan_controller.h"
#include "storage/settings.h"
#include "tests/engine/mem_files.h"
#include "tests/engine/mem_registry.h"

namespace bc::storage {
namespace {

using engine::CCategory;
using engine::CProblem;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using Bytes = std::vector<std::uint8_t>;

constexpr std::u16string_view kFolder = u"C:\\Users\\u\\AppData\\Roaming\\Tessaly Works";
const std::u16string kPath = std::u16string(kFolder) + u"\\results.dvn";

class PlainCategory : public CCategory {
 public:
  using CCategory::CCategory;
  int Scan() override { return 0; }
  int Prepare() override { return 1; }
};

// One run of the program on a machine: registry and files survive from run to run.
struct Machine {
  explicit Machine(bool wow64 = false) : reg(wow64) {}
  test::MemRegistry reg;
  test::MemFiles files;
};

struct ProgramRun {
  explicit ProgramRun(Machine& m, bool wow64 = false)
      : platform(m.reg, m.files), ctx(platform, Facts(wow64)), controller(ctx), settings(m.reg) {
    ctx.hooks.createCategory = [](std::uint32_t, engine::EngineContext& c) {
      return std::make_unique<PlainCategory>(c);
    };
    ctx.hooks.writeLogLine = [this](std::u16string_view line) { log.emplace_back(line); };
    controller.CreateCategories(engine::kAllCategories, engine::kCategoryCount);
  }
  static engine::SystemFacts Facts(bool wow64) {
    engine::SystemFacts f;
    f.wow64 = wow64;
    return f;
  }
  // Adds a problem to a category directly, as a finished scan leaves it.
  CProblem& Add(std::uint32_t bit, std::int32_t type, std::u16string key, std::u16string name = {},
                std::u16string data = {}, std::int32_t is32 = 0) {
    auto p = std::make_unique<CProblem>();
    p->EntryType = type;
    p->Key = std::move(key);
    p->ValueName = std::move(name);
    p->ValueData = std::move(data);
    p->Is32BitEntry = is32;
    CProblem& ref = *p;
    controller.GetCategory(bit)->AdoptProblem(std::move(p));
    return ref;
  }
  std::vector<std::u16string> Keys(std::uint32_t bit) const {
    std::vector<std::u16string> keys;
    if (const CCategory* c = controller.GetCategory(bit)) {
      for (const auto& p : c->Problems()) keys.push_back(p->Key);
    }
    return keys;
  }
  test::MemPlatform platform;
  engine::EngineContext ctx;
  engine::CScanController controller;
  CSettings settings;
  std::vector<std::u16string> log;
};

TEST(ResultsFile, NoProblemsMakeSixtyZeroBytes) {
  Machine m;
  ProgramRun run(m);
  SaveProblemsToDisk(run.controller, kFolder);
  EXPECT_EQ(m.files.Get(kPath), Bytes(60, 0));

  // No category objects at all: the same fourteen empty blocks.
  run.controller.DeleteCategories();
  SaveProblemsToDisk(run.controller, kFolder);
  EXPECT_EQ(m.files.Get(kPath), Bytes(60, 0));
}

TEST(ResultsFile, RecordLayout) {
  Machine m;
  ProgramRun run(m);
  CProblem& p = run.Add(0x0002, 13, u"K", u"", u"d");
  p.DisplayTexts = {u"L"};
  p.Selected = 0;
  const Bytes bytes = EncodeResultsFile(run.controller);
  const Bytes expected = {
      1,    0,    0,    0,          // total
      0,    0,    0,    0,          // bit 0x0001
      1,    0,    0,    0,          // bit 0x0002
      13,   0,    0,    0,          // EntryType
      0,    0,    0,    0,          // Selected
      0xFF, 0xFE, 0xFF, 1, 'K', 0,  // Key
      0xFF, 0xFE, 0xFF, 0,          // ValueName
      0xFF, 0xFE, 0xFF, 1, 'd', 0,  // ValueData
      0xFF, 0xFE, 0xFF, 0,          // AlternateKey
      0,    0,    0,    0,          // Is32BitEntry
      1,    0,                      // lines
      0xFF, 0xFE, 0xFF, 1, 'L', 0,  // line 0
  };
  ASSERT_EQ(bytes.size(), expected.size() + 12 * 4);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(expected.size())),
            expected);
  EXPECT_EQ(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(expected.size()), bytes.end()),
            Bytes(48, 0));
}

TEST(ResultsFile, RoundTripKeepsEveryFieldCategoryAndOrder) {
  Machine m;
  m.reg.SetText(HKEY_CURRENT_USER, u"Software\\App", u"Path", u"C:\\gone.exe");
  m.reg.SetText(HKEY_CURRENT_USER, u"Software\\Cls", u"", u"C:\\Gone.DLL");
  {
    ProgramRun run(m);
    CProblem& a =
        run.Add(0x2000, 43, u"HKEY_CURRENT_USER\\Software\\App", u"Path", u"C:\\gone.exe");
    a.DisplayTexts = {u"Missing file", u"HKEY_CURRENT_USER\\Software\\App", u"third"};
    a.Selected = 0;
    run.Add(0x2000, 1, u"HKEY_CURRENT_USER\\Software\\Cls", u"", u"c:\\gone.dll");
    CProblem& s = run.Add(0x0080, 34, u"C:\\Users\\u\\Desktop\\Old.lnk");
    s.DisplayTexts = {u"Shortcut", u"C:\\Users\\u\\Desktop\\Old.lnk", std::u16string(300, u'x')};
    SaveProblemsToDisk(run.controller, kFolder);
    EXPECT_TRUE(run.log.empty());
  }
  ProgramRun next(m);
  next.settings.StrLastScanResults = u"0";
  const ResultsLoadOutcome outcome = LoadProblemsFromDisk(next.controller, kFolder, &next.settings);
  EXPECT_EQ(outcome.status, ResultsLoad::kLoaded);
  EXPECT_EQ(outcome.previousTotal, 3u);
  EXPECT_EQ(next.controller.TotalProblems(), 3u);
  const CProblem& a = *next.controller.GetCategory(0x2000)->ProblemAt(0);
  EXPECT_EQ(a.EntryType, 43);
  EXPECT_EQ(a.Key, u"HKEY_CURRENT_USER\\Software\\App");
  EXPECT_EQ(a.ValueName, u"Path");
  EXPECT_EQ(a.ValueData, u"C:\\gone.exe");
  EXPECT_EQ(a.Selected, 0);
  EXPECT_EQ(a.DisplayTexts, (std::vector<std::u16string>{
                                u"Missing file", u"HKEY_CURRENT_USER\\Software\\App", u"third"}));
  EXPECT_EQ(next.Keys(0x2000), (std::vector<std::u16string>{u"HKEY_CURRENT_USER\\Software\\App",
                                                            u"HKEY_CURRENT_USER\\Software\\Cls"}));
  const CProblem& s = *next.controller.GetCategory(0x0080)->ProblemAt(0);
  EXPECT_EQ(s.EntryType, 34);
  EXPECT_EQ(s.DisplayTexts.at(2), std::u16string(300, u'x'));
  EXPECT_EQ(s.Selected, 1);
  // The count of problems kept is stored as the last scan's result.
  EXPECT_EQ(next.settings.StrLastScanResults, u"3");
  EXPECT_EQ(next.settings.ReadLastScanCount(), 3);
}

TEST(ResultsFile, ProblemsAreCheckedAgainstTheRegistryOnLoad) {
  Machine m;
  const std::u16string hkcu = u"HKEY_CURRENT_USER\\";
  m.reg.SetText(HKEY_CURRENT_USER, u"Software\\Deleted", u"v", u"C:\\x.exe");
  m.reg.SetText(HKEY_CURRENT_USER, u"Software\\Default", u"", u"C:\\Old.exe");
  m.reg.SetText(HKEY_CURRENT_USER, u"Software\\Value", u"v", u"C:\\x.exe");
  m.reg.SetText(HKEY_CURRENT_USER, u"Software\\Locked", u"v", u"C:\\x.exe");
  struct Case {
    std::int32_t type;
    std::u16string subKey, name, data;
    bool kept;
  } cases[] = {
      {43, u"Software\\Deleted", u"v", u"C:\\x.exe", false},  // key deleted since
      {43, u"Software\\Deleted", u"", u"", false},
      {42, u"Software\\Default", u"", u"", true},  // no value, no data: the key is enough
      {42, u"Software\\Default", u"", u"c:\\old.EXE", true},     // default unchanged, case ignored
      {42, u"Software\\Default", u"", u"C:\\Other.exe", false},  // default changed since
      {13, u"Software\\Default", u"", u"C:\\Other.exe", true},   // types 13 and 21 keep their key
      {21, u"Software\\Default", u"", u"C:\\Other.exe", true},
      {43, u"Software\\Value", u"v", u"", true},
      {43, u"Software\\Value", u"gone", u"", false},            // value deleted since
      {36, u"Software\\Value", u"UninstallString", u"", true},  // reported under an absent name
      {43, u"Software\\Locked", u"v", u"", false},              // cannot be opened for writing
  };
  {
    ProgramRun run(m);
    for (const Case& c : cases) run.Add(0x1000, c.type, hkcu + c.subKey, c.name, c.data);
    // Not registry paths: kept whatever the registry holds.
    run.Add(0x0080, 34, u"C:\\Users\\u\\Desktop\\Old.lnk");
    run.Add(0x0400, 40, u"");
    SaveProblemsToDisk(run.controller, kFolder);
  }
  m.reg.RemoveKey(HKEY_CURRENT_USER, u"Software\\Deleted");
  m.reg.RemoveValue(HKEY_CURRENT_USER, u"Software\\Value", u"gone");
  m.reg.SetReadOnly(HKEY_CURRENT_USER, u"Software\\Locked");

  ProgramRun next(m);
  ASSERT_EQ(LoadProblemsFromDisk(next.controller, kFolder, nullptr).status, ResultsLoad::kLoaded);
  const auto& kept = next.controller.GetCategory(0x1000)->Problems();
  std::size_t at = 0;
  for (const Case& c : cases) {
    const bool found = at < kept.size() && kept[at]->EntryType == c.type &&
                       kept[at]->Key == hkcu + c.subKey && kept[at]->ValueName == c.name &&
                       kept[at]->ValueData == c.data;
    EXPECT_EQ(found, c.kept) << c.type << " " << Utf16ToUtf8(c.subKey) << " " << Utf16ToUtf8(c.name)
                             << " " << Utf16ToUtf8(c.data);
    if (found) ++at;
  }
  EXPECT_EQ(at, kept.size());
  EXPECT_EQ(next.Keys(0x0080), std::vector<std::u16string>{u"C:\\Users\\u\\Desktop\\Old.lnk"});
  EXPECT_EQ(next.Keys(0x0400), std::vector<std::u16string>{u""});
}

TEST(ResultsFile, Wow64ProblemsAreCheckedInTheirView) {
  Machine m(/*wow64=*/true);
  m.reg.SetText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Only32", u"v", u"x");
  m.reg.SetText(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Only64", u"v", u"x");
  {
    ProgramRun run(m, true);
    run.Add(0x1000, 42, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Only32", u"v", u"", 1);
    run.Add(0x1000, 42, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Only32", u"v", u"", 0);
    run.Add(0x1000, 42, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Only64", u"v", u"", 0);
    run.Add(0x1000, 42, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Only64", u"v", u"", 1);
    SaveProblemsToDisk(run.controller, kFolder);
  }
  ProgramRun next(m, true);
  LoadProblemsFromDisk(next.controller, kFolder, nullptr);
  const auto& kept = next.controller.GetCategory(0x1000)->Problems();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0]->Key, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Only32");
  EXPECT_EQ(kept[0]->Is32BitEntry, 1);
  EXPECT_EQ(kept[1]->Key, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Only64");
  EXPECT_EQ(kept[1]->Is32BitEntry, 0);
}

TEST(ResultsFile, DamagedFilesAreDeletedAndTheListsEmptied) {
  Machine m;
  m.reg.SetText(HKEY_CURRENT_USER, u"Software\\App", u"v", u"x");
  Bytes good;
  {
    ProgramRun run(m);
    for (int i = 0; i < 3; ++i) {
      run.Add(0x2000, 43, u"HKEY_CURRENT_USER\\Software\\App", u"v").DisplayTexts = {u"a", u"b"};
    }
    good = EncodeResultsFile(run.controller);
  }
  Bytes badMarker = good;
  badMarker[4 + 13 * 4 + 4 + 8] = 0x00;  // the first Key marker of the last block
  Bytes hugeCount(60, 0);
  hugeCount[4] = hugeCount[5] = hugeCount[6] = hugeCount[7] = 0xFF;
  std::vector<Bytes> damaged = {
      {},                                   // empty file
      Bytes(59, 0),                         // one byte short of the empty form
      Bytes(good.begin(), good.end() - 1),  // last record truncated
      Bytes(good.begin(), good.begin() + 70),
      badMarker,
      hugeCount,
      Bytes(4096, 0xFF),  // garbage
  };
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    m.files.Put(kPath, damaged[i]);
    ProgramRun next(m);
    next.Add(0x0001, 0, u"HKEY_CURRENT_USER\\Software\\App");  // held before the load
    next.settings.StrLastScanResults = u"7";
    EXPECT_EQ(LoadProblemsFromDisk(next.controller, kFolder, &next.settings).status,
              ResultsLoad::kDamaged)
        << i;
    EXPECT_FALSE(m.files.Exists(kPath)) << i;
    EXPECT_EQ(next.controller.TotalProblems(), 0u) << i;
    EXPECT_EQ(next.settings.StrLastScanResults, u"7") << i;
  }

  // Without a file nothing changes.
  ProgramRun none(m);
  none.Add(0x0001, 0, u"HKEY_CURRENT_USER\\Software\\App");
  EXPECT_EQ(LoadProblemsFromDisk(none.controller, kFolder, nullptr).status, ResultsLoad::kNoFile);
  EXPECT_EQ(none.controller.TotalProblems(), 1u);
}

TEST(ResultsFile, SaveFailuresAreLoggedAndAPartFileIsDroppedByTheNextLoad) {
  Machine m;
  m.reg.SetText(HKEY_CURRENT_USER, u"Software\\App", u"v", u"x");
  ProgramRun run(m);
  run.Add(0x2000, 43, u"HKEY_CURRENT_USER\\Software\\App", u"v");

  m.files.failOpenForWrite = true;
  SaveProblemsToDisk(run.controller, kFolder);
  EXPECT_EQ(run.log,
            std::vector<std::u16string>{u"SaveProblemsToDisk unable to open file : " + kPath});
  m.files.failOpenForWrite = false;

  run.log.clear();
  m.files.failWritesAfter = 30;
  SaveProblemsToDisk(run.controller, kFolder);
  EXPECT_EQ(run.log, std::vector<std::u16string>{u"SaveProblemsToDisk mein failed"});
  m.files.failWritesAfter.reset();
  EXPECT_EQ(m.files.Get(kPath)->size(), 30u);

  ProgramRun next(m);
  EXPECT_EQ(LoadProblemsFromDisk(next.controller, kFolder, nullptr).status, ResultsLoad::kDamaged);
  EXPECT_FALSE(m.files.Exists(kPath));
}

}  // namespace
}  // namespace bc::storage
