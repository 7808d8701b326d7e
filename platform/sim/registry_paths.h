// Files the registry names by Windows paths (hive files, saved keys): where they are in the
// machine folder, and how hivelist writes them (native device form).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/sim/descriptor.h"
#include "platform/win32_types.h"

namespace bc::platform::sim {

// Maps "C:\...", "\??\C:\...", "\\?\C:\...", "\Device\HarddiskVolumeN\..." and
// "\SystemRoot\..." to the host file in the machine folder, matching each existing name ignoring
// case. The last name need not exist; every folder above it must (else ERROR_PATH_NOT_FOUND).
// Relative paths and unknown drives answer ERROR_PATH_NOT_FOUND / ERROR_INVALID_DRIVE.
LSTATUS HostPathOf(const std::filesystem::path& machineFolder, const MachineDescriptor& d,
                   std::u16string_view windowsPath, std::filesystem::path* out);

// As HostPathOf, but creates the folders above the file that are missing.
LSTATUS CreateFoldersFor(const std::filesystem::path& machineFolder, const MachineDescriptor& d,
                         std::u16string_view windowsPath, std::filesystem::path* out);

// The device name of a drive as QueryDosDeviceW gives it: fixed drives are
// "\Device\HarddiskVolume1", "...2" in the order of the descriptor, CD-ROM drives
// "\Device\CdRom0", removable drives "\Device\Floppy0"..., network drives
// "\Device\LanmanRedirector\;X:0". Empty for an unknown drive.
std::u16string DriveDeviceName(const MachineDescriptor& d, char16_t letter);

// "C:\Windows\System32\config\SAM" -> "\Device\HarddiskVolume1\Windows\System32\config\SAM".
std::u16string NativeDevicePath(const MachineDescriptor& d, std::u16string_view windowsPath);

}  // namespace bc::platform::sim
