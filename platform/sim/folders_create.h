// Lays out the folder skeleton of a freshly installed Windows machine (system folders, small
// system files, program folders, user and all-users profiles, recycle bin) under a machine folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/descriptor.h"

namespace bc::platform::sim {

// Creates every drive folder of the descriptor and, on the system drive, the folders and files a
// machine of that Windows version and architecture has after installation. Existing files are
// kept. Throws std::filesystem::filesystem_error when the host refuses to create something.
void LayOutMachineFolders(const std::filesystem::path& machineDir, const MachineDescriptor& d);

// The Windows paths of the system files such a machine has (the programs, libraries, drivers and
// fonts Windows itself installs); Windows File Protection guards them unless the descriptor names
// its own list.
std::vector<std::u16string> StandardSystemFiles(const MachineDescriptor& d);

}  // namespace bc::platform::sim
