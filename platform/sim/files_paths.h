// Windows path normalization of the simulated machine: full path names, their parts, and the
// WOW64 file-system redirection. Text only; no host files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/descriptor.h"
#include "platform/win32_types.h"

namespace bc::platform::sim {

// GetFullPathNameW's rules: "/" becomes "\", runs of separators collapse, "." and ".." are applied
// (".." stops at the root), trailing dots and blanks of each name are dropped, relative forms
// ("x", "\x", "C:x") are taken against currentDirectory (a full "C:\..." path). A "\\?\" prefix
// is taken literally. A trailing "\" is kept. nullopt with *error set for empty or malformed text.
std::optional<std::u16string> FullPathName(std::u16string_view path,
                                           std::u16string_view currentDirectory, LSTATUS* error);

// A full path on a drive letter, split into names.
struct DrivePath {
  char16_t drive = u'C';              // upper case
  std::vector<std::u16string> parts;  // names below the root
  bool trailingSeparator = false;
  std::u16string ToString() const;  // "C:\a\b", "C:\" for the root
};

// Splits a full path ("C:\...") into drive and names. Names holding < > : " | ? * or control
// characters answer ERROR_INVALID_NAME; wildcards ? and * are allowed in the last name when
// wildcardsInLast is set. Reserved device names (CON, NUL, COM1 ...) answer ERROR_FILE_NOT_FOUND.
// UNC and device paths answer ERROR_BAD_NETPATH / ERROR_PATH_NOT_FOUND. Paths longer than
// MAX_PATH - 1 characters answer ERROR_FILENAME_EXCED_RANGE.
std::optional<DrivePath> SplitDrivePath(std::u16string_view fullPath, bool wildcardsInLast,
                                        LSTATUS* error);

// What a 32-bit process with redirection on sees on a 64-bit machine: System32 (except catroot,
// catroot2, drivers\etc, logfiles, spool, and driverstore on Windows 7) becomes SysWOW64,
// Sysnative becomes System32, lastgood\system32 becomes lastgood\SysWOW64, and regedit.exe of the
// Windows folder becomes SysWOW64\regedit.exe. Returns true when it changed the path.
bool RedirectForWow64(const MachineDescriptor& d, DrivePath* path);

// The machine's Windows folder, system folders and drive letter as DrivePath parts.
DrivePath WindowsFolderPath(const MachineDescriptor& d);

// True when the name is one of DOS's reserved device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9),
// with or without an extension.
bool IsReservedDeviceName(std::u16string_view name);

}  // namespace bc::platform::sim
