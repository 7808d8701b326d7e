// File-reference validation over a realistic mix of registry texts, and the skip-list tests with
// the multi-pattern matcher against the plain loop over the entries.
//
// The machine: Windows 7 x86 with 50,000 program files in 500 folders. The texts: 100,000
// references of which 70 % repeat an earlier one (the same server DLL named by many keys):
// existing and missing paths, commands with switches, quoted commands, resource references,
// rundll32 calls, bare names and URLs.
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/category.h"
#include "engine/context.h"
#include "engine/file_refs.h"
#include "engine/skip_lists.h"
#include "platform/files.h"
#include "platform/sim/descriptor.h"
#include "platform/sim/process.h"
#include "platform/system.h"
#include "tests/engine/counting_files.h"
#include "tests/platform/fixtures.h"

namespace {

using namespace bc;
using namespace bc::engine;
namespace sim = bc::platform::sim;

constexpr int kFolders = 500;
constexpr int kFilesPerFolder = 100;
constexpr int kTexts = 100000;
constexpr int kDistinct = kTexts * 30 / 100;

class BenchCategory final : public CCategory {
 public:
  using CCategory::CCategory;
  int Scan() override { return 1; }
  int Prepare() override { return 1; }
};

std::u16string U(const std::string& s) {
  return Utf8ToUtf16(s);
}

// The machine, built once for all benchmarks of the run.
class BenchMachine {
 public:
  static sim::testing::FixtureOptions X86() {
    sim::testing::FixtureOptions options;
    options.arch = sim::Arch::x86;
    return options;
  }
  BenchMachine() : fixture_(X86()) {
    for (int f = 0; f < kFolders; ++f) {
      const auto folder =
          fixture_.Folder() / "C" / "Program Files" / ("Vendor " + std::to_string(f));
      std::filesystem::create_directories(folder);
      for (int i = 0; i < kFilesPerFolder; ++i) {
        std::ofstream(folder / FileName(i), std::ios::binary) << "x";
      }
    }
    fixture_.Reopen();
    process_ = fixture_.Start();
    platform_ = std::make_unique<test::CountingPlatform>(*process_);
    ctx_ = std::make_unique<EngineContext>(*platform_, ReadSystemFacts(*platform_));
    category_ = std::make_unique<BenchCategory>(*ctx_);
  }
  ~BenchMachine() {
    category_.reset();
    ctx_.reset();
    platform_.reset();
    process_.reset();
  }

  static std::string FileName(int i) {
    static const char* const kExt[] = {".dll", ".exe", ".ocx", ".chm", ".ico"};
    return "file" + std::to_string(i) + kExt[i % 5];
  }

  EngineContext& Context() { return *ctx_; }
  const CCategory& Category() const { return *category_; }
  const CSkipLists& Lists() const { return lists_; }
  std::uint64_t FileCalls() const { return platform_->FileCalls(); }

 private:
  sim::testing::MachineFixture fixture_;
  std::unique_ptr<sim::SimProcess> process_;
  std::unique_ptr<test::CountingPlatform> platform_;
  std::unique_ptr<EngineContext> ctx_;
  std::unique_ptr<BenchCategory> category_;
  CSkipLists lists_;
};

BenchMachine& Machine() {
  static BenchMachine machine;
  return machine;
}

// One text of the mix.
std::u16string MakeText(std::mt19937& rng) {
  const int folder = static_cast<int>(rng() % kFolders);
  const int file = static_cast<int>(rng() % kFilesPerFolder);
  const std::string dir = "C:\\Program Files\\Vendor " + std::to_string(folder) + "\\";
  const std::string name = BenchMachine::FileName(file);
  switch (rng() % 20) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:  // 35 %: existing paths
      return U(dir + name);
    case 7:
    case 8:
    case 9:  // 15 %: missing files in existing and missing folders
      return U(rng() % 2 ? dir + "gone" + name
                         : "C:\\Program Files\\Removed " + std::to_string(folder) + "\\" + name);
    case 10:
    case 11:  // 10 %: commands with switches
      return U(dir + name + " /S /N" + std::to_string(file));
    case 12:
    case 13:  // 10 %: quoted commands with an argument
      return U("\"" + dir + name + "\" \"%1\"");
    case 14:  // resource references
      return U("@%SystemRoot%\\system32\\shell32.dll,-" + std::to_string(file + 1000));
    case 15:  // icon paths with an index
      return U("%ProgramFiles%\\Vendor " + std::to_string(folder) + "\\" + name + "," +
               std::to_string(file % 7));
    case 16:  // rundll32 calls
      return U("rundll32.exe " + dir + name + ",Entry" + std::to_string(file));
    case 17:  // bare names
      return U(rng() % 2 ? "notepad.exe" : "gone" + std::to_string(file) + ".exe");
    case 18:  // URLs
      return U("http://www.example.com/" + std::to_string(folder) + "/" + name);
    default:  // assembly identities and class names
      return U("Vendor.Component" + std::to_string(folder) +
               ", Version=1.0.0.0, Culture=neutral, PublicKeyToken=31bf3856ad364e35");
  }
}

