// Test fixtures for simulated machines: a temporary folder that removes itself, and a machine made
// in one from a descriptor and a few lines of registration-file text.
//
//   testing::MachineFixture m({.windows = "7", .arch = Arch::x64, .reg = R"(
//       [HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]
//       "Path"="C:\\x.exe")"});
//   auto p = m.Start({.elevated = true});
//   p->Registry().RegOpenKeyExW(...);
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/regfile.h"
#include "base/text.h"
#include "platform/sim/descriptor.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/sim/registry_state.h"

namespace bc::platform::sim::testing {

// A fresh folder under the system's temporary folder, deleted with everything in it.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("bc-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Registration-file text (the header line may be left out) as operations; throws on bad text.
inline std::vector<RegFileOp> ParseFixtureReg(std::string_view text) {
  std::u16string full = Utf8ToUtf16(text);
  if (TrimView(full).rfind(kRegFileHeader5, 0) != 0 &&
      TrimView(full).rfind(kRegFileHeader4, 0) != 0) {
    full = std::u16string(kRegFileHeader5) + u"\r\n\r\n" + full;
  }
  RegFileParseResult parsed = ParseRegFileText(full);
  if (!parsed.ok) {
    throw std::runtime_error("bad fixture .reg text at line " + std::to_string(parsed.errorLine) +
                             ": " + Utf16ToUtf8(parsed.error));
  }
  return std::move(parsed.ops);
}

struct FixtureOptions {
  std::string windows = "7";  // "xp", "vista" or "7"
  Arch arch = Arch::x64;
  std::u16string user = u"Alice";
  bool admin = true;
  // Registry content written into the hives before the machine is opened (native view; HKCU is
  // the current user, HKCR the machine's classes).
  std::string reg;
  // Changes to the descriptor before the machine is made (more users, denied keys ...).
  std::function<void(MachineDescriptor&)> adjust;
};

struct ProcessOptions {
  bool elevated = false;
  bool is64Bit = false;  // the product's programs are 32-bit
  std::u16string user;   // empty: the current user
};

// A machine made with CreateMachine in a temporary folder and opened.
class MachineFixture {
 public:
  explicit MachineFixture(FixtureOptions options = {}) {
    MachineDescriptor d =
        MakeDefaultDescriptor({options.windows, options.arch, options.user, options.admin});
    if (options.adjust) options.adjust(d);
    std::string error;
    if (!CreateMachine(folder_.Path(), d, &error)) throw std::runtime_error(error);
    Open();
    if (!options.reg.empty()) Reg(options.reg);
  }
  ~MachineFixture() { machine_.reset(); }

  SimMachine& Machine() { return *machine_; }
  const std::filesystem::path& Folder() const { return folder_.Path(); }

  std::unique_ptr<SimProcess> Start(ProcessOptions o = {}) {
    const std::u16string program = u"C:\\Program Files\\Fixture\\fixture.exe";
    auto p = machine_->StartProcess({o.user, o.elevated, o.is64Bit, program, program});
    if (!p) throw std::runtime_error("the machine refused to start the process");
    return p;
  }

  // Writes more registry content straight into the hive files (compactly).
  void Reg(std::string_view text) {
    std::size_t failed = 0;
    std::string error;
    if (!machine_->Registry().ImportBulk(ParseFixtureReg(text), &failed, &error)) {
      throw std::runtime_error("fixture .reg text not applied: " + error);
    }
  }

  // Flushes and replaces the machine object by a fresh one on the same folder.
  void Reopen() {
    machine_.reset();
    Open();
  }
  // Shuts the machine object (its processes must be gone); Open starts it again.
  void Close() { machine_.reset(); }
  void Open() {
    std::string error;
    machine_ = SimMachine::Open(folder_.Path(), &error);
    if (!machine_) throw std::runtime_error(error);
  }
  // A second, independent machine object on the same folder (another process's view).
  std::unique_ptr<SimMachine> OpenAnother() {
    std::string error;
    auto m = SimMachine::Open(folder_.Path(), &error);
    if (!m) throw std::runtime_error(error);
    return m;
  }

 private:
  TempFolder folder_;
  std::unique_ptr<SimMachine> machine_;
};

}  // namespace bc::platform::sim::testing
