// Ordinary registry changes made through the interface, as an undo file's import makes them:
// many new sub-keys under one key, each with a value, then flushed to the hive file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/regfile.h"
#include "base/text.h"
#include "platform/reg_key.h"
#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/registry_regfile.h"
#include "platform/sim/registry_state.h"

namespace {

using namespace bc;
using namespace bc::platform;
using namespace bc::platform::sim;

std::unique_ptr<SimMachine> FreshMachine(const std::filesystem::path& dir) {
  std::filesystem::remove_all(dir);
  std::string error;
  if (!CreateMachine(dir, MakeDefaultDescriptor({}), &error)) return nullptr;
  return SimMachine::Open(dir, &error);
}

std::uintmax_t SoftwareHiveBytes(const std::filesystem::path& dir) {
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    if (e.path().filename() == "SOFTWARE") return e.file_size();
  }
  return 0;
}

void BM_CreateSiblingKeys(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() / "bc-registry-edit";
  const int count = static_cast<int>(state.range(0));
  std::uintmax_t hiveBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto m = FreshMachine(dir);
    auto p = m->StartProcess({u"", true, true, u"C:\\bench.exe", u""});
    IRegistry& r = p->Registry();
    RegKey parent;
    parent.Create(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\CLSID", KEY_ALL_ACCESS);
    state.ResumeTiming();
    for (int i = 0; i < count; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "{%08X-1111-2222-3333-444455556666}", i);
      RegKey k;
      k.Create(r, parent.Get(), Ascii(name), KEY_ALL_ACCESS);
      const std::u16string data = u"C:\\Program Files\\App\\server.dll";
      r.RegSetValueExW(k.Get(), u"", REG_SZ, reinterpret_cast<const std::uint8_t*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * 2));
    }
    r.RegFlushKey(parent.Get());
    state.PauseTiming();
    parent.Close();
    p.reset();
    m.reset();
    hiveBytes = SoftwareHiveBytes(dir);
    state.ResumeTiming();
  }
  state.counters["hive_MB"] = static_cast<double>(hiveBytes) / 1048576.0;
}

// The reverse: keys made in bulk, deleted one by one as a cleaning run deletes them.
void BM_DeleteSiblingKeys(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() / "bc-registry-edit";
  const int count = static_cast<int>(state.range(0));
  std::uintmax_t hiveBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto m = FreshMachine(dir);
    std::u16string text(kRegFileHeader5);
    for (int i = 0; i < count; ++i) {
      char line[160];
      std::snprintf(line, sizeof line,
                    "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{%08X-1111-2222-3333-"
                    "444455556666}]\r\n@=\"C:\\\\App\\\\server.dll\"\r\n",
                    i);
      text += Ascii(line);
    }
    auto parsed = ParseRegFileText(text);
    std::size_t failed = 0;
    std::string error;
    m->Registry().ImportBulk(parsed.ops, &failed, &error);
    auto p = m->StartProcess({u"", true, true, u"C:\\bench.exe", u""});
    IRegistry& r = p->Registry();
    RegKey parent;
    parent.Open(r, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\CLSID", KEY_ALL_ACCESS);
    state.ResumeTiming();
    for (int i = 0; i < count; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "{%08X-1111-2222-3333-444455556666}", i);
      r.RegDeleteKeyW(parent.Get(), Ascii(name));
    }
    r.RegFlushKey(parent.Get());
    state.PauseTiming();
    parent.Close();
    p.reset();
    m.reset();
    hiveBytes = SoftwareHiveBytes(dir);
    state.ResumeTiming();
  }
  state.counters["hive_MB"] = static_cast<double>(hiveBytes) / 1048576.0;
}

BENCHMARK(BM_DeleteSiblingKeys)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CreateSiblingKeys)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
