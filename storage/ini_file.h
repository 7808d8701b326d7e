// Profile (INI) files as the Windows profile-string reader sees them: sections in brackets,
// key=value lines, names compared without regard to case, the first section and the first key of
// a name winning, blanks around names and values ignored, and matching quotes around a value
// removed. Any byte sequence parses; what is not a section or a key line is skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text.h"

namespace bc::storage {

// The text of a profile file: UTF-16LE or UTF-16BE after their byte-order marks, UTF-8 after its
// mark or when the bytes are valid UTF-8, otherwise Windows-1252.
std::u16string DecodeProfileText(std::span<const std::uint8_t> bytes);

class CIniFile {
 public:
  CIniFile() = default;
  static CIniFile Parse(std::u16string_view text);
  static CIniFile FromBytes(std::span<const std::uint8_t> bytes) {
    return Parse(DecodeProfileText(bytes));
  }

  // The value as written in the file (blanks around it removed), or nothing.
  std::optional<std::u16string_view> FindRaw(std::u16string_view section,
                                             std::u16string_view key) const;

  // GetPrivateProfileStringW into a buffer of bufferChars characters (NUL included): the value
  // without a pair of matching single or double quotes around it, cut to bufferChars - 1
  // characters and at an embedded NUL; def when the key is missing.
  std::u16string GetString(std::u16string_view section, std::u16string_view key,
                           std::u16string_view def, std::size_t bufferChars) const;

  bool HasSection(std::u16string_view section) const;

 private:
  using KeyMap = std::unordered_map<std::u16string, std::u16string, NoCaseHash, NoCaseEqual>;
  std::unordered_map<std::u16string, KeyMap, NoCaseHash, NoCaseEqual> sections_;
};

}  // namespace bc::storage
