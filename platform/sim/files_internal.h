// Shared by the sim's file, shell and process calls: a Windows path resolved for one process,
// the write rule for system folders, and the pending-rename list.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/files_cache.h"
#include "platform/sim/files_paths.h"
#include "platform/sim/files_state.h"

namespace bc::platform::sim {

class SimProcess;

struct ResolvedPath {
  DrivePath win;      // what the file calls act on (after WOW64 redirection)
  DrivePath display;  // the full path as the caller named it
  HostLocation loc;
};

// Full path name, drive split, WOW64 redirection of the calling thread, host mapping. nullopt
// with the thread's last error set when the path is malformed or its drive is missing.
std::optional<ResolvedPath> ResolvePath(SimProcess& process, std::u16string_view path);

// Whether the process may create, change or delete things at this path: only administrators
// (elevated on Windows 6.x) write below the Windows folder, the Program Files folders, the
// all-users Start Menu and the shared desktop.
bool MayWriteTo(SimProcess& process, const DrivePath& win);

// Appends one entry to the machine's pending-rename list (under a file lock).
bool AppendPendingRename(const std::filesystem::path& machineDir, const PendingRename& entry,
                         std::string* error);

}  // namespace bc::platform::sim
