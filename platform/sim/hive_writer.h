// The compact hive writer: lays a registry tree out as a regf file with no free space between
// cells, the way a saved key (RegSaveKeyW) comes out. libhivex never reuses the cells it frees,
// so every bulk build (machine creation, large imports, saved keys) goes through here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/sim/hive_tree.h"

namespace bc::platform::sim {

struct HiveWriteOptions {
  std::uint32_t minorVersion = 5;  // 3 on Windows XP, 5 on Vista and 7
  FileTime timestamp = 0;          // base block, and keys that carry no time of their own
  std::u16string fileName;         // its tail is kept in the base block, as Windows does
  // Self-relative security descriptor shared by every key; empty: the machine default.
  std::vector<std::uint8_t> security;
};

std::vector<std::uint8_t> WriteCompactHive(const HiveKey& root, const HiveWriteOptions& options);

// Security descriptors for keys of machine hives (administrators and SYSTEM full control, users
// read) and of a user's hives (that user too has full control).
std::vector<std::uint8_t> MachineKeySecurity();
std::vector<std::uint8_t> UserKeySecurity(std::u16string_view userSid);

// Writes the bytes beside the file, flushes them to disk and renames them over the file, so the
// file is either the old one or the new one, never a mixture.
bool ReplaceFileAtomically(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
                           std::string* error);

// Writes every byte to fd, retrying short and interrupted writes.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes);

// The last step of a replacement: flushes tmp (written beside file) to disk, renames it over file
// and flushes the folder. On failure tmp is removed and errno tells why.
enum class MoveFailure { kNone, kFlush, kRename };
MoveFailure MoveIntoPlace(const std::filesystem::path& tmp, const std::filesystem::path& file);

}  // namespace bc::platform::sim
