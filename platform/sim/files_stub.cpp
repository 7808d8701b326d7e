// Placeholder implementations until the file, shell, system and process calls are built.
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "platform/sim/files_state.h"
#include "platform/sim/process.h"
#include "platform/system.h"

namespace bc::platform::sim {

FilesState::FilesState(SimMachine&) {}
FilesState::~FilesState() = default;

std::unique_ptr<IFileSystem> MakeSimFileSystem(SimProcess&) { return std::make_unique<IFileSystem>(); }
std::unique_ptr<IShell> MakeSimShell(SimProcess&) { return std::make_unique<IShell>(); }
std::unique_ptr<ISystem> MakeSimSystem(SimProcess&) { return std::make_unique<ISystem>(); }
std::unique_ptr<IProcesses> MakeSimProcesses(SimProcess&) { return std::make_unique<IProcesses>(); }

}  // namespace bc::platform::sim
