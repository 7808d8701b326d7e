// A simulated machine in a temporary folder for the storage tests, with its clock fixed.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/descriptor.h"
#include "platform/sim/files_state.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "tests/platform/fixtures.h"

namespace bc::storage::testing {

// 2026-12-09 10:00:00 UTC, a Wednesday.
inline constexpr std::int64_t kDecember9th2026 = 1796810400;

inline constexpr std::u16string_view kProgramPath =
    u"C:\\Program Files (x86)\\Tessaly Works\\Brellum Corvane\\BrellumKV.exe";

class StorageMachine {
 public:
  explicit StorageMachine(std::int64_t clock = kDecember9th2026, int utcOffsetMinutes = 0) {
    platform::sim::CreateOptions options;
    auto d = platform::sim::MakeDefaultDescriptor(options);
    d.clock = clock;
    d.utcOffsetMinutes = utcOffsetMinutes;
    std::string error;
    if (!platform::sim::CreateMachine(folder_.Path(), d, &error)) {
      ADD_FAILURE() << error;
      return;
    }
    machine_ = platform::sim::SimMachine::Open(folder_.Path(), &error);
    if (!machine_) ADD_FAILURE() << error;
  }

  bool Ok() const { return machine_ != nullptr; }
  platform::sim::SimMachine& Machine() { return *machine_; }

  std::unique_ptr<platform::sim::SimProcess> Start(bool elevated = false) {
    platform::sim::ProcessSpec spec;
    spec.elevated = elevated;
    spec.programPath = std::u16string(kProgramPath);
    spec.commandLine = u"\"" + spec.programPath + u"\"";
    return machine_->StartProcess(spec);
  }

  std::filesystem::path Host(std::u16string_view windowsPath) {
    return machine_->Files().HostPath(windowsPath).value_or(std::filesystem::path());
  }

 private:
  platform::sim::testing::TempFolder folder_;
  std::unique_ptr<platform::sim::SimMachine> machine_;
};

}  // namespace bc::storage::testing
