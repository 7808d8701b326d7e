#include "base/text.h"

#include <unicode/uchar.h>

#include <array>
#include <memory>

namespace bc {
namespace {

// Case tables for every BMP code unit, built once from ICU's simple mappings.
struct CaseTables {
  std::array<char16_t, 0x10000> upper;
  std::array<char16_t, 0x10000> lower;
  CaseTables() {
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
      const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
      UChar32 up = surrogate ? c : u_toupper(static_cast<UChar32>(c));
      UChar32 lo = surrogate ? c : u_tolower(static_cast<UChar32>(c));
      upper[c] = up < 0x10000 ? static_cast<char16_t>(up) : static_cast<char16_t>(c);
      lower[c] = lo < 0x10000 ? static_cast<char16_t>(lo) : static_cast<char16_t>(c);
    }
  }
};

const CaseTables& Tables() {
  static const auto* tables = new CaseTables();  // lives for the process; never torn down
  return *tables;
}

}  // namespace

char16_t ToUpper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  return Tables().upper[c];
}

char16_t ToLower(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  return Tables().lower[c];
}

void MakeUpper(std::u16string& s) {
  for (auto& c : s) c = ToUpper(c);
}
void MakeLower(std::u16string& s) {
  for (auto& c : s) c = ToLower(c);
}
std::u16string ToUpper(std::u16string_view s) {
  std::u16string r(s);
  MakeUpper(r);
  return r;
}
std::u16string ToLower(std::u16string_view s) {
  std::u16string r(s);
  MakeLower(r);
  return r;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = ToLower(a[i]);
    const char16_t y = ToLower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && ToLower(a[i]) != ToLower(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::u16string_view s, std::u16string_view suffix) {
  return s.size() >= suffix.size() && EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

std::size_t FindNoCase(std::u16string_view hay, std::u16string_view needle, std::size_t pos) {
  if (needle.empty()) return pos <= hay.size() ? pos : std::u16string_view::npos;
  if (hay.size() < needle.size()) return std::u16string_view::npos;
  const char16_t first = ToLower(needle[0]);
  for (std::size_t i = pos; i + needle.size() <= hay.size(); ++i) {
    if (ToLower(hay[i]) != first) continue;
    if (EqualsNoCase(hay.substr(i + 1, needle.size() - 1), needle.substr(1))) return i;
  }
  return std::u16string_view::npos;
}

bool IsSpace(char16_t c) {
  switch (c) {
    case u' ': case u'\t': case u'\n': case u'\v': case u'\f': case u'\r':
    case 0x00A0: case 0x3000: case 0xFEFF:
      return true;
    default:
      return (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029;
  }
}

std::u16string_view TrimView(std::u16string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::u16string Trim(std::u16string_view s) { return std::u16string(TrimView(s)); }

std::size_t ReplaceAll(std::u16string& s, std::u16string_view from, std::u16string_view to) {
  if (from.empty()) return 0;
  std::size_t count = 0;
  std::u16string out;
  std::size_t start = 0;
  for (std::size_t hit; (hit = s.find(from, start)) != std::u16string::npos; start = hit + from.size()) {
    out.append(s, start, hit - start);
    out.append(to);
    ++count;
  }
  if (count == 0) return 0;
  out.append(s, start, std::u16string::npos);
  s = std::move(out);
  return count;
}

Split SplitFirst(std::u16string_view s, char16_t sep) {
  const auto at = s.find(sep);
  if (at == std::u16string_view::npos) return {s, {}, false};
  return {s.substr(0, at), s.substr(at + 1), true};
}

Split SplitLast(std::u16string_view s, char16_t sep) {
  const auto at = s.rfind(sep);
  if (at == std::u16string_view::npos) return {s, {}, false};
  return {s.substr(0, at), s.substr(at + 1), true};
}

std::vector<std::u16string_view> SplitAll(std::u16string_view s, char16_t sep) {
  std::vector<std::u16string_view> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = s.find(sep, start)) != std::u16string_view::npos; start = at + 1) {
    parts.push_back(s.substr(start, at - start));
  }
  parts.push_back(s.substr(start));
  return parts;
}

std::size_t NoCaseHash::operator()(std::u16string_view s) const noexcept {
  std::size_t h = 1469598103934665603ull;  // FNV-1a over the lower-cased units
  for (char16_t c : s) {
    h ^= ToLower(c);
    h *= 1099511628211ull;
  }
  return h;
}

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string Utf8ToUtf16(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const std::size_t n = in.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    std::uint32_t cp = 0;
    std::size_t len = 0;
    std::uint32_t min = 0;
    if ((b & 0xE0) == 0xC0) { cp = b & 0x1F; len = 2; min = 0x80; }
    else if ((b & 0xF0) == 0xE0) { cp = b & 0x0F; len = 3; min = 0x800; }
    else if ((b & 0xF8) == 0xF0) { cp = b & 0x07; len = 4; min = 0x10000; }
    bool ok = len != 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    std::uint32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace bc
