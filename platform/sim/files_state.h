// Machine-wide state behind the file, shell, system and process calls of a SimMachine: the
// directory-listing cache, named objects, top-level windows and the programs the machine can
// start.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/descriptor.h"
#include "platform/win32_types.h"

namespace bc::platform::sim {

class SimMachine;
class SimProcess;
class DirectoryCache;  // files_cache.h
class OpenFiles;       // files_cache.h
class NamedObjects;    // processes_objects.h
class ProgramTable;    // processes_programs.h

// A program started on the machine. The handler runs on a thread of its own with the new process
// (its identity holds the program path and the command line); its answer is the exit code.
using ProgramHandler = std::function<std::uint32_t(SimProcess& process)>;

// The execution level a program's manifest asks for. highestAvailable (the registry editor):
// an administrator's unelevated start goes through the elevation prompt (ShellExecuteW) or fails
// with ERROR_ELEVATION_REQUIRED (CreateProcessW) on Windows 6.x; others run it as they are.
enum class ExecutionLevel { asInvoker, highestAvailable };

class FilesState {
 public:
  explicit FilesState(SimMachine& machine);
  ~FilesState();
  FilesState(const FilesState&) = delete;
  FilesState& operator=(const FilesState&) = delete;

  SimMachine& Machine() { return machine_; }
  DirectoryCache& Cache() { return *cache_; }
  OpenFiles& Open() { return *openFiles_; }
  NamedObjects& Objects() { return *objects_; }
  ProgramTable& Programs() { return *programs_; }
  std::chrono::steady_clock::time_point OpenedAt() const { return openedAt_; }

  // The host path of a full Windows path ("C:\...") on this machine. Existing names are matched
  // without regard to case; names that do not exist are kept as written. No WOW64 redirection.
  // nullopt when the path is malformed or not on one of the machine's drives.
  std::optional<std::filesystem::path> HostPath(std::u16string_view windowsPath);
  // Call after changing host files of the machine directly (listings also notice changed folder
  // modification times, so this is needed only for changes within a few milliseconds).
  void ForgetListings();

  // Binds a Windows program name ("regedit.exe", case ignored) or a full program path to a
  // built-in handler. A later binding of the same name replaces the earlier one.
  void RegisterProgram(std::u16string_view program, ProgramHandler handler,
                       ExecutionLevel level = ExecutionLevel::asInvoker);
  // Binds a program name to a host executable: it is started with leadingArgs, then the Windows
  // command line's arguments, and the environment variables BC_SIM_MACHINE (machine folder),
  // BC_SIM_USER, BC_SIM_ELEVATED ("1"/"0"), BC_SIM_PROGRAM and BC_SIM_COMMANDLINE (UTF-8).
  void RegisterHostProgram(std::u16string_view program, std::filesystem::path executable,
                           std::vector<std::string> leadingArgs);

 private:
  SimMachine& machine_;
  std::chrono::steady_clock::time_point openedAt_;
  std::unique_ptr<DirectoryCache> cache_;
  std::unique_ptr<OpenFiles> openFiles_;
  std::unique_ptr<NamedObjects> objects_;
  std::unique_ptr<ProgramTable> programs_;
};

// File renames and deletions recorded by MoveFileExW(MOVEFILE_DELAY_UNTIL_REBOOT), applied in
// order by the machine's next boot. The list lives in the machine folder.
inline constexpr const char* kPendingRenamesFileName = "pending-file-renames.json";
struct PendingRename {
  std::u16string from;  // Windows paths
  std::u16string to;    // empty: delete
  bool replaceExisting = false;
};
std::vector<PendingRename> ReadPendingRenames(const std::filesystem::path& machineDir);
// Applies and clears the list (done by the boot of the machine tool); false and a one-line reason
// in *error when a step failed (the remaining steps still run).
bool ApplyPendingRenames(SimMachine& machine, std::string* error);

}  // namespace bc::platform::sim
