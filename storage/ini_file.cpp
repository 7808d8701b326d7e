#include "storage/ini_file.h"

namespace bc::storage {

namespace {

// Windows-1252 bytes 0x80-0x9F; the five unassigned ones map to the C1 control of the same
// number, as MultiByteToWideChar does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsValidUtf8(std::span<const std::uint8_t> b) {
  std::size_t i = 0;
  while (i < b.size()) {
    const std::uint8_t c = b[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t n;
    std::uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      n = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (b.size() - i <= n) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      if ((b[i + k] & 0xC0) != 0x80) return false;
      cp = cp << 6 | (b[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF.
    if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

std::u16string DecodeUtf16(std::span<const std::uint8_t> b, bool bigEndian) {
  std::u16string out(b.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    const std::uint8_t lo = b[2 * i + (bigEndian ? 1 : 0)];
    const std::uint8_t hi = b[2 * i + (bigEndian ? 0 : 1)];
    out[i] = static_cast<char16_t>(lo | hi << 8);
  }
  return out;
}

bool IsProfileSpace(char16_t c) {
  return c == 0x1A || IsSpace(c);
}

std::u16string_view TrimProfile(std::u16string_view s) {
  while (!s.empty() && IsProfileSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsProfileSpace(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::u16string DecodeProfileText(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
    return DecodeUtf16(bytes.subspan(2), false);
  if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
    return DecodeUtf16(bytes.subspan(2), true);
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    bytes = bytes.subspan(3);
  else if (!IsValidUtf8(bytes)) {
    std::u16string out(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const std::uint8_t c = bytes[i];
      out[i] = c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char16_t>(c);
    }
    return out;
  }
  return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

CIniFile CIniFile::Parse(std::u16string_view text) {
  CIniFile ini;
  KeyMap* current = nullptr;  // keys before the first section belong to no section
  KeyMap ignored;             // a repeated section: its keys are never looked at
  while (!text.empty()) {
    const std::size_t end = text.find(u'\n');
    std::u16string_view line = text.substr(0, end);
    text.remove_prefix(end == std::u16string_view::npos ? text.size() : end + 1);

    line = TrimProfile(line);
    if (line.empty()) continue;
    if (line.front() == u'[') {
      const std::size_t close = line.rfind(u']');
      if (close != std::u16string_view::npos) {
        const std::u16string name(TrimProfile(line.substr(1, close - 1)));
        auto [it, added] = ini.sections_.try_emplace(name);
        if (added) {
          current = &it->second;
        } else {
          ignored.clear();
          current = &ignored;
        }
        continue;
      }
    }
    const std::size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos || !current) continue;
    const std::u16string_view name = TrimProfile(line.substr(0, eq));
    if (name.empty()) continue;
    current->try_emplace(std::u16string(name), TrimProfile(line.substr(eq + 1)));
  }
  return ini;
}

std::optional<std::u16string_view> CIniFile::FindRaw(std::u16string_view section,
                                                     std::u16string_view key) const {
  const auto s = sections_.find(std::u16string(TrimProfile(section)));
  if (s == sections_.end()) return std::nullopt;
  const auto k = s->second.find(std::u16string(TrimProfile(key)));
  if (k == s->second.end()) return std::nullopt;
  return std::u16string_view(k->second);
}

std::u16string CIniFile::GetString(std::u16string_view section, std::u16string_view key,
                                   std::u16string_view def, std::size_t bufferChars) const {
  if (bufferChars == 0) return {};
  std::u16string_view value = FindRaw(section, key).value_or(def);
  const std::size_t nul = value.find(u'\0');
  if (nul != std::u16string_view::npos) value = value.substr(0, nul);
  bool quoted = false;
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
      value.back() == value.front()) {
    value.remove_prefix(1);
    quoted = true;
  }
  if (value.size() > bufferChars - 1) return std::u16string(value.substr(0, bufferChars - 1));
  if (quoted) value.remove_suffix(1);
  return std::u16string(value);
}

bool CIniFile::HasSection(std::u16string_view section) const {
  return sections_.count(std::u16string(TrimProfile(section))) != 0;
}

}  // namespace bc::storage
