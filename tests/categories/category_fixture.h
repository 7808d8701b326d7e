// Fixtures for the category tests: a simulated machine in a temporary folder filled from a few
// lines of registration-file text and a list of files, and a scan session on it (a 32-bit
// process of the current user with the engine context, skip lists, file references and stop event
// a scan uses).
//
//   FixtureMachine m({.windows = "7", .arch = Arch::x64});
//   m.Reg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{...}\InprocServer32]
//            @="C:\\Program Files\\Gone\\gone.dll")");
//   m.Files({"C:\\Program Files\\Here\\here.dll"});
//   ScanSession s(m);
//   auto category = s.Make<CActiveX>();
//   category->Scan();
#pragma once

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/regfile.h"
#include "base/text.h"
#include "engine/context.h"
#include "engine/file_refs.h"
#include "engine/problem.h"
#include "engine/skip_lists.h"
#include "engine/stop_event.h"
#include "platform/registry.h"
#include "platform/sim/descriptor.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/registry_state.h"
#include "platform/system.h"

namespace bc::categories::testing {

using platform::sim::Arch;
using platform::sim::MachineDescriptor;

struct MachineOptions {
  std::string windows = "7";  // "xp", "vista" or "7"
  Arch arch = Arch::x64;
  // Changes to the descriptor before the machine is made (denied keys, drives ...).
  std::function<void(MachineDescriptor&)> adjust;
};

class FixtureMachine {
 public:
  explicit FixtureMachine(MachineOptions options = {}) {
    static std::atomic<int> counter{0};
    dir_ = std::filesystem::temp_directory_path() /
           ("bc-cat-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir_);
    MachineDescriptor d = platform::sim::MakeDefaultDescriptor({options.windows, options.arch});
    if (options.adjust) options.adjust(d);
    std::string error;
    if (!platform::sim::CreateMachine(dir_, d, &error)) throw std::runtime_error(error);
    machine_ = platform::sim::SimMachine::Open(dir_, &error);
    if (!machine_) throw std::runtime_error(error);
  }
  ~FixtureMachine() {
    machine_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  FixtureMachine(const FixtureMachine&) = delete;
  FixtureMachine& operator=(const FixtureMachine&) = delete;

  platform::sim::SimMachine& Machine() { return *machine_; }
  bool Is64Bit() const { return machine_->Descriptor().Is64Bit(); }

  // Applies registration-file text (the header line may be left out) as an import of the
  // machine's recipe does: straight into the hives, keys in the native view.
  FixtureMachine& Reg(std::string_view text) {
    std::u16string full(kRegFileHeader5);
    full += u"\r\n\r\n";
    full += Utf8ToUtf16(text);
    const RegFileParseResult parsed = ParseRegFileText(full);
    if (!parsed.ok) {
      throw std::runtime_error("bad fixture .reg text at line " + std::to_string(parsed.errorLine) +
                               ": " + Utf16ToUtf8(parsed.error));
    }
    std::size_t failed = 0;
    std::string error;
    if (!machine_->Registry().ImportBulk(parsed.ops, &failed, &error) || failed != 0) {
      throw std::runtime_error("fixture .reg text not applied: " + error);
    }
    return *this;
  }

  // Makes a key (full path, "HKEY_LOCAL_MACHINE\\...") refuse write access to every process
  // started from now on, the fixture's own writes included.
  FixtureMachine& Deny(std::string_view fullKeyPath) {
    machine_->MutableDescriptor().deniedKeys.push_back(Utf8ToUtf16(fullKeyPath));
    return *this;
  }

  // Creates empty files at Windows paths ("C:\Program Files\X\x.dll"); a path ending in "\"
  // makes a folder.
  FixtureMachine& Files(std::initializer_list<std::string_view> paths) {
    for (std::string_view path : paths) CreateFile(path);
    return *this;
  }
  void CreateFile(std::string_view windowsPath) {
    if (windowsPath.size() < 3 || windowsPath[1] != ':') {
      throw std::runtime_error("not a drive path: " + std::string(windowsPath));
    }
    std::string relative(1, windowsPath[0]);
    for (char c : windowsPath.substr(2)) relative += c == '\\' ? '/' : c;
    const std::filesystem::path host = dir_ / relative;
    if (relative.back() == '/') {
      std::filesystem::create_directories(host);
      return;
    }
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << "";
  }

 private:
  std::filesystem::path dir_;
  std::unique_ptr<platform::sim::SimMachine> machine_;
};

// What a scan of the machine needs, as the scan command sets it up: a 32-bit process of the
// current user (elevated unless told otherwise), the engine context with the machine's built-in
// skip lists, the file references, a stop event, and file-system redirection turned off for the
// calling thread as the scan thread does.
class ScanSession {
 public:
  explicit ScanSession(FixtureMachine& machine, bool elevated = true) {
    process_ = machine.Machine().StartProcess(
        {u"", elevated, false, u"C:\\Program Files\\Brellum\\BrellumKV.exe", u""});
    if (!process_) throw std::runtime_error("cannot start the scanning process");
    ctx_ = std::make_unique<engine::EngineContext>(*process_, engine::ReadSystemFacts(*process_));
    skipLists_ = engine::CSkipLists::ForMachine(process_->Shell(), process_->Files());
    ctx_->hooks.isReportableKey = [this](std::u16string_view key) {
      return skipLists_->IsReportableKey(key);
    };
    ctx_->hooks.skipEmptyKeys = [this] { return skipEmptyKeys; };
    ctx_->hooks.lookupText = [](std::u16string_view key) {
      return u"<" + std::u16string(key) + u">";
    };
    ctx_->hooks.writeLogLine = [this](std::u16string_view) {
      if (onProblem) onProblem();
    };
    fileRefs_ = std::make_unique<engine::CFileReferences>(*ctx_, *skipLists_);
    redirectionOff_ = ctx_->Facts().wow64 &&
                      process_->System().Wow64DisableWow64FsRedirection(&redirection_) != 0;
  }
  ~ScanSession() {
    if (redirectionOff_) process_->System().Wow64RevertWow64FsRedirection(redirection_);
  }
  ScanSession(const ScanSession&) = delete;
  ScanSession& operator=(const ScanSession&) = delete;

  // A category of this session, attached to its stop event.
  template <typename Category>
  std::unique_ptr<Category> Make() {
    auto category = std::make_unique<Category>(*ctx_, *fileRefs_);
    category->AttachStopEvent(&stopEvent);
    return category;
  }

  engine::EngineContext& Context() { return *ctx_; }
  engine::CFileReferences& FileRefs() { return *fileRefs_; }
  platform::sim::SimProcess& Process() { return *process_; }

  // The skip-empty-keys setting (on by default, as in the settings).
  bool skipEmptyKeys = true;
  // Called for every problem the gate accepts (it logs each one).
  std::function<void()> onProblem;
  engine::ManualResetEvent stopEvent;

 private:
  std::unique_ptr<platform::sim::SimProcess> process_;
  std::unique_ptr<engine::EngineContext> ctx_;
  std::unique_ptr<engine::CSkipLists> skipLists_;
  std::unique_ptr<engine::CFileReferences> fileRefs_;
  platform::Wow64RedirectionValue redirection_{};
  bool redirectionOff_ = false;
};

// A finding as the tests write it: UTF-8, display lines included.
struct Finding {
  int entryType = 0;
  std::string key;
  std::string valueName;
  std::string valueData;
  int is32 = 0;
  std::vector<std::string> lines;

  bool operator==(const Finding&) const = default;
  auto operator<=>(const Finding&) const = default;
};

inline Finding ToFinding(const engine::CProblem& p) {
  Finding f{p.EntryType,
            Utf16ToUtf8(p.Key),
            Utf16ToUtf8(p.ValueName),
            Utf16ToUtf8(p.ValueData),
            p.Is32BitEntry,
            {}};
  for (const auto& line : p.DisplayTexts) f.lines.push_back(Utf16ToUtf8(line));
  return f;
}

// Findings in a fixed order, for comparing lists whose order the scan does not fix.
inline std::vector<Finding> Sorted(std::vector<Finding> v) {
  std::sort(v.begin(), v.end());
  return v;
}

template <typename Category>
std::vector<Finding> FindingsOf(const Category& category) {
  std::vector<Finding> out;
  for (const auto& p : category.Problems()) out.push_back(ToFinding(*p));
  return out;
}

inline std::ostream& operator<<(std::ostream& os, const Finding& f) {
  os << "{" << f.entryType << ", " << f.key << ", '" << f.valueName << "', '" << f.valueData
     << "', is32 " << f.is32 << ", [";
  for (std::size_t i = 0; i < f.lines.size(); ++i) os << (i ? " | " : "") << f.lines[i];
  return os << "]}";
}

}  // namespace bc::categories::testing
