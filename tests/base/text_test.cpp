#include "base/text.h"

#include <gtest/gtest.h>

namespace bc {
namespace {

TEST(TextCase, MapsOneCodeUnitAtATime) {
  struct Row {
    char16_t lower, upper;
  };
  const Row rows[] = {
      {u'a', u'A'},     {u'z', u'Z'},     {0x00E9, 0x00C9},  // é É
      {0x00FF, 0x0178},                                      // ÿ Ÿ: leaves Latin-1 upward
      {0x03B1, 0x0391}, {0x03C9, 0x03A9},                    // α Α, ω Ω
      {0x044F, 0x042F}, {0x0451, 0x0401},                    // я Я, ё Ё
      {0xFF41, 0xFF21},                                      // fullwidth a A
  };
  for (const auto& r : rows) {
    EXPECT_EQ(ToUpper(r.lower), r.upper) << std::hex << int(r.lower);
    EXPECT_EQ(ToLower(r.upper), r.lower) << std::hex << int(r.upper);
    EXPECT_EQ(ToUpper(r.upper), r.upper);
    EXPECT_EQ(ToLower(r.lower), r.lower);
  }
  // Characters without a single-unit mapping stay as they are.
  const char16_t unchanged[] = {
      u'1',           u'_',   u'[',   0x00DF /* ß: upper form is two letters */,
      0x00D7 /* × */, 0xD800, 0xDBFF, 0xDC00,
      0xDFFF,         0xFFFF};
  for (char16_t c : unchanged) {
    EXPECT_EQ(ToUpper(c), c) << std::hex << int(c);
    EXPECT_EQ(ToLower(c), c) << std::hex << int(c);
  }
  // Final sigma upper-cases to the one capital sigma.
  EXPECT_EQ(ToUpper(char16_t{0x03C2}), char16_t{0x03A3});
  EXPECT_EQ(ToUpper(u"stra\u00DFe \u0434\u043E\u043C"), u"STRA\u00DFE \u0414\u041E\u041C");
  // A surrogate pair passes through untouched (U+10428 DESERET SMALL LONG I has an upper form).
  EXPECT_EQ(ToUpper(u"\U00010428"), u"\U00010428");
}

TEST(TextCompare, FoldsToLowerThenComparesCodeUnits) {
  struct Row {
    std::u16string_view a, b;
    int sign;
  };
  const Row rows[] = {
      {u"abc", u"ABC", 0},
      {u"HKEY_LOCAL_MACHINE", u"hkey_local_machine", 0},
      {u"\u0391\u03B2", u"\u03B1\u0392", 0},  // Greek letters in mixed case
      {u"abc", u"abd", -1},
      {u"ab", u"abc", -1},
      {u"", u"", 0},
      {u"", u"a", -1},
      // '_' (0x5F) and '[' (0x5B) lie between the upper- and lower-case ASCII letters: folding
      // to lower case puts them before every letter, folding to upper case would not.
      {u"_", u"A", -1},
      {u"[", u"a", -1},
      {u"Z", u"_", 1},
  };
  for (const auto& r : rows) {
    const int got = CompareNoCase(r.a, r.b);
    EXPECT_EQ((got > 0) - (got < 0), r.sign) << Utf16ToUtf8(r.a) << " vs " << Utf16ToUtf8(r.b);
    const int back = CompareNoCase(r.b, r.a);
    EXPECT_EQ((back > 0) - (back < 0), -r.sign);
    EXPECT_EQ(EqualsNoCase(r.a, r.b), r.sign == 0);
    EXPECT_EQ(NoCaseLess()(r.a, r.b), r.sign < 0);
  }
  EXPECT_EQ(NoCaseHash()(u"Software\\Classes"), NoCaseHash()(u"SOFTWARE\\classes"));
  EXPECT_TRUE(StartsWithNoCase(u"HKEY_USERS\\S-1", u"hkey_users"));
  EXPECT_FALSE(StartsWithNoCase(u"HKEY", u"hkey_users"));
  EXPECT_TRUE(EndsWithNoCase(u"C:\\WINDOWS\\notepad.EXE", u".exe"));
  EXPECT_FALSE(EndsWithNoCase(u"exe", u".exe"));
}

TEST(TextFind, IgnoresCaseAndHonoursStart) {
  constexpr auto npos = std::u16string_view::npos;
  struct Row {
    std::u16string_view hay, needle;
    std::size_t pos, want;
  };
  const Row rows[] = {
      {u"C:\\Program Files\\App", u"program files", 0, 3},
      {u"abcABC", u"abc", 1, 3},
      {u"abcABC", u"abc", 4, npos},
      {u"abc", u"abcd", 0, npos},
      {u"aaab", u"aab", 0, 1},  // a partial match must not skip the real one
      {u"\u0416\u0443\u043A", u"\u0436\u0423", 0, 0},
      {u"abc", u"", 2, 2},
      {u"abc", u"", 3, 3},
      {u"abc", u"", 4, npos},
      {u"abc", u"c", 99, npos},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(FindNoCase(r.hay, r.needle, r.pos), r.want)
        << Utf16ToUtf8(r.hay) << " / " << Utf16ToUtf8(r.needle) << " @" << r.pos;
  }
  EXPECT_TRUE(ContainsNoCase(u"HKLM\\SOFTWARE\\Wow6432Node\\x", u"\\wow6432node"));
}

TEST(TextTrim, RemovesBlanksAtBothEndsOnly) {
  struct Row {
    std::u16string_view in, want;
  };
  const Row rows[] = {
      {u"  a b  ", u"a b"},
      {u"\t\r\n a\tb \r\n", u"a\tb"},
      {u"\u00A0\u3000x\uFEFF", u"x"},  // no-break, ideographic space, byte-order mark
      {u"   ", u""},
      {u"", u""},
      {u"x", u"x"},
  };
  for (const auto& r : rows) EXPECT_EQ(Trim(r.in), r.want) << Utf16ToUtf8(r.in);
}

TEST(TextReplace, ReplacesEveryOccurrenceOnce) {
  struct Row {
    std::u16string in;
    std::u16string_view from, to;
    std::u16string want;
    std::size_t count;
  };
  const Row rows[] = {
      {u"a\\b\\c", u"\\", u"\\\\", u"a\\\\b\\\\c", 2},
      {u"aaa", u"aa", u"b", u"ba", 1},
      {u"abc", u"b", u"bb", u"abbc", 1},  // the replacement is not searched again
      {u"abc", u"x", u"y", u"abc", 0},
      {u"abc", u"", u"y", u"abc", 0},
      {u"abab", u"ab", u"", u"", 2},
  };
  for (auto r : rows) {
    EXPECT_EQ(ReplaceAll(r.in, r.from, r.to), r.count);
    EXPECT_EQ(r.in, r.want);
  }
}

TEST(TextSplit, AtFirstAndLastSeparator) {
  const auto first = SplitFirst(u"HKEY_LOCAL_MACHINE\\Software\\X", u'\\');
  EXPECT_TRUE(first.found);
  EXPECT_EQ(first.head, u"HKEY_LOCAL_MACHINE");
  EXPECT_EQ(first.tail, u"Software\\X");
  const auto last = SplitLast(u"HKEY_LOCAL_MACHINE\\Software\\X", u'\\');
  EXPECT_EQ(last.head, u"HKEY_LOCAL_MACHINE\\Software");
  EXPECT_EQ(last.tail, u"X");
  const auto none = SplitFirst(u"abc", u'\\');
  EXPECT_FALSE(none.found);
  EXPECT_EQ(none.head, u"abc");
  EXPECT_EQ(none.tail, u"");
  EXPECT_FALSE(SplitLast(u"", u'\\').found);
  const auto edge = SplitLast(u"abc\\", u'\\');
  EXPECT_TRUE(edge.found);
  EXPECT_EQ(edge.tail, u"");
  EXPECT_EQ(SplitAll(u"a,,b,", u','), (std::vector<std::u16string_view>{u"a", u"", u"b", u""}));
}

TEST(TextUtf8, RoundTripsAndReplacesIllFormedInput) {
  const std::u16string samples[] = {u"", u"plain", u"h\u00E9llo \u20AC", u"\U0001D11E clef",
                                    u"\u0416\uFFFF\u0000x"};
  for (const auto& s : samples) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(s)), s);
  EXPECT_EQ(Utf16ToUtf8(u"\u20AC"), "\xE2\x82\xAC");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001D11E"), "\xF0\x9D\x84\x9E");

  struct Bad {
    std::string_view utf8;
    std::u16string_view want;
  };
  const Bad bad[] = {
      {"a\xC3", u"a\uFFFD"},                              // truncated sequence at the end
      {"\xC3(", u"\uFFFD("},                              // bad continuation byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xFF\xFEz", u"\uFFFD\uFFFDz"},
  };
  for (const auto& b : bad) EXPECT_EQ(Utf8ToUtf16(b.utf8), b.want);
  // Lone surrogates cannot be written as UTF-8.
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800}) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xDC00})), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace bc