std::vector<std::u16string> MakeTexts() {
  std::mt19937 rng(20261211);
  std::vector<std::u16string> distinct;
  distinct.reserve(kDistinct);
  for (int i = 0; i < kDistinct; ++i) distinct.push_back(MakeText(rng));
  std::vector<std::u16string> texts;
  texts.reserve(kTexts);
  // Three in ten are first sights of a distinct text, in order; the others repeat one seen
  // before.
  std::size_t seen = 0;
  for (int i = 0; i < kTexts; ++i) {
    if (i % 10 < 3 || seen == 0) {
      texts.push_back(distinct[seen % distinct.size()]);
      ++seen;
    } else {
      texts.push_back(distinct[rng() % std::min(seen, distinct.size())]);
    }
  }
  return texts;
}

const std::vector<std::u16string>& Texts() {
  static const std::vector<std::u16string> texts = MakeTexts();
  return texts;
}

// The whole mix through one validator with an empty verdict cache, as one scan sees it.
void BM_FileReferenceIsValid_Mix(benchmark::State& state) {
  BenchMachine& m = Machine();
  const auto& texts = Texts();
  std::uint64_t calls = 0;
  std::uint64_t judged = 0;
  std::uint64_t accepted = 0;
  for (auto _ : state) {
    CFileReferences refs(m.Context(), m.Lists());
    const std::uint64_t before = m.FileCalls();
    for (const auto& text : texts) {
      accepted +=
          static_cast<std::uint64_t>(refs.FileReferenceIsValid(m.Category(), text, kCheckCommon));
    }
    calls += m.FileCalls() - before;
    judged += texts.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(judged));
  state.counters["fs_calls_per_text"] = static_cast<double>(calls) / static_cast<double>(judged);
  state.counters["accepted_share"] = static_cast<double>(accepted) / static_cast<double>(judged);
}
BENCHMARK(BM_FileReferenceIsValid_Mix)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same mix when every text is new: the cost of the judgement itself.
void BM_FileReferenceIsValid_Uncached(benchmark::State& state) {
  BenchMachine& m = Machine();
  const auto& texts = Texts();
  std::uint64_t calls = 0;
  std::uint64_t judged = 0;
  std::size_t next = 0;
  std::unique_ptr<CFileReferences> refs;
  for (auto _ : state) {
    state.PauseTiming();
    refs = std::make_unique<CFileReferences>(m.Context(), m.Lists());
    state.ResumeTiming();
    const std::uint64_t before = m.FileCalls();
    benchmark::DoNotOptimize(refs->FileReferenceIsValid(m.Category(), texts[next], kCheckCommon));
    calls += m.FileCalls() - before;
    ++judged;
    next = (next + 1) % texts.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(judged));
  state.counters["fs_calls_per_text"] = static_cast<double>(calls) / static_cast<double>(judged);
}
BENCHMARK(BM_FileReferenceIsValid_Uncached)->Unit(benchmark::kMicrosecond);

// Keys as the categories report them.
std::vector<std::u16string> MakeKeys() {
  std::mt19937 rng(7);
  std::vector<std::u16string> keys;
  for (int i = 0; i < 2000; ++i) {
    std::string k;
    switch (rng() % 4) {
      case 0:
        k = "HKEY_CLASSES_ROOT\\CLSID\\{" + std::to_string(10000000 + rng() % 89999999) +
            "-1234-4ABC-9DEF-0123456789AB}\\InprocServer32";
        break;
      case 1:
        k = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zebra "
            "Tool " +
            std::to_string(i);
        break;
      case 2:
        k = "HKEY_CLASSES_ROOT\\.z" + std::to_string(i) + "\\OpenWithProgids";
        break;
      default:
        k = "HKEY_CURRENT_USER\\Software\\Zebra Works\\Recent File List\\File" + std::to_string(i);
    }
    keys.push_back(U(k));
  }
  return keys;
}

void BM_KeySkipList_Automaton(benchmark::State& state) {
  const CSkipLists& lists = Machine().Lists();
  const auto keys = MakeKeys();
  std::size_t n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lists.KeyList().ContainsAny(keys[n++ % keys.size()]));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_KeySkipList_Automaton);

void BM_KeySkipList_Loop(benchmark::State& state) {
  const CSkipLists& lists = Machine().Lists();
  const auto keys = MakeKeys();
  std::size_t n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lists.KeyList().ContainsAnyByScan(keys[n++ % keys.size()]));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_KeySkipList_Loop);

void BM_FileSkipList_Automaton(benchmark::State& state) {
  const CSkipLists& lists = Machine().Lists();
  const auto& texts = Texts();
  std::size_t n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lists.FileList().ContainsAny(texts[n++ % texts.size()]));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_FileSkipList_Automaton);

void BM_FileSkipList_Loop(benchmark::State& state) {
  const CSkipLists& lists = Machine().Lists();
  const auto& texts = Texts();
  std::size_t n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lists.FileList().ContainsAnyByScan(texts[n++ % texts.size()]));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_FileSkipList_Loop);

// Building both lists, as the first scan of a context does.
void BM_SkipListsBuild(benchmark::State& state) {
  for (auto _ : state) {
    CSkipLists lists;
    benchmark::DoNotOptimize(&lists.KeyList());
    benchmark::DoNotOptimize(&lists.FileList());
  }
}
BENCHMARK(BM_SkipListsBuild)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
