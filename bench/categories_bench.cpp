// The ActiveX/COM and file-type scans on a large Windows 7 x64 machine, against a bare walk of the
// same keys through the platform interface.
//
// The machine: 20,000 COM classes (three quarters native, a quarter under Wow6432Node) of 500
// made-up applications, with their ProgIDs, type libraries, interfaces and AppIDs, and 5,000 file
// types (extension plus ProgID, verbs, icons) of 1,000 applications. About a tenth of each is
// broken: uninstalled applications whose registrations stayed behind, servers, type libraries and
// commands naming files that are gone, references to classes and type libraries that are not
// registered. Every other file named exists. It is built once as a machine recipe (registration
// files imported in bulk, a file list) and kept in a cache folder ($BC_BENCH_CACHE, else the
// system's temporary folder) together with pristine copies of its hives, which every iteration
// puts back: an elevated scan writes settings, logs and results, and its gate may create keys.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "base/regfile.h"
#include "base/text.h"
#include "bench/interface_walk.h"
#include "cli/brellum/session.h"
#include "engine/category.h"
#include "engine/scan_controller.h"
#include "platform/registry.h"
#include "platform/sim/descriptor.h"
#include "platform/sim/hive_tree.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/product_install.h"
#include "platform/sim/recipe.h"
#include "platform/sim/registry_layout.h"
#include "platform/sim/registry_paths.h"

namespace {

using namespace bc;
using namespace bc::platform;
namespace sim = bc::platform::sim;
namespace fs = std::filesystem;

constexpr int kComApps = 500;
constexpr int kClassesPerApp = 40;  // 20,000 classes
constexpr int kTypeLibsPerApp = 4;  // one per ten classes
constexpr int kTypeApps = 1000;
constexpr int kTypesPerApp = 5;  // 5,000 file types

constexpr std::uint32_t kActiveXBit = 0x0001;
constexpr std::uint32_t kFileTypesBit = 0x0004;

const char16_t* const kClasses = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
const char16_t* const kClasses32 = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\";
const char16_t* const kPSDispatch = u"{00020420-0000-0000-C000-000000000046}";
const char16_t* const kPSOAInterface = u"{00020424-0000-0000-C000-000000000046}";

fs::path CacheFolder() {
  const char* env = std::getenv("BC_BENCH_CACHE");
  const fs::path base = env ? env : fs::temp_directory_path();
  return base / "bc-categories-v2";
}
fs::path MachineFolder() {
  return CacheFolder() / "machine";
}
fs::path PristineFolder() {
  return CacheFolder() / "pristine";
}

std::u16string Num(long long n) {
  return Ascii(std::to_string(n));
}

// --- Generation -------------------------------------------------------------------------------

// A registration file written as it grows (UTF-16LE with byte-order mark).
class RegFileOut {
 public:
  explicit RegFileOut(const fs::path& file) : out_(file, std::ios::binary) {
    text_.push_back(u'\xFEFF');
    text_ += kRegFileHeader5;
    text_ += u"\r\n";
  }
  ~RegFileOut() { Flush(); }

  void Key(std::u16string_view full) {
    text_ += u"\r\n[";
    text_ += full;
    text_ += u"]\r\n";
    if (text_.size() > (1u << 20)) Flush();
  }
  void Str(std::u16string_view name, std::u16string_view data, DWORD type = REG_SZ) {
    text_ += RegFileValueLine(name, type, sim::RegStringBytes(data));
  }
  bool ok() const { return out_.good(); }

 private:
  void Flush() {
    out_.write(reinterpret_cast<const char*>(text_.data()),
               static_cast<std::streamsize>(text_.size() * sizeof(char16_t)));
    text_.clear();
  }
  std::ofstream out_;
  std::u16string text_;
};

class Guids {
 public:
  std::u16string Next() {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string g = u"{";
    for (int i = 0; i < 32; ++i) {
      if (i == 8 || i == 12 || i == 16 || i == 20) g += u'-';
      g += kHex[rng_() & 0xF];
    }
    return g + u"}";
  }

 private:
  std::mt19937_64 rng_{20261211};
};

struct Generated {
  std::size_t classes = 0, progIds = 0, typeLibs = 0, interfaces = 0, appIds = 0, fileTypes = 0;
  std::size_t files = 0;
};

class FileList {
 public:
  explicit FileList(const fs::path& file) : out_(file, std::ios::binary) {}
  void Add(std::u16string_view windowsPath) {
    out_ << Utf16ToUtf8(windowsPath) << "\n";
    ++count;
  }
  std::size_t count = 0;

