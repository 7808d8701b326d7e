#include "platform/sim/hive_format.h"

#include <cstdio>
#include <fstream>
#include <vector>

#include "base/text.h"

namespace bc::platform::sim::hive {

std::uint32_t BaseBlockChecksum(std::span<const std::uint8_t> baseBlock) {
  std::uint32_t sum = 0;
  for (std::size_t off = 0; off + 4 <= kOffChecksum && off + 4 <= baseBlock.size(); off += 4) {
    sum ^= Get32(baseBlock.data() + off);
  }
  return sum;
}

std::uint32_t LeafHash(std::u16string_view name) {
  std::uint32_t h = 0;
  for (char16_t c : name) h = h * 37u + ToUpper(c);
  return h;
}

namespace {
// Names are nearly always ASCII; the table lookup is for the rest.
inline char16_t Upper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  return ToUpper(c);
}
}  // namespace

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = Upper(a[i]);
    const char16_t y = Upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::size_t NameHash(std::u16string_view name) {
  std::size_t h = 1469598103934665603ull;
  for (char16_t c : name) {
    h ^= Upper(c);
    h *= 1099511628211ull;
  }
  return h;
}

bool FitsLatin1(std::u16string_view name) {
  for (char16_t c : name) {
    if (c > 0xFF) return false;
  }
  return true;
}

namespace {

std::string Hex(std::size_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%zx", v);
  return buf;
}

}  // namespace

std::string CheckHiveBytes(std::span<const std::uint8_t> b) {
  if (b.size() < kBaseBlockSize + kHbinUnit) return "file too small to be a registry hive";
  const std::uint8_t* p = b.data();
  if (p[0] != 'r' || p[1] != 'e' || p[2] != 'g' || p[3] != 'f') return "not a registry hive file";
  if (Get32(p + kOffMajor) != 1) return "unsupported hive version";
  if (Get32(p + kOffType) != 0) return "not a primary hive file";
  if (BaseBlockChecksum(b.first(kBaseBlockSize)) != Get32(p + kOffChecksum)) {
    return "bad checksum in the hive header";
  }
  if (Get32(p + kOffSeq1) != Get32(p + kOffSeq2)) return "hive was not written completely";
  const std::size_t bins = Get32(p + kOffBinsSize);
  if (bins == 0 || bins % kHbinUnit != 0) return "bad hive data size in the header";
  if (kBaseBlockSize + bins > b.size()) return "hive file is truncated";
  const std::size_t root = Get32(p + kOffRootCell);
  bool rootSeen = false;

  std::size_t off = 0;
  while (off < bins) {
    const std::uint8_t* h = p + kBaseBlockSize + off;
    if (h[0] != 'h' || h[1] != 'b' || h[2] != 'i' || h[3] != 'n') {
      return "missing hbin at " + Hex(off);
    }
    const std::size_t size = Get32(h + 8);
    if (Get32(h + 4) != off || size < kHbinUnit || size % kHbinUnit != 0 || off + size > bins) {
      return "bad hbin header at " + Hex(off);
    }
    std::size_t cell = off + kHbinHeaderSize;
    while (cell < off + size) {
      const auto raw = static_cast<std::int32_t>(Get32(p + kBaseBlockSize + cell));
      const std::size_t len = raw < 0 ? static_cast<std::size_t>(-static_cast<std::int64_t>(raw))
                                      : static_cast<std::size_t>(raw);
      if (len < 8 || len % 8 != 0 || cell + len > off + size) {
        return "bad cell at " + Hex(cell);
      }
      if (cell == root) {
        const std::uint8_t* c = p + kBaseBlockSize + cell + 4;
        if (raw >= 0 || c[0] != 'n' || c[1] != 'k') return "bad root key cell";
        rootSeen = true;
      }
      cell += len;
    }
    off += size;
  }
  if (!rootSeen) return "root key cell not found";
  return {};
}

std::string CheckHiveFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "cannot open the hive file";
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) return "cannot read the hive file";
  return CheckHiveBytes(bytes);
}

}  // namespace bc::platform::sim::hive
