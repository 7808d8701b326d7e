// Placeholder implementations until the file, shell, system and process calls are built.
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "platform/sim/files_state.h"
#include "platform/sim/process.h"
#include "platform/system.h"

namespace bc::platform::sim {

class DirectoryCache {};
class NamedObjects {};
class ProgramTable {};

FilesState::FilesState(SimMachine& machine)
    : machine_(machine), openedAt_(std::chrono::steady_clock::now()) {}
FilesState::~FilesState() = default;

std::unique_ptr<IFileSystem> MakeSimFileSystem(SimProcess&) { return nullptr; }
std::unique_ptr<IShell> MakeSimShell(SimProcess&) { return nullptr; }
std::unique_ptr<ISystem> MakeSimSystem(SimProcess&) { return nullptr; }
std::unique_ptr<IProcesses> MakeSimProcesses(SimProcess&) { return nullptr; }

}  // namespace bc::platform::sim
