// A small simulated machine in a temporary folder for the file, shell, process and system tests:
// the default machine of a version and architecture (its descriptor adjustable), and processes
// of it.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/text.h"
#include "platform/sim/descriptor.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"

namespace bc::platform::sim::testing {

class TestMachine {
 public:
  explicit TestMachine(const std::string& windows = "7", Arch arch = Arch::x64,
                       const std::function<void(MachineDescriptor&)>& adjust = {}) {
    static std::atomic<int> counter{0};
    dir_ = std::filesystem::temp_directory_path() /
           ("bc-files-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir_);
    MachineDescriptor d = MakeDefaultDescriptor({windows, arch, u"Alice", true});
    if (adjust) adjust(d);
    std::string error;
    if (!CreateMachine(dir_, d, &error)) throw std::runtime_error(error);
    machine_ = SimMachine::Open(dir_, &error);
    if (!machine_) throw std::runtime_error(error);
  }
  ~TestMachine() {
    machine_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  SimMachine& Machine() { return *machine_; }
  const std::filesystem::path& Dir() const { return dir_; }

  // A process of the current user (32-bit, the product's kind unless said otherwise).
  std::unique_ptr<SimProcess> Start(bool elevated = false, bool is64Bit = false,
                                    std::u16string user = u"",
                                    std::u16string program = u"C:\\Program Files\\App\\app.exe") {
    return machine_->StartProcess({std::move(user), elevated, is64Bit, program, program});
  }

  // Writes a host file below the machine folder ("C/Windows/x.dll"), making its folders.
  std::filesystem::path Put(const std::string& relative, const std::string& bytes = "x") {
    const auto p = dir_ / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

 private:
  std::filesystem::path dir_;
  std::unique_ptr<SimMachine> machine_;
};

}  // namespace bc::platform::sim::testing
