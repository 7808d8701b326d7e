// Where a machine keeps its hives, and what a freshly installed machine has in them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/descriptor.h"
#include "platform/sim/hive_tree.h"

namespace bc::platform::sim {

enum class HiveKind { kSystem, kSoftware, kSam, kSecurity, kDefault, kComponents, kUser, kClasses };

struct HiveLocation {
  HiveKind kind = HiveKind::kSystem;
  std::u16string mountName;    // "SYSTEM", ".DEFAULT", "<SID>", "<SID>_Classes"
  bool underUsers = false;     // HKEY_USERS, else HKEY_LOCAL_MACHINE
  std::u16string windowsPath;  // "C:\Windows\System32\config\SYSTEM"
  std::u16string ownerSid;     // empty: a machine hive
  // "\REGISTRY\MACHINE\SYSTEM", "\REGISTRY\USER\<SID>_Classes"
  std::u16string NativeName() const;
};

// The machine hives in the order Windows loads them (and hivelist lists them).
std::vector<HiveLocation> MachineHiveLocations(const MachineDescriptor& d);
// The user's NTUSER.DAT and UsrClass.dat.
std::vector<HiveLocation> UserHiveLocations(const MachineDescriptor& d, const UserAccount& user);

// What the hive holds on a freshly installed machine.
std::unique_ptr<HiveKey> StandardHiveContents(const MachineDescriptor& d,
                                              const HiveLocation& where);

// The machine clock as FILETIME: the descriptor's fixed clock, else the host clock.
FileTime MachineFileTime(const MachineDescriptor& d);

// "ControlSet001" for Select\Current = 1.
inline constexpr const char16_t* kCurrentControlSet = u"ControlSet001";

}  // namespace bc::platform::sim
