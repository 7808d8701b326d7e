// A simulated Windows machine opened from its folder. Machine-wide state (mounted hives, file
// caches, named objects) lives here; each process of the machine is a SimProcess.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/sim/descriptor.h"

namespace bc::platform::sim {

class RegistryState;  // mounted hives (registry_state.h)
class FilesState;     // directory caches, named objects (files_state.h)
class SimProcess;

// Who a process runs as and what kind of binary it is.
struct ProcessSpec {
  std::u16string user;         // empty: the machine's current user
  bool elevated = false;       // an elevated token (administrators only)
  bool is64Bit = false;        // the product's programs are 32-bit
  std::u16string programPath;  // Windows path of the program on the machine
  std::u16string commandLine;
};

// Makes a new machine in dir (created when missing): the folder skeleton, machine.json and the
// standard hives of that Windows version for the machine and every user. Fails, with a one-line
// reason, when dir already holds a machine or the host refuses a file.
bool CreateMachine(const std::filesystem::path& dir, const MachineDescriptor& d,
                   std::string* error);

class SimMachine {
 public:
  // Opens the machine in dir; nullptr and a one-line reason in *error when it is not a machine
  // or one of its hives is damaged.
  static std::unique_ptr<SimMachine> Open(const std::filesystem::path& dir, std::string* error);
  ~SimMachine();
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  const std::filesystem::path& Folder() const { return folder_; }
  const MachineDescriptor& Descriptor() const { return descriptor_; }
  MachineDescriptor& MutableDescriptor() { return descriptor_; }
  bool SaveDescriptor(std::string* error) const;

  RegistryState& Registry() { return *registry_; }
  FilesState& Files() { return *files_; }

  // A process of this machine. Fails (nullptr) for an unknown user or an elevated non-admin.
  // The user's hives are mounted under HKEY_USERS if they were not yet.
  std::unique_ptr<SimProcess> StartProcess(const ProcessSpec& spec);

 private:
  SimMachine(std::filesystem::path folder, MachineDescriptor d);
  std::filesystem::path folder_;
  MachineDescriptor descriptor_;
  std::unique_ptr<RegistryState> registry_;
  std::unique_ptr<FilesState> files_;
};

}  // namespace bc::platform::sim
