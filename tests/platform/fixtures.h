// Test fixtures for simulated machines: a temporary folder that removes itself, and a builder that
// makes a machine in it from a few lines of registration-file text.
//
//   auto m = testing::MachineBuilder().Windows("7").Arch(Arch::x64).Reg(R"(
//       [HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]
//       "Path"="C:\\x.exe")").Build();
//   auto p = m.Start({.elevated = true});
//   p->Registry().RegOpenKeyExW(...);
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/sim/descriptor.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"

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

}  // namespace bc::platform::sim::testing
