// Registration files in the registry editor's text format: a writer that builds the text of a
// "Windows Registry Editor Version 5.00" file line by line, and a parser that turns such a file
// (or a "REGEDIT4" one) into a list of operations for the caller to apply to a registry.
// Value types are the registry's type numbers (REG_SZ = 1 ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bc {

inline constexpr std::u16string_view kRegFileHeader5 = u"Windows Registry Editor Version 5.00";
inline constexpr std::u16string_view kRegFileHeader4 = u"REGEDIT4";

// Collects the lines of a registration file. The first line is always the header; the caller
// (the registry exporter) adds key headers and value lines in registry order.
class RegFileWriter {
 public:
  RegFileWriter() { Reset(); }
  // Back to the header line only.
  void Reset();
  // "\r\n[" fullKeyName "]\r\n" - the leading CR LF makes the blank line before each key.
  void AddKeyHeader(std::u16string_view fullKeyName);
  // One value line. name empty = the default value ("@"). REG_SZ data is read up to its first
  // NUL; REG_DWORD with exactly 4 bytes prints dword:; everything else prints hex bytes.
  void AddValue(std::u16string_view name, std::uint32_t type, std::span<const std::uint8_t> data);

  const std::vector<std::u16string>& lines() const { return lines_; }
  // All lines joined, without byte-order mark.
  std::u16string Text() const;
  // What goes into the file: the UTF-16LE byte-order mark, then the text as UTF-16LE.
  std::vector<std::uint8_t> FileBytes() const;

 private:
  std::vector<std::u16string> lines_;
};

// The text of one value line (with its CR LF), as AddValue appends it.
std::u16string RegFileValueLine(std::u16string_view name, std::uint32_t type,
                                std::span<const std::uint8_t> data);

// One change described by a registration file.
struct RegFileOp {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = Kind::kCreateKey;
  std::u16string key;              // full key name as written: root long name, '\', path
  std::u16string valueName;        // kSetValue / kDeleteValue; empty = default value
  std::uint32_t type = 0;          // kSetValue
  std::vector<std::uint8_t> data;  // kSetValue; strings as UTF-16LE with terminating NUL
  std::size_t line = 0;            // 1-based line where the entry starts
};

struct RegFileParseResult {
  bool ok = false;
  std::vector<RegFileOp> ops;  // empty unless ok
  std::size_t errorLine = 0;   // 1-based line of the first malformed entry (0: whole file)
  std::u16string error;        // what is wrong there
};

// Parses a file's bytes: "Windows Registry Editor Version 5.00" in UTF-16LE (with or without
// byte-order mark) or UTF-8 (with or without), or "REGEDIT4" in Windows-1252. Keys must start
// with HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS or
// HKEY_CURRENT_CONFIG. On the first malformed entry nothing is returned but the error.
RegFileParseResult ParseRegFile(std::span<const std::uint8_t> fileBytes);
// The same for text already decoded; the header line picks the dialect (REGEDIT4 string data
// in hex form is narrow and gets widened to UTF-16LE, as the registry does for narrow writes).
RegFileParseResult ParseRegFileText(std::u16string_view text);

}  // namespace bc