 private:
  std::ofstream out_;
};

void WriteComRegistrations(const fs::path& recipe, Guids& guids, FileList& files, Generated* g) {
  RegFileOut reg(recipe / "20-com.reg");
  const std::u16string sys32 = u"C:\\Windows\\System32";
  const std::u16string wow64 = u"C:\\Windows\\SysWOW64";
  // The standard proxy/stub classes the interfaces name, in both views.
  for (const char16_t* base : {kClasses, kClasses32}) {
    for (const auto& [id, name] :
         {std::pair{kPSDispatch, u"PSDispatch"}, std::pair{kPSOAInterface, u"PSOAInterface"}}) {
      const std::u16string key = std::u16string(base) + u"CLSID\\" + id;
      reg.Key(key);
      reg.Str(u"", name);
      reg.Key(key + u"\\InprocServer32");
      reg.Str(u"", u"%SystemRoot%\\System32\\oleaut32.dll", REG_EXPAND_SZ);
      reg.Str(u"ThreadingModel", u"Both");
    }
  }
  files.Add(sys32 + u"\\oleaut32.dll");
  files.Add(wow64 + u"\\oleaut32.dll");

  static constexpr const char16_t* kThreading[] = {u"Apartment", u"Both", u"Free", u"Neutral"};
  for (int a = 0; a < kComApps; ++a) {
    const bool is32 = a % 4 == 3;
    const bool system = a % 10 == 0;
    const bool uninstalled = a % 40 == 6 || a % 40 == 11;  // leftovers of removed programs
    const std::u16string base = is32 ? kClasses32 : kClasses;
    const std::u16string product = u"Product" + Num(a);
    const std::u16string folder =
        system ? (is32 ? wow64 : sys32)
               : (is32 ? u"C:\\Program Files (x86)" : u"C:\\Program Files") +
                     std::u16string(u"\\Vendor ") + Num(a % 97) + u"\\" + product;
    const std::u16string prefix = system ? u"sys" + Num(a) + u"_" : std::u16string();
    const std::u16string exe = folder + u"\\" + prefix + u"app" + Num(a) + u".exe";
    const bool installed = !uninstalled;
    if (installed) {
      files.Add(exe);
      for (int d = 0; d < kClassesPerApp / 5; ++d) {
        files.Add(folder + u"\\" + prefix + u"comp" + Num(d) + u".dll");
      }
    }

    // AppID: the identifier's entry and the executable's entry naming it. One in ten
    // executable entries names an identifier that is not registered.
    const std::u16string appId = guids.Next();
    if (a % 10 != 4) {
      reg.Key(kClasses + (u"AppID\\" + appId));
      reg.Str(u"", product);
      ++g->appIds;
    }
    reg.Key(kClasses + (u"AppID\\" + prefix + u"app" + Num(a) + u".exe"));
    reg.Str(u"AppID", appId);
    ++g->appIds;

    // Type libraries, shared by both views.
    std::vector<std::u16string> libs;
    for (int t = 0; t < kTypeLibsPerApp; ++t) {
      libs.push_back(guids.Next());
      const bool libGone = installed && (a * kTypeLibsPerApp + t) % 20 == 7;
      const std::u16string file =
          folder + u"\\" + prefix + (libGone ? u"old" : u"lib") + Num(t) + u".tlb";
      if (installed && !libGone) files.Add(file);
      const std::u16string key = kClasses + (u"TypeLib\\" + libs.back() + u"\\1.0");
      reg.Key(key);
      reg.Str(u"", product + u" Type Library " + Num(t));
      reg.Key(key + u"\\0\\win32");
      reg.Str(u"", file);
      if (!is32) {
        reg.Key(key + u"\\0\\win64");
        reg.Str(u"", file);
      }
      reg.Key(key + u"\\FLAGS");
      reg.Str(u"", u"0");
      reg.Key(key + u"\\HELPDIR");
      reg.Str(u"", folder);
      ++g->typeLibs;
    }

    for (int j = 0; j < kClassesPerApp; ++j) {
      const int i = a * kClassesPerApp + j;
      const std::u16string clsid = guids.Next();
      const std::u16string key = base + u"CLSID\\" + clsid;
      const std::u16string description = product + u" Component " + Num(j);
      const bool serverGone = installed && i % 20 == 7;
      reg.Key(key);
      reg.Str(u"", description);
      const std::u16string dll =
          folder + u"\\" + prefix + (serverGone ? u"removed" : u"comp") + Num(j / 5) + u".dll";
      if (j % 8 == 0) {
        reg.Str(u"AppID", appId);
        reg.Key(key + u"\\LocalServer32");
        const std::u16string server =
            serverGone ? folder + u"\\" + prefix + u"removed" + Num(a) + u".exe" : exe;
        reg.Str(u"", u"\"" + server + u"\" /automation");
      } else {
        reg.Key(key + u"\\InprocServer32");
        if (system) {
          reg.Str(u"",
                  (is32 ? u"%SystemRoot%\\SysWOW64\\" : u"%SystemRoot%\\System32\\") +
                      dll.substr(folder.size() + 1),
                  REG_EXPAND_SZ);
        } else {
          reg.Str(u"", dll);
        }
        reg.Str(u"ThreadingModel", kThreading[j % 4]);
      }
      if (j % 3 == 0) {
        const std::u16string progId = u"P" + Num(a) + u".Comp" + Num(j);
        reg.Key(key + u"\\ProgID");
        reg.Str(u"", progId + u".1");
        reg.Key(key + u"\\VersionIndependentProgID");
        reg.Str(u"", progId);
        reg.Key(kClasses + progId + u".1");
        reg.Str(u"", description);
        reg.Key(kClasses + progId + u".1\\CLSID");
        reg.Str(u"", clsid);
        reg.Key(kClasses + progId);
        reg.Str(u"", description);
        reg.Key(kClasses + progId + u"\\CLSID");
        // One in ten version-independent ProgIDs names a class that is not registered.
        reg.Str(u"", j % 30 == 9 ? guids.Next() : clsid);
        reg.Key(kClasses + progId + u"\\CurVer");
        reg.Str(u"", progId + u".1");
        g->progIds += 2;
      }
      if (j % 4 == 1) {
        reg.Key(key + u"\\TypeLib");
        reg.Str(u"", libs[static_cast<std::size_t>(j / 10)]);
      }
      if (j % 10 == 5) {
        reg.Key(key + u"\\DefaultIcon");
        reg.Str(u"", dll + u",0");
        reg.Key(key + u"\\ToolboxBitmap32");
        reg.Str(u"", dll + u", 1");
        reg.Key(key + u"\\Control");
      }
      ++g->classes;

      // Three interfaces for every four classes, in the view of their application. One in
      // ten names a proxy/stub class or a type library that is not registered.
      if (j % 4 != 3) {
        const std::u16string iid = base + u"Interface\\" + guids.Next();
        reg.Key(iid);
        reg.Str(u"", u"IComp" + Num(j));
        reg.Key(iid + u"\\ProxyStubClsid32");
        reg.Str(u"", i % 20 == 9 ? guids.Next() : (j % 2 ? kPSOAInterface : kPSDispatch));
        reg.Key(iid + u"\\TypeLib");
        reg.Str(u"", i % 20 == 18 ? guids.Next() : libs[static_cast<std::size_t>(j / 10)]);
        reg.Str(u"Version", u"1.0");
        ++g->interfaces;
      }
    }
  }
}

// ".a00" ... : a letter and two base-36 digits per type.
std::u16string Extension(int k) {
  static constexpr char16_t kDigits[] = u"0123456789abcdefghijklmnopqrstuvwxyz";
  std::u16string e = u".";
  e += static_cast<char16_t>(u'a' + k % 26);
  e += kDigits[(k / 26) / 36 % 36];
  e += kDigits[(k / 26) % 36];
  return e;
}

void WriteFileTypes(const fs::path& recipe, Guids& guids, FileList& files, Generated* g) {
  RegFileOut reg(recipe / "30-types.reg");
  for (int a = 0; a < kTypeApps; ++a) {
    const bool uninstalled = a % 10 == 9;
    const std::u16string folder = (a % 4 == 3 ? u"C:\\Program Files (x86)" : u"C:\\Program Files") +
                                  std::u16string(u"\\Editor ") + Num(a % 89) + u"\\App" + Num(a);
    const std::u16string exe = folder + u"\\edit" + Num(a) + u".exe";
    if (!uninstalled) files.Add(exe);
    for (int t = 0; t < kTypesPerApp; ++t) {
      const int k = a * kTypesPerApp + t;
      const std::u16string ext = Extension(k);
      const std::u16string progId = u"Edt" + Num(a) + u".Sheet" + Num(t);
      const std::u16string description = u"App " + Num(a) + u" Document " + Num(t);

      reg.Key(kClasses + ext);
      // One in fifty extensions names a type that is not registered.
      reg.Str(u"", k % 50 == 17 ? u"Gone" + Num(k) + u".Doc" : progId);
      reg.Str(u"Content Type", u"application/x-app" + Num(a) + u"-" + Num(t));
      reg.Key(kClasses + ext + u"\\OpenWithProgids");
      reg.Str(progId, u"");

      const std::u16string type = kClasses + progId;
      reg.Key(type);
      reg.Str(u"", description);
      reg.Key(type + u"\\DefaultIcon");
      reg.Str(u"", exe + u"," + Num(t));
      reg.Key(type + u"\\shell");
      reg.Str(u"", u"open");
      reg.Key(type + u"\\shell\\open\\command");
      reg.Str(u"", u"\"" + exe + u"\" \"%1\"");
      if (k % 3 == 0) {
        reg.Key(type + u"\\shell\\print\\command");
        reg.Str(u"", u"\"" + exe + u"\" /p \"%1\"");
      }
      if (k % 10 == 2) {
        // A context-menu handler named by a class that is not registered.
        reg.Key(type + u"\\ShellEx\\ContextMenuHandlers\\Edt" + Num(a) + u"Menu");
        reg.Str(u"", guids.Next());
      }
      ++g->fileTypes;
    }
  }
}

double g_generationSeconds = 0;
Generated g_generated;

// The hive files of the machine (machine hives and every user's), as host paths.
std::vector<fs::path> HiveFiles(const fs::path& dir) {
  std::string error;
  auto d = sim::LoadDescriptor(dir / sim::kDescriptorFileName, &error);
  std::vector<fs::path> out;
  if (!d) return out;
  std::vector<sim::HiveLocation> where = sim::MachineHiveLocations(*d);
  for (const auto& user : d->users) {
    for (auto& l : sim::UserHiveLocations(*d, user)) where.push_back(std::move(l));
  }
  for (const auto& l : where) {
    fs::path host;
    if (sim::HostPathOf(dir, *d, l.windowsPath, &host) == ERROR_SUCCESS && fs::exists(host)) {
      out.push_back(host);
    }
  }
  return out;
}

bool BuildMachine(std::string* error) {
  const auto start = std::chrono::steady_clock::now();
  fs::remove_all(CacheFolder());
  const fs::path recipe = CacheFolder() / "recipe";
  fs::create_directories(recipe);
  std::ofstream(recipe / "create.args") << "--windows 7 --arch x64 --user Alice\n";
  {
    Guids guids;
    FileList files(recipe / "files-bench.txt");
    WriteComRegistrations(recipe, guids, files, &g_generated);
    WriteFileTypes(recipe, guids, files, &g_generated);
    g_generated.files = files.count;
  }
  if (!sim::BuildMachineFromRecipe(recipe, MachineFolder(), BC_DEFAULT_LANG_DIR, error)) {
    return false;
  }
  fs::remove_all(recipe);
  // Pristine copies of the hives, put back before every iteration.
  fs::create_directories(PristineFolder());
  const auto hives = HiveFiles(MachineFolder());
  for (std::size_t i = 0; i < hives.size(); ++i) {
    fs::copy_file(hives[i], PristineFolder() / std::to_string(i),
                  fs::copy_options::overwrite_existing);
  }
  g_generationSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return true;
}

// Puts the hives back as they were generated.
void RestoreHives() {
  const auto hives = HiveFiles(MachineFolder());
  for (std::size_t i = 0; i < hives.size(); ++i) {
    fs::copy_file(PristineFolder() / std::to_string(i), hives[i],
                  fs::copy_options::overwrite_existing);
  }
}

// Removes what a session of the product wrote to its application-data folder (logs, results,
// exclusion lists), so that the next session starts as the first did.
void RemoveAppData(std::u16string_view folder) {
  fs::path host;
  std::string error;
  const auto d = sim::LoadDescriptor(MachineFolder() / sim::kDescriptorFileName, &error);
  if (d && sim::HostPathOf(MachineFolder(), *d, folder, &host) == ERROR_SUCCESS) {
    fs::remove_all(host);
  }
}

// --- Benchmarks -------------------------------------------------------------------------------

// Both categories as "brellum scan --elevated --categories 0x5" runs them: the program's session
// (settings, log, language, skip and exclusion lists, file references), the scan controller's
// thread body on the calling thread.
void BM_ScanActiveXAndFileTypes(benchmark::State& state) {
  std::size_t activeX = 0, fileTypes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    RestoreHives();
    std::string error;
    auto session = cli::Session::Start(MachineFolder(), true, &error);
    if (!session) {
      state.SkipWithError(error.c_str());
      break;
    }
    auto& controller = session->Controller();
    controller.CreateCategories(kActiveXBit | kFileTypesBit, 2);
    state.ResumeTiming();
    controller.RunScan();
    state.PauseTiming();
    activeX = controller.GetCategory(kActiveXBit)->ProblemCount();
    fileTypes = controller.GetCategory(kFileTypesBit)->ProblemCount();
    const std::u16string appData = session->AppDataFolder();
    session.reset();  // writes results, lists and settings, as the program does at exit
    RemoveAppData(appData);
    state.ResumeTiming();
  }
  RestoreHives();
  state.counters["findings"] = static_cast<double>(activeX + fileTypes);
  state.counters["activex"] = static_cast<double>(activeX);
  state.counters["filetypes"] = static_cast<double>(fileTypes);
}

