// The product as its installer lays it out on a machine: the program folder with the main
// program's path and its language files.
#pragma once

#include <filesystem>
#include <string>

#include "platform/sim/descriptor.h"

namespace bc::platform::sim {

class SimMachine;

// "...\Tessaly Works\Brellum Corvane\BrellumKV.exe" in the 32-bit program folder.
std::u16string ProductProgramPath(const MachineDescriptor& d);

// Copies every *.ini of langDir (a host folder) into the program folder's "LANG" folder, as an
// elevated installer process of the machine would. False and a one-line reason on failure.
bool InstallProduct(SimMachine& machine, const std::filesystem::path& langDir, std::string* error);

}  // namespace bc::platform::sim
