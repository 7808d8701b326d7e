// The regf hive file format: the constants and small computations shared by the compact writer
// and the checks made before a hive file is trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace bc::platform::sim::hive {

inline constexpr std::size_t kBaseBlockSize = 4096;
inline constexpr std::size_t kHbinHeaderSize = 32;
inline constexpr std::size_t kHbinUnit = 4096;
// Cell offsets in the file are relative to the first hbin.
inline constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
// Largest data that one cell holds in hives of minor version 4 and later; more goes to a "db".
inline constexpr std::size_t kBigDataSegment = 16344;

// Base block fields.
inline constexpr std::size_t kOffSeq1 = 0x04;
inline constexpr std::size_t kOffSeq2 = 0x08;
inline constexpr std::size_t kOffTimestamp = 0x0C;
inline constexpr std::size_t kOffMajor = 0x14;
inline constexpr std::size_t kOffMinor = 0x18;
inline constexpr std::size_t kOffType = 0x1C;
inline constexpr std::size_t kOffFormat = 0x20;
inline constexpr std::size_t kOffRootCell = 0x24;
inline constexpr std::size_t kOffBinsSize = 0x28;
inline constexpr std::size_t kOffCluster = 0x2C;
inline constexpr std::size_t kOffFileName = 0x30;  // 64 bytes of UTF-16LE
inline constexpr std::size_t kOffChecksum = 0x1FC;

// nk cell layout (offsets after the 4-byte cell size).
inline constexpr std::size_t kNkHeaderSize = 0x4C;
inline constexpr std::uint16_t kNkHiveEntry = 0x0004;
inline constexpr std::uint16_t kNkNoDelete = 0x0008;
inline constexpr std::uint16_t kNkCompressedName = 0x0020;
// vk cell layout.
inline constexpr std::size_t kVkHeaderSize = 0x14;
inline constexpr std::uint16_t kVkCompressedName = 0x0001;
inline constexpr std::uint32_t kVkDataInline = 0x80000000u;
// Leaves of the subkey index hold at most this many entries; larger lists go through an "ri".
inline constexpr std::size_t kMaxLeafEntries = 512;

inline std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// XOR of the first 508 bytes of the base block, as 32-bit words.
std::uint32_t BaseBlockChecksum(std::span<const std::uint8_t> baseBlock);

// The hash an "lh" leaf stores for a subkey name: name upper-cased per code unit, h = h*37 + c.
std::uint32_t LeafHash(std::u16string_view name);

// Key and value names compare the way the registry does: upper-cased per code unit. Sub-keys are
// kept (and enumerated) in this order.
bool SameName(std::u16string_view a, std::u16string_view b);
int CompareNames(std::u16string_view a, std::u16string_view b);
std::size_t NameHash(std::u16string_view name);
struct NameHasher {
  std::size_t operator()(std::u16string_view s) const noexcept { return NameHash(s); }
};
struct NameEqual {
  bool operator()(std::u16string_view a, std::u16string_view b) const noexcept {
    return SameName(a, b);
  }
};

// True when every code unit fits in Latin-1, so the name can be stored in compressed form.
bool FitsLatin1(std::u16string_view name);

// Checks the base block and the hbin chain of the file before it is handed to libhivex: magic,
// version, checksum, declared size against the real size (a truncated file fails here), hbin
// headers. Returns an empty string when the file looks sound, else a reason.
std::string CheckHiveFile(const std::filesystem::path& file);

// Same check on bytes already in memory.
std::string CheckHiveBytes(std::span<const std::uint8_t> bytes);

}  // namespace bc::platform::sim::hive
