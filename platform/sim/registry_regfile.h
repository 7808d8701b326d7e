// Registration files applied to and taken from a registry, the way the registry editor's "/s"
// import and "/e" export do it, through the registry interface of some process.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/regfile.h"
#include "platform/registry.h"

namespace bc::platform::sim {

class SimMachine;

// "HKEY_LOCAL_MACHINE" ... "HKEY_CURRENT_CONFIG" (long names only) to the predefined handle;
// kNullKey for anything else.
HKEY RootFromName(std::u16string_view name);

// Applies the operations in order: keys are created, "[-key]" deletes a whole subtree, "=-"
// deletes a value. Deleting what is not there is not an error. Returns the number of
// operations that failed; *firstError describes the first of them.
std::size_t ImportRegOps(IRegistry& registry, const std::vector<RegFileOp>& ops,
                         std::string* firstError);

// Appends the blocks of the key and of every key below it, in registry order. samView is the
// view bit to open keys with (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY). In the native view the
// Wow6432Node key is a key like any other, so the 32-bit branch is exported once, below it.
// False when the key does not open (nothing is appended).
bool ExportRegKey(IRegistry& registry, std::u16string_view fullKeyName, REGSAM samView,
                  RegFileWriter& out);

// Imports as the machine tool does. Large files (kBulkImportFrom operations or more), and
// machines whose current user is no administrator, go straight into the hive files, each hive
// being rewritten compactly once; the others go through an elevated process of the machine's own
// bitness, in place, as "regedit /s" would. Returns the number of operations that failed.
inline constexpr std::size_t kBulkImportFrom = 2000;
std::size_t ImportIntoMachine(SimMachine& machine, const std::vector<RegFileOp>& ops,
                              std::string* firstError);

// The whole registry as the registry editor exports it: HKEY_LOCAL_MACHINE, then HKEY_USERS
// (the other roots are views of these two).
void ExportRegistry(IRegistry& registry, REGSAM samView, RegFileWriter& out);

}  // namespace bc::platform::sim
