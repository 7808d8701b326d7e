#include "platform/sim/process.h"

#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/sim/processes_state.h"
#include "platform/system.h"

namespace bc::platform::sim {

SimProcess::SimProcess(SimMachine& machine, ProcessIdentity identity)
    : machine_(machine), identity_(std::move(identity)) {
  state_ = std::make_unique<ProcessState>(*this);
  registry_ = MakeSimRegistry(*this);
  files_ = MakeSimFileSystem(*this);
  shell_ = MakeSimShell(*this);
  system_ = MakeSimSystem(*this);
  processes_ = MakeSimProcesses(*this);
}

SimProcess::~SimProcess() = default;

}  // namespace bc::platform::sim
