// Machine-wide file-system state: directory caches and named objects of a SimMachine.
#pragma once

#include <memory>

namespace bc::platform::sim {

class SimMachine;

class FilesState {
 public:
  explicit FilesState(SimMachine& machine);
  ~FilesState();
};

}  // namespace bc::platform::sim