// HKEY_CLASSES_ROOT (classes, AppIDs, type libraries, interfaces, every type key) in the native
// and then the 32-bit view, from the product's 32-bit process, as the two scans visit it.
void BM_BareWalkClassesRoot(benchmark::State& state) {
  std::vector<char16_t> name(16384);
  bench::WalkTotals t;
  for (auto _ : state) {
    state.PauseTiming();
    std::string error;
    auto m = sim::SimMachine::Open(MachineFolder(), &error);
    if (!m) {
      state.SkipWithError(error.c_str());
      break;
    }
    const std::u16string program = sim::ProductProgramPath(m->Descriptor());
    auto p = m->StartProcess({u"", true, false, program, u"\"" + program + u"\""});
    IRegistry& r = p->Registry();
    state.ResumeTiming();
    t = {};
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      bench::InterfaceWalk walk(r, {.view = view});
      HKEY root = kNullKey;
      if (r.RegOpenKeyExW(HKEY_CLASSES_ROOT, u"", 0, KEY_READ | view, &root) != ERROR_SUCCESS) {
        continue;
      }
      RegKeyInfo info;
      r.RegQueryInfoKeyW(root, &info);
      for (DWORD i = 0; i < info.subKeys; ++i) {
        DWORD cch = static_cast<DWORD>(name.size());
        if (r.RegEnumKeyExW(root, i, name.data(), &cch) != ERROR_SUCCESS) continue;
        const std::u16string_view top(name.data(), cch);
        if (EqualsNoCase(top, u"Wow6432Node")) continue;  // reached through the 32-bit view
        HKEY sub = kNullKey;
        if (r.RegOpenKeyExW(root, top, 0, KEY_READ | view, &sub) != ERROR_SUCCESS) continue;
        walk.Run(sub, &t);
        r.RegCloseKey(sub);
      }
      r.RegCloseKey(root);
    }
    state.PauseTiming();
    p.reset();
    m.reset();
    state.ResumeTiming();
  }
  state.counters["keys"] = static_cast<double>(t.keys);
  state.counters["values"] = static_cast<double>(t.values);
}

BENCHMARK(BM_BareWalkClassesRoot)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScanActiveXAndFileTypes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (!fs::exists(PristineFolder())) {
    std::string error;
    if (!BuildMachine(&error)) {
      std::fprintf(stderr, "bench_categories: %s\n", error.c_str());
      return 1;
    }
    std::printf(
        "generated the machine in %.2f s: %zu classes, %zu ProgIDs, %zu type libraries, %zu "
        "interfaces, %zu AppID entries, %zu file types, %zu files\n",
        g_generationSeconds, g_generated.classes, g_generated.progIds, g_generated.typeLibs,
        g_generated.interfaces, g_generated.appIds, g_generated.fileTypes, g_generated.files);
  }
  std::printf("machine: %s\n", MachineFolder().c_str());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
