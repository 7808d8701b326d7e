// One process of a simulated machine: a user, an elevation, a bitness, a program.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace bc::platform::sim {

class ProcessState;  // handles, per-thread state, environment, token (processes_state.h)

struct ProcessIdentity {
  UserAccount user;
  bool elevated = false;
  bool is64Bit = false;
  std::u16string programPath;
  std::u16string commandLine;
  // A 32-bit process on a 64-bit machine.
  bool wow64 = false;
};

class SimProcess final : public IPlatform {
 public:
  SimProcess(SimMachine& machine, ProcessIdentity identity);
  ~SimProcess() override;  // process exit: pending registry changes reach the hive files

  SimMachine& Machine() { return machine_; }
  const ProcessIdentity& Identity() const { return identity_; }
  ProcessState& State() { return *state_; }

  IRegistry& Registry() override { return *registry_; }
  IFileSystem& Files() override { return *files_; }
  IShell& Shell() override { return *shell_; }
  ISystem& System() override { return *system_; }
  IProcesses& Processes() override { return *processes_; }

 private:
  SimMachine& machine_;
  ProcessIdentity identity_;
  std::unique_ptr<ProcessState> state_;  // made first: the interfaces below use it
  std::unique_ptr<IRegistry> registry_;
  std::unique_ptr<IFileSystem> files_;
  std::unique_ptr<IShell> shell_;
  std::unique_ptr<ISystem> system_;
  std::unique_ptr<IProcesses> processes_;
};

// Factories, one per implementation file.
std::unique_ptr<IRegistry> MakeSimRegistry(SimProcess& process);
std::unique_ptr<IFileSystem> MakeSimFileSystem(SimProcess& process);
std::unique_ptr<IShell> MakeSimShell(SimProcess& process);
std::unique_ptr<ISystem> MakeSimSystem(SimProcess& process);
std::unique_ptr<IProcesses> MakeSimProcesses(SimProcess& process);

}  // namespace bc::platform::sim
