// The programs a simulated machine can start: built-in handlers and host executables bound to
// Windows program names, the runs they make, and the record of what was started.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/text.h"
#include "platform/sim/files_state.h"
#include "platform/sim/processes_objects.h"

namespace bc::platform::sim {

// One start, as the machine saw it.
struct ProgramStart {
  std::u16string program;      // Windows path (or the name given when no file was found)
  std::u16string commandLine;  // the full command line
  std::u16string user;
  bool elevated = false;
  bool bound = false;  // a handler or host program ran; false: the file was only "opened"
};

class ProgramTable {
 public:
  explicit ProgramTable(SimMachine& machine);
  ~ProgramTable();  // waits for every program still running

  void Register(std::u16string_view program, ProgramHandler handler, ExecutionLevel level);
  void RegisterHost(std::u16string_view program, std::filesystem::path executable,
                    std::vector<std::string> leadingArgs);
  // Whether a handler or host program is bound to this path or its file name.
  bool IsBound(std::u16string_view programPath);
  ExecutionLevel LevelOf(std::u16string_view programPath);

  // Starts programPath (a Windows path) with the command line as user, elevated or not, is64Bit
  // or not. A program that is bound to nothing ends at once with exit code 0. nullptr with
  // *error when the process cannot be made (unknown user, elevation of a non-administrator).
  std::shared_ptr<ProcessObject> Start(std::u16string_view programPath,
                                       std::u16string_view commandLine, std::u16string_view user,
                                       bool elevated, bool is64Bit, LSTATUS* error);

  // Every start so far, oldest first.
  std::vector<ProgramStart> History();

 private:
  struct Binding {
    ProgramHandler handler;
    ExecutionLevel level = ExecutionLevel::asInvoker;
    std::filesystem::path executable;
    std::vector<std::string> leadingArgs;
  };
  const Binding* Find(std::u16string_view programPath);  // under mutex_

  SimMachine& machine_;
  std::mutex mutex_;
  std::map<std::u16string, Binding, NoCaseLess> bindings_;
  struct Run {
    std::thread thread;
    std::shared_ptr<ProcessObject> process;
  };
  std::vector<Run> running_;
  std::vector<ProgramStart> history_;
};

// Binds the machine's own system programs: "shutdown.exe" (records the request in the machine
// folder as "shutdown-request.txt" for the machine's next boot and ends) and "regedit.exe" (the
// registry editor's "/s FILE" and "/i /s FILE" imports and "/e FILE [KEY]" export, through the
// registry as the editor's process sees it; exit code 0, or 1 when the file cannot be read,
// parsed or written, or an entry could not be applied).
void RegisterSystemPrograms(FilesState& files);

}  // namespace bc::platform::sim
