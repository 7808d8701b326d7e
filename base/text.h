// UTF-16 text helpers. The core text type is std::u16string; case mapping works per UTF-16
// code unit, the way the Windows character functions do.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bc {

using u16 = std::u16string;
using u16view = std::u16string_view;

// UTF-8 <-> UTF-16. Ill-formed input (lone surrogates, bad UTF-8) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Single code unit case mapping (simple Unicode mapping; surrogates unchanged).
char16_t ToUpper(char16_t c);
char16_t ToLower(char16_t c);
std::u16string ToUpper(std::u16string_view s);
std::u16string ToLower(std::u16string_view s);
void MakeUpper(std::u16string& s);
void MakeLower(std::u16string& s);

// The C runtime's _wcsicmp: both sides folded to lower case, compared by code unit.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix);
bool EndsWithNoCase(std::u16string_view s, std::u16string_view suffix);
// Position of needle in hay at or after pos ignoring case, or npos.
std::size_t FindNoCase(std::u16string_view hay, std::u16string_view needle, std::size_t pos = 0);
inline bool ContainsNoCase(std::u16string_view hay, std::u16string_view needle) {
  return FindNoCase(hay, needle) != std::u16string_view::npos;
}

// White space as iswspace sees it in the C locale plus the Unicode blanks Windows trims.
bool IsSpace(char16_t c);
std::u16string_view TrimView(std::u16string_view s);
std::u16string Trim(std::u16string_view s);

// Replaces every occurrence of from (non-empty) by to; returns the number replaced.
std::size_t ReplaceAll(std::u16string& s, std::u16string_view from, std::u16string_view to);

// Splits at the first / last occurrence of sep. Without sep: {s, ""} and found = false.
struct Split {
  std::u16string_view head;
  std::u16string_view tail;
  bool found = false;
};
Split SplitFirst(std::u16string_view s, char16_t sep);
Split SplitLast(std::u16string_view s, char16_t sep);
std::vector<std::u16string_view> SplitAll(std::u16string_view s, char16_t sep);

// Case-insensitive hash and equality for unordered containers keyed by text.
struct NoCaseHash {
  std::size_t operator()(std::u16string_view s) const noexcept;
};
struct NoCaseEqual {
  bool operator()(std::u16string_view a, std::u16string_view b) const noexcept {
    return EqualsNoCase(a, b);
  }
};
struct NoCaseLess {
  bool operator()(std::u16string_view a, std::u16string_view b) const noexcept {
    return CompareNoCase(a, b) < 0;
  }
};

// ASCII-only conversion for literals and host-side names known to be ASCII.
std::u16string Ascii(std::string_view s);

}  // namespace bc
