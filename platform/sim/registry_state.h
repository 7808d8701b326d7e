// Machine-wide registry state: the mounted hives of a SimMachine.
#pragma once

#include <memory>
#include <string>

namespace bc::platform::sim {

class SimMachine;

class RegistryState {
 public:
  // Mounts the machine's hives; nullptr and a reason naming the file when one is damaged.
  static std::unique_ptr<RegistryState> Mount(SimMachine& machine, std::string* error);
  ~RegistryState();
};

}  // namespace bc::platform::sim
