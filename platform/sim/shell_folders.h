// Where a machine of a given Windows version keeps its standard folders: profiles, special
// folders by CSIDL, the temporary folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/sim/descriptor.h"

namespace bc::platform::sim {

// "C:\Documents and Settings" (XP) or "C:\Users".
std::u16string ProfilesDirectory(const MachineDescriptor& d);
// The all-users profile: "...\All Users" on XP, "C:\ProgramData" on 6.x.
std::u16string AllUsersProfile(const MachineDescriptor& d);
// Where the shared desktop and documents live: the all-users profile on XP, "C:\Users\Public".
std::u16string PublicProfile(const MachineDescriptor& d);
// The system folder "C:\Windows\system32" and the 32-bit one "C:\Windows\SysWOW64".
std::u16string SystemDirectory(const MachineDescriptor& d);
std::u16string SystemWow64Directory(const MachineDescriptor& d);
// The user's temporary folder (no trailing "\").
std::u16string UserTempDirectory(const MachineDescriptor& d, const UserAccount& user);

// The path of a special folder (csidl without flags) for the user; wow64 selects the 32-bit
// program folders. nullopt for an unknown csidl; an empty text for a virtual folder
// (CSIDL_NETWORK) that has no file-system path.
std::optional<std::u16string> SpecialFolderPath(const MachineDescriptor& d, const UserAccount& user,
                                                bool wow64, int csidl);

// Every csidl SpecialFolderPath knows with a file-system path (for laying out machines).
std::vector<int> FileSystemCsidls();

}  // namespace bc::platform::sim
