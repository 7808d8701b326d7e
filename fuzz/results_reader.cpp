// Fuzzes the reader of "results.dvn": any bytes give the problems or a clean failure; problems
// read back re-encode to the same problems; loading keeps only what the registry still holds, and
// a damaged file is deleted with every list emptied.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/category.h"
#include "engine/context.h"
#include "engine/reg_paths.h"
#include "engine/scan_controller.h"
#include "storage/results_file.h"
#include "tests/engine/mem_files.h"
#include "tests/engine/mem_registry.h"

namespace {

using namespace bc;

constexpr std::u16string_view kFolder = u"C:\\AppData";

void Check(bool ok) {
  if (!ok) std::abort();
}

bool SameProblem(const engine::CProblem& a, const engine::CProblem& b) {
  return a.EntryType == b.EntryType && a.Selected == b.Selected && a.Key == b.Key &&
         a.ValueName == b.ValueName && a.ValueData == b.ValueData &&
         a.AlternateKey == b.AlternateKey && a.Is32BitEntry == b.Is32BitEntry &&
         a.DisplayTexts == b.DisplayTexts;
}

class PlainCategory : public engine::CCategory {
 public:
  using CCategory::CCategory;
  int Scan() override { return 0; }
  int Prepare() override { return 1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const auto contents = storage::DecodeResultsFile(bytes);
  std::size_t stored = 0;
  if (contents) {
    const auto again = storage::DecodeResultsFile(storage::EncodeResultsFile(*contents));
    Check(again.has_value() && again->total == contents->total);
    for (std::size_t b = 0; b < contents->blocks.size(); ++b) {
      Check(again->blocks[b].size() == contents->blocks[b].size());
      for (std::size_t i = 0; i < contents->blocks[b].size(); ++i) {
        Check(SameProblem(*again->blocks[b][i], *contents->blocks[b][i]));
      }
      stored += contents->blocks[b].size();
    }
  }

  // The whole load on a small machine; odd sizes run as a 32-bit process on 64-bit Windows.
  const bool wow64 = size % 2 == 1;
  test::MemRegistry reg(wow64);
  reg.SetText(platform::HKEY_CURRENT_USER, u"Software\\A", u"", u"C:\\a.exe");
  reg.SetText(platform::HKEY_CURRENT_USER, u"Software\\A", u"v", u"C:\\b.exe");
  reg.SetText(platform::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\B", u"v", u"C:\\c.exe");
  test::MemFiles files;
  const std::u16string path = std::u16string(kFolder) + u"\\results.dvn";
  files.Put(path, {bytes.begin(), bytes.end()});
  test::MemPlatform platform(reg, files);
  engine::SystemFacts facts;
  facts.wow64 = wow64;
  engine::EngineContext ctx(platform, facts);
  ctx.hooks.createCategory = [](std::uint32_t, engine::EngineContext& c) {
    return std::make_unique<PlainCategory>(c);
  };
  engine::CScanController controller(ctx);
  const auto outcome = storage::LoadProblemsFromDisk(controller, kFolder, nullptr);
  if (!contents) {
    Check(outcome.status == storage::ResultsLoad::kDamaged);
    Check(!files.Exists(path));
    Check(controller.TotalProblems() == 0);
    return 0;
  }
  Check(outcome.status == storage::ResultsLoad::kLoaded);
  Check(outcome.previousTotal == contents->total);
  Check(controller.TotalProblems() <= stored);
  for (const auto& info : engine::kCategoryTable) {
    for (const auto& p : controller.GetCategory(info.bit)->Problems()) {
      const auto split = engine::SplitFullPath(p->Key);
      if (!split) continue;
      // The key exists in the native view or, for the 32-bit view, below Wow6432Node.
      const std::u16string_view sub = split->subKey;
      const bool redirected =
          StartsWithNoCase(sub, u"SOFTWARE\\") &&
          reg.HasKey(split->root, u"SOFTWARE\\Wow6432Node\\" + std::u16string(sub.substr(9)));
      Check(reg.HasKey(split->root, sub) || redirected);
    }
  }
  return 0;
}
