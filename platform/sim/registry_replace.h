// Hive replacements arranged with RegReplaceKeyW wait in "pending-hive-replacements.json" in the
// machine folder until the next boot of the machine applies them: the hive file becomes oldFile
// and newFile takes the hive file's name.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/descriptor.h"

namespace bc::platform::sim {

inline constexpr const char* kPendingReplacementsFile = "pending-hive-replacements.json";

struct PendingHiveReplacement {
  std::u16string hive;     // Windows path of the hive file
  std::u16string newFile;  // Windows paths as the caller gave them
  std::u16string oldFile;
};

// Adds one entry (a later entry for the same hive replaces the earlier one).
bool RecordHiveReplacement(const std::filesystem::path& machineFolder,
                           const PendingHiveReplacement& entry, std::string* error);
std::vector<PendingHiveReplacement> PendingHiveReplacements(
    const std::filesystem::path& machineFolder, std::string* error);

// Applies every pending replacement by renaming files, then removes the record. Meant for the
// machine's boot, while no SimMachine has the folder open. An entry whose files are missing is
// skipped and reported in *error; the others are still applied.
bool ApplyPendingHiveReplacements(const std::filesystem::path& machineFolder,
                                  const MachineDescriptor& d, std::string* error);

}  // namespace bc::platform::sim
