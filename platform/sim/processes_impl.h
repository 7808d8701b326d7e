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

// Starts a program as parent's user. A program file that is not on the machine may still start
// when a handler is bound to its name. nullptr with *error (ERROR_FILE_NOT_FOUND,
// ERROR_ACCESS_DENIED) on failure.
std::shared_ptr<ProcessObject> StartProgram(SimProcess& parent, std::u16string_view program,
                                            std::u16string_view commandLine, bool elevated,
                                            LSTATUS* error);

}  // namespace bc::platform::sim
