// The recycle bin of a simulated machine, laid out as Windows of the machine's version keeps it:
// "RECYCLER\<SID>" with "D<drive><n><ext>" items and an INFO2 index on XP, "$Recycle.Bin\<SID>"
// with "$R..." items and "$I..." records on Windows 6.x.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/files_internal.h"

namespace bc::platform::sim {

class SimMachine;

// Moves an existing file or folder into its drive's recycle bin for the process's user.
// ERROR_SUCCESS or a Win32 status.
LSTATUS RecycleItem(SimProcess& process, const ResolvedPath& item);

struct RecycledItem {
  std::u16string originalPath;  // where it was
  std::u16string storedPath;    // the item in the recycle bin (Windows path)
  FileTime deletedAt = 0;
  std::uint64_t size = 0;
};

// What the recycle bin of a drive holds for a SID, oldest first.
std::vector<RecycledItem> ListRecycleBin(SimMachine& machine, char16_t drive,
                                         std::u16string_view sid);
// Puts an item back where it was; false with a reason when the place is taken or it is gone.
bool RestoreRecycledItem(SimMachine& machine, char16_t drive, std::u16string_view sid,
                         const RecycledItem& item, std::string* error);

}  // namespace bc::platform::sim
