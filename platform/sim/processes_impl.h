// Starting programs on a simulated machine, shared by CreateProcessW and ShellExecuteW.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/processes_objects.h"

namespace bc::platform::sim {

class SimProcess;

// The first element of a command line (quoted or up to the first blank).
std::u16string FirstCommandLineElement(std::u16string_view line);

// The full path of a program as SearchPathW finds it (".exe" added to a name without extension).
std::optional<std::u16string> FindProgram(SimProcess& process, std::u16string_view program);

enum class StartKind {
  kCreateProcess,  // CreateProcessW: never prompts; ERROR_ELEVATION_REQUIRED when it would
  kShellExecute,   // ShellExecuteW "open": prompts for programs that ask for the highest level
  kRunAs,          // ShellExecuteW "runas": always prompts (on XP: starts as the caller)
};

// Starts a program as parent's user. A program file that is not on the machine may still start
// when a handler is bound to its name. The elevation prompt is refused by the machine's setting
// and by users who are not administrators (ERROR_CANCELLED). nullptr with *error
// (ERROR_FILE_NOT_FOUND, ERROR_CANCELLED, ERROR_ELEVATION_REQUIRED, ERROR_ACCESS_DENIED) on
// failure. A program found in SysWOW64 runs as 32-bit, one in System32 or the Windows folder as
// 64-bit, any other as 32-bit.
std::shared_ptr<ProcessObject> StartProgram(SimProcess& parent, std::u16string_view program,
                                            std::u16string_view commandLine, StartKind kind,
                                            LSTATUS* error);

}  // namespace bc::platform::sim
