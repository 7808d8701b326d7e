// Walking a large registry: every key and every string value of ~250,000 keys and ~1,000,000
// values, once through the platform interface (open, enumerate, query, as a scan does) and once
// with bare libhivex calls on the same hive file. The machine is generated in bulk on first use
// and kept in a cache folder ($BC_BENCH_CACHE, else the system's temporary folder).
#include <benchmark/benchmark.h>
#include <hivex.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "bench/interface_walk.h"
#include "platform/reg_key.h"
#include "platform/registry.h"
#include "platform/sim/hive_writer.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/registry_layout.h"
#include "platform/sim/registry_paths.h"

namespace {

using namespace bc;
using namespace bc::platform;
using namespace bc::platform::sim;
using bench::InterfaceWalk;
using bench::WalkTotals;

constexpr int kVendors = 50, kProducts = 50, kComponents = 100;  // 250,000 leaf keys
const char16_t* const kBranch = u"SOFTWARE\\Bench";

std::filesystem::path CacheFolder() {
  const char* env = std::getenv("BC_BENCH_CACHE");
  const std::filesystem::path base = env ? env : std::filesystem::temp_directory_path();
  return base / "bc-registry-walk-v1";
}

// The generated branch: four values per leaf key, two of them strings.
void Generate(HiveKey& software) {
  HiveKey& bench = software.Subkey(u"Bench");
  for (int v = 0; v < kVendors; ++v) {
    HiveKey& vendor = bench.Subkey(u"Vendor" + Ascii(std::to_string(v)));
    for (int p = 0; p < kProducts; ++p) {
      HiveKey& product = vendor.Subkey(u"Product" + Ascii(std::to_string(p)));
      product.SetString(u"", u"Product " + Ascii(std::to_string(p)));
      for (int c = 0; c < kComponents; ++c) {
        const std::u16string n = Ascii(std::to_string(c));
        HiveKey& comp = product.Subkey(u"C" + n);
        comp.SetString(u"Path", u"C:\\Apps\\V" + Ascii(std::to_string(v)) + u"\\P" +
                                    Ascii(std::to_string(p)) + u"\\c" + n + u".dll");
        comp.SetString(u"Version", u"1.0." + n);
        comp.SetDword(u"Flags", static_cast<DWORD>(c));
        comp.SetDword(u"Size", static_cast<DWORD>(c * 512));
      }
    }
  }
}

double g_creationSeconds = 0;

// Makes the machine and rewrites its SOFTWARE hive with the generated branch.
bool BuildMachine(const std::filesystem::path& dir, std::string* error) {
  std::filesystem::remove_all(dir);
  MachineDescriptor d = MakeDefaultDescriptor({});
  if (!CreateMachine(dir, d, error)) return false;
  const auto start = std::chrono::steady_clock::now();
  for (const HiveLocation& where : MachineHiveLocations(d)) {
    if (where.kind != HiveKind::kSoftware) continue;
    auto tree = StandardHiveContents(d, where);
    Generate(*tree);
    HiveWriteOptions o;
    o.timestamp = MachineFileTime(d);
    o.fileName = where.windowsPath;
    std::filesystem::path host;
    if (HostPathOf(dir, d, where.windowsPath, &host) != ERROR_SUCCESS) return false;
    if (!ReplaceFileAtomically(host, WriteCompactHive(*tree, o), error)) return false;
  }
  g_creationSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return true;
}

std::filesystem::path SoftwareHive(const std::filesystem::path& dir) {
  std::string error;
  auto d = LoadDescriptor(dir / kDescriptorFileName, &error);
  std::filesystem::path host;
  HostPathOf(dir, *d, d->WindowsDirectory() + u"\\System32\\config\\SOFTWARE", &host);
  return host;
}

// The bare walk; kWide adds what any UTF-16 interface must do besides: widen each name to UTF-16
// and read each key's time stamp (the floor under the interface's first walk).
template <bool kWide>
void WalkHivex(hive_h* h, hive_node_h node, WalkTotals* t) {
  ++t->keys;
  if (kWide) t->bytes += static_cast<std::size_t>(hivex_node_timestamp(h, node) & 1);
  if (hive_value_h* values = hivex_node_values(h, node)) {
    for (std::size_t i = 0; values[i]; ++i) {
      char* key = hivex_value_key(h, values[i]);
      hive_type type{};
      std::size_t len = 0;
      if (key && kWide) t->bytes += Utf8ToUtf16(key).size();
      if (key && hivex_value_type(h, values[i], &type, &len) == 0 &&
          (type == hive_t_REG_SZ || type == hive_t_REG_EXPAND_SZ)) {
        if (char* v = hivex_value_value(h, values[i], &type, &len)) {
          ++t->values;
          t->bytes += len;
          std::free(v);
        }
      }
      std::free(key);
    }
    std::free(values);
  }
  if (hive_node_h* kids = hivex_node_children(h, node)) {
    for (std::size_t i = 0; kids[i]; ++i) {
      char* name = hivex_node_name(h, kids[i]);
      if (name && kWide) t->bytes += Utf8ToUtf16(name).size();
      WalkHivex<kWide>(h, kids[i], t);
      std::free(name);
    }
    std::free(kids);
  }
}

void Report(benchmark::State& state, const WalkTotals& t) {
  state.counters["keys"] = static_cast<double>(t.keys);
  state.counters["strings"] = static_cast<double>(t.values);
  state.counters["items/s"] = benchmark::Counter(static_cast<double>(t.keys + t.values),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

// The interface in a freshly started machine: what one scan of a process costs.
void BM_InterfaceWalkCold(benchmark::State& state) {
  const auto dir = CacheFolder();
  WalkTotals t;
  for (auto _ : state) {
    state.PauseTiming();
    std::string error;
    auto m = SimMachine::Open(dir, &error);
    auto p = m->StartProcess({u"", true, true, u"C:\\bench.exe", u""});
    HKEY root = kNullKey;
    p->Registry().RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBranch, 0, KEY_READ, &root);
    InterfaceWalk walk(p->Registry(), {.stringsOnly = true});
    state.ResumeTiming();
    t = {};
    walk.Run(root, &t);
    state.PauseTiming();
    p->Registry().RegCloseKey(root);
    p.reset();
    m.reset();
    state.ResumeTiming();
  }
  Report(state, t);
}

// The same walk again in the same machine, its key caches filled.
void BM_InterfaceWalkWarm(benchmark::State& state) {
  std::string error;
  auto m = SimMachine::Open(CacheFolder(), &error);
  auto p = m->StartProcess({u"", true, true, u"C:\\bench.exe", u""});
  HKEY root = kNullKey;
  p->Registry().RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBranch, 0, KEY_READ, &root);
  InterfaceWalk walk(p->Registry(), {.stringsOnly = true});
  WalkTotals t;
  for (auto _ : state) {
    t = {};
    walk.Run(root, &t);
  }
  Report(state, t);
}

template <bool kWide>
void BM_BareHivexWalk(benchmark::State& state) {
  const auto file = SoftwareHive(CacheFolder());
  WalkTotals t;
  for (auto _ : state) {
    state.PauseTiming();
    hive_h* h = hivex_open(file.c_str(), 0);
    hive_node_h node = hivex_root(h);
    for (const char* part : {"Bench"}) node = hivex_node_get_child(h, node, part);
    state.ResumeTiming();
    t = {};
    WalkHivex<kWide>(h, node, &t);
    state.PauseTiming();
    hivex_close(h);
    state.ResumeTiming();
  }
  Report(state, t);
}

BENCHMARK(BM_BareHivexWalk<false>)
    ->Name("BM_BareHivexWalk")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(BM_BareHivexWalk<true>)
    ->Name("BM_BareHivexWalkWide")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(BM_InterfaceWalkCold)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_InterfaceWalkWarm)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  const auto dir = CacheFolder();
  if (!std::filesystem::exists(dir / kDescriptorFileName)) {
    std::string error;
    if (!BuildMachine(dir, &error)) {
      std::fprintf(stderr, "bench_registry_walk: %s\n", error.c_str());
      return 1;
    }
    std::printf("generated the registry in %.2f s\n", g_creationSeconds);
  }
  std::printf("SOFTWARE hive: %.1f MB (%s)\n",
              static_cast<double>(std::filesystem::file_size(SoftwareHive(dir))) / 1048576.0,
              SoftwareHive(dir).c_str());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
