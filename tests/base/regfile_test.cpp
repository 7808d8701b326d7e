#include "base/regfile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/text.h"

namespace bc {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Registry value types by their Windows numbers.
constexpr std::uint32_t kNone = 0, kSz = 1, kExpandSz = 2, kBinary = 3, kDword = 4,
                        kDwordBigEndian = 5, kLink = 6, kMultiSz = 7, kResourceList = 8,
                        kQword = 11;

Bytes Utf16Z(std::u16string_view s) {
  Bytes b;
  for (char16_t c : s) {
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  b.push_back(0);
  b.push_back(0);
  return b;
}

Bytes Utf8Bytes(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

Bytes Utf16LeFile(std::u16string_view s) {
  Bytes b{0xFF, 0xFE};
  for (char16_t c : s) {
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return b;
}

// "aa,bb,..." for the bytes first..last-1 of data.
std::u16string HexList(const Bytes& data, std::size_t first, std::size_t last) {
  static const char16_t* digits = u"0123456789abcdef";
  std::u16string s;
  for (std::size_t i = first; i < last; ++i) {
    if (i != first) s += u',';
    s += digits[data[i] >> 4];
    s += digits[data[i] & 15];
  }
  return s;
}

TEST(RegFileWriter, KeyBlockByteForByte) {
  RegFileWriter w;
  w.AddKeyHeader(u"HKEY_CURRENT_USER\\Software\\Test");
  w.AddValue(u"", kSz, Utf16Z(u"x"));
  w.AddValue(u"a\\b", kSz, Utf16Z(u"say \"hi\""));
  w.AddValue(u"n", kDword, Bytes{0xE8, 0x03, 0x00, 0x00});
  w.AddValue(u"bin", kBinary, Bytes{0x01, 0x02, 0xFF});
  w.AddValue(u"empty", kBinary, Bytes{});
  const std::u16string want =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Test]\r\n"
      u"@=\"x\"\r\n"
      u"\"a\\\\b\"=\"say \\\"hi\\\"\"\r\n"
      u"\"n\"=dword:000003e8\r\n"
      u"\"bin\"=hex:01,02,ff\r\n"
      u"\"empty\"=hex:\r\n";
  EXPECT_EQ(Utf16ToUtf8(w.Text()), Utf16ToUtf8(want));
  EXPECT_EQ(w.FileBytes(), Utf16LeFile(want));
  ASSERT_GE(w.FileBytes().size(), 2u);
  EXPECT_EQ(w.FileBytes()[0], 0xFF);
  EXPECT_EQ(w.FileBytes()[1], 0xFE);
  EXPECT_EQ(w.lines().size(), 7u);
  w.Reset();
  EXPECT_EQ(w.Text(), u"Windows Registry Editor Version 5.00\r\n");
}

TEST(RegFileWriter, LongHexDataWrapsWithIndentedContinuations) {
  Bytes data(100);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  // A line breaks after a comma that leaves its length at 77, 78 or 79 (modulo 77). With a
  // 10-character name, `"0123456789"=hex:` is 17 characters, so the first break comes after
  // 20 bytes (length 77); 11 and 12 characters break there too (78, 79), 13 one byte earlier.
  // Each continuation adds 5 characters, after which every line holds 24 bytes.
  struct Row {
    std::u16string name;
    std::size_t firstLineBytes;
  };
  const Row rows[] = {
      {u"0123456789", 20}, {u"0123456789a", 20}, {u"0123456789ab", 20}, {u"0123456789abc", 19}};
  for (const auto& row : rows) {
    std::u16string want = u"\"" + row.name + u"\"=hex:";
    std::size_t at = 0;
    for (std::size_t n = row.firstLineBytes; at + n < data.size(); at += n, n = 24) {
      want += HexList(data, at, at + n) + u",\\\r\n  ";
    }
    want += HexList(data, at, data.size()) + u"\r\n";
    const std::u16string line = RegFileValueLine(row.name, kBinary, data);
    EXPECT_EQ(Utf16ToUtf8(line), Utf16ToUtf8(want));
    for (const auto piece : SplitAll(line, u'\n')) EXPECT_LE(TrimView(piece).size(), 80u);
  }
}

TEST(RegFileWriter, ValueLineForEachType) {
  struct Row {
    const char* what;
    std::u16string_view name;
    std::uint32_t type;
    Bytes data;
    std::u16string_view want;
  };
  const Row rows[] = {
      {"string read up to its first NUL", u"s", kSz, Bytes{'a', 0, 0, 0, 'b', 0, 0, 0},
       u"\"s\"=\"a\"\r\n"},
      {"string without terminator, odd byte dropped", u"s", kSz, Bytes{'a', 0, 'b'},
       u"\"s\"=\"a\"\r\n"},
      {"empty string", u"", kSz, Bytes{}, u"@=\"\"\r\n"},
      {"expand string", u"e", kExpandSz, Bytes{'%', 0, 0, 0}, u"\"e\"=hex(2):25,00,00,00\r\n"},
      {"multi string", u"m", kMultiSz, Bytes{'a', 0, 0, 0, 0, 0},
       u"\"m\"=hex(7):61,00,00,00,00,00\r\n"},
      {"qword", u"q", kQword, Bytes{1, 0, 0, 0, 0, 0, 0, 0},
       u"\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"},
      {"none", u"z", kNone, Bytes{}, u"\"z\"=hex(0):\r\n"},
      {"big-endian dword", u"b", kDwordBigEndian, Bytes{0, 0, 3, 0xE8},
       u"\"b\"=hex(5):00,00,03,e8\r\n"},
      {"dword all bits", u"d", kDword, Bytes{0xFF, 0xFF, 0xFF, 0xFF}, u"\"d\"=dword:ffffffff\r\n"},
      // A DWORD without exactly four bytes keeps its bytes instead of inventing a number.
      {"short dword", u"d", kDword, Bytes{1, 2, 3}, u"\"d\"=hex(4):01,02,03\r\n"},
      {"empty dword", u"d", kDword, Bytes{}, u"\"d\"=hex(4):\r\n"},
      // Types above 15 keep their full number, so an undo restores the same type.
      {"odd type", u"o", 0x12345, Bytes{0xAA}, u"\"o\"=hex(12345):aa\r\n"},
      // A line break inside quotes would cut the line; such strings go out as hex(1).
      {"string with line break", u"nl", kSz, Bytes{'a', 0, '\n', 0, 0, 0},
       u"\"nl\"=hex(1):61,00,0a,00,00,00\r\n"},
      {"quote and backslash in both", u"\"q\\", kSz, Utf16Z(u"\\\""),
       u"\"\\\"q\\\\\"=\"\\\\\\\"\"\r\n"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(Utf16ToUtf8(RegFileValueLine(r.name, r.type, r.data)), Utf16ToUtf8(r.want)) << r.what;
  }
}

struct Value {
  std::u16string name;
  std::uint32_t type;
  Bytes data;
};

TEST(RegFileReader, RoundTripsEveryValueType) {
  Bytes big(1000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31 + 7);
  const std::vector<Value> values = {
      {u"", kSz, Utf16Z(u"default")},
      {u"plain", kSz, Utf16Z(u"C:\\Program Files\\App\\app.exe \"%1\"")},
      {u"a\\b \"quoted\" = name", kSz, Utf16Z(u"")},
      {u"\u00DCnic\u00F6de \u0416 \U0001F600", kSz, Utf16Z(u"\u20AC \u4E2D")},
      {u"trailing backslash\\", kSz, Utf16Z(u"C:\\")},
      {u"semi;colon", kSz, Utf16Z(u"; not a comment")},
      {u"lines", kSz, Utf16Z(u"one\r\ntwo")},
      {u"none", kNone, {}},
      {u"expand", kExpandSz, Utf16Z(u"%SystemRoot%\\x.dll")},
      {u"binary", kBinary, {0x00, 0x01, 0xFE, 0xFF}},
      {u"empty binary", kBinary, {}},
      {u"big binary", kBinary, big},
      {u"dword", kDword, {0x78, 0x56, 0x34, 0x12}},
      {u"short dword", kDword, {0x01}},
      {u"big endian", kDwordBigEndian, {0x12, 0x34, 0x56, 0x78}},
      {u"link", kLink, Utf16Z(u"\\Registry\\Machine\\Software")},
      {u"multi", kMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {u"resource list", kResourceList, {1, 2, 3}},
      {u"qword", kQword, {1, 2, 3, 4, 5, 6, 7, 8}},
      {u"odd type", 0x12345, {0xAA, 0xBB}},
      {u"top type", 0xFFFFFFFF, {0x01}},
  };
  RegFileWriter w;
  w.AddKeyHeader(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Round Trip");
  for (const auto& v : values) w.AddValue(v.name, v.type, v.data);
  w.AddKeyHeader(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Round Trip\\[sub]");

  const auto parsed = ParseRegFile(w.FileBytes());
  ASSERT_TRUE(parsed.ok) << parsed.errorLine << ": " << Utf16ToUtf8(parsed.error);
  ASSERT_EQ(parsed.ops.size(), values.size() + 2);
  EXPECT_EQ(parsed.ops.front().kind, RegFileOp::Kind::kCreateKey);
  EXPECT_EQ(parsed.ops.front().key, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Round Trip");
  EXPECT_EQ(parsed.ops.front().line, 3u);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto& op = parsed.ops[i + 1];
    const auto& v = values[i];
    EXPECT_EQ(op.kind, RegFileOp::Kind::kSetValue) << Utf16ToUtf8(v.name);
    EXPECT_EQ(op.key, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Round Trip");
    EXPECT_EQ(op.valueName, v.name);
    EXPECT_EQ(op.type, v.type) << Utf16ToUtf8(v.name);
    EXPECT_EQ(op.data, v.data) << Utf16ToUtf8(v.name);
  }
  EXPECT_EQ(parsed.ops.back().key, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Round Trip\\[sub]");
}

TEST(RegFileReader, EncodingsAndDialects) {
  const std::string body =
      "\r\n; a comment\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\"s\"=\"caf\xC3\xA9\"\r\n";
  const Bytes utf8Bom = Utf8Bytes("\xEF\xBB\xBFWindows Registry Editor Version 5.00" + body);
  const Bytes utf8 = Utf8Bytes("Windows Registry Editor Version 5.00" + body);
  const Bytes utf16 = Utf16LeFile(Utf8ToUtf16("Windows Registry Editor Version 5.00" + body));
  Bytes utf16NoBom(utf16.begin() + 2, utf16.end());
  for (const Bytes* file :
       std::initializer_list<const Bytes*>{&utf8Bom, &utf8, &utf16, &utf16NoBom}) {
    const auto r = ParseRegFile(*file);
    ASSERT_TRUE(r.ok) << Utf16ToUtf8(r.error);
    ASSERT_EQ(r.ops.size(), 2u);
    EXPECT_EQ(r.ops[1].data, Utf16Z(u"caf\u00E9"));
    EXPECT_EQ(r.ops[1].line, 4u);
  }

  // REGEDIT4 is ANSI (Windows-1252): 0x80 is the euro sign, 0xE9 is e acute; its narrow hex
  // strings are widened the way the registry widens narrow writes.
  const Bytes legacy = Utf8Bytes(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Old]\n\"price\"=\"\x80 5 caf\xE9\"\n"
      "\"path\"=hex(2):25,41,25,00\n\"bin\"=hex:80,00\n");
  const auto r = ParseRegFile(legacy);
  ASSERT_TRUE(r.ok) << Utf16ToUtf8(r.error);
  ASSERT_EQ(r.ops.size(), 4u);
  EXPECT_EQ(r.ops[1].data, Utf16Z(u"\u20AC 5 caf\u00E9"));
  EXPECT_EQ(r.ops[2].type, kExpandSz);
  EXPECT_EQ(r.ops[2].data, Utf16Z(u"%A%"));
  EXPECT_EQ(r.ops[3].data, (Bytes{0x80, 0x00}));  // binary stays as it is
}

TEST(RegFileReader, DeletionsDefaultsContinuationsAndComments) {
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\n"
      u"\n"
      u"[-HKEY_CURRENT_USER\\Software\\Gone]\n"
      u"\"ignored\"=\"values of a deleted key go nowhere\"\n"
      u"  [HKEY_CURRENT_USER\\Software\\Kept]  \r\n"
      u"@=-\n"
      u"\"old\"=-  ; comment\n"
      u"@ = \"spaced\"\n"
      u"\"n\"=DWORD:ff\n"
      u"\"h\"=hex(7):61,00,\\\n"
      u"    00,00,\\\n"
      u"\t00,00\n"
      u"\"t\"=hex:1,2,\n"
      u"  ; indented comment\n"
      u"[HKEY_USERS\\.DEFAULT]\n";
  const auto r = ParseRegFileText(text);
  ASSERT_TRUE(r.ok) << r.errorLine << ": " << Utf16ToUtf8(r.error);
  using K = RegFileOp::Kind;
  struct Want {
    K kind;
    std::u16string_view key, name;
    std::uint32_t type;
    Bytes data;
    std::size_t line;
  };
  const Want want[] = {
      {K::kDeleteKey, u"HKEY_CURRENT_USER\\Software\\Gone", u"", 0, {}, 3},
      {K::kCreateKey, u"HKEY_CURRENT_USER\\Software\\Kept", u"", 0, {}, 5},
      {K::kDeleteValue, u"HKEY_CURRENT_USER\\Software\\Kept", u"", 0, {}, 6},
      {K::kDeleteValue, u"HKEY_CURRENT_USER\\Software\\Kept", u"old", 0, {}, 7},
      {K::kSetValue, u"HKEY_CURRENT_USER\\Software\\Kept", u"", kSz, Utf16Z(u"spaced"), 8},
      {K::kSetValue, u"HKEY_CURRENT_USER\\Software\\Kept", u"n", kDword, {0xFF, 0, 0, 0}, 9},
      {K::kSetValue,
       u"HKEY_CURRENT_USER\\Software\\Kept",
       u"h",
       kMultiSz,
       {'a', 0, 0, 0, 0, 0},
       10},
      {K::kSetValue, u"HKEY_CURRENT_USER\\Software\\Kept", u"t", kBinary, {1, 2}, 13},
      {K::kCreateKey, u"HKEY_USERS\\.DEFAULT", u"", 0, {}, 15},
  };
  ASSERT_EQ(r.ops.size(), std::size(want));
  for (std::size_t i = 0; i < std::size(want); ++i) {
    EXPECT_EQ(r.ops[i].kind, want[i].kind) << i;
    EXPECT_EQ(r.ops[i].key, want[i].key) << i;
    EXPECT_EQ(r.ops[i].valueName, want[i].name) << i;
    EXPECT_EQ(r.ops[i].type, want[i].type) << i;
    EXPECT_EQ(r.ops[i].data, want[i].data) << i;
    EXPECT_EQ(r.ops[i].line, want[i].line) << i;
  }
}

TEST(RegFileReader, MalformedEntriesAreRejectedWithTheirLine) {
  // Two good lines, then the bad one on line 4 (or wherever noted), then a good key after it.
  const std::u16string head =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\A]\r\n";
  struct Row {
    std::u16string_view bad;
    std::size_t line;
  };
  const Row rows[] = {
      {u"[HKEY_LOCAL_MACHINE\\Software\\B", 4},
      {u"[]", 4},
      {u"[-]", 4},
      {u"[HKEY_NOWHERE\\Software]", 4},
      {u"[HKLM\\Software]", 4},
      {u"[HKEY_LOCAL_MACHINEX\\Software]", 4},
      {u"\"unterminated=\"x\"\\", 4},
      {u"\"name\" \"x\"", 4},
      {u"\"name\"", 4},
      {u"\"name\"=", 4},
      {u"\"name\"=something", 4},
      {u"\"name\"=\"unterminated", 4},
      {u"\"name\"=\"x\" trailing", 4},
      {u"\"name\"=- trailing", 4},
      {u"\"name\"=dword:", 4},
      {u"\"name\"=dword:123456789", 4},
      {u"\"name\"=dword:12x4", 4},
      {u"\"name\"=dword:-1", 4},
      {u"\"name\"=hex:1,2,zz", 4},
      {u"\"name\"=hex:123", 4},
      {u"\"name\"=hex:01,,02", 4},
      {u"\"name\"=hex 01", 4},
      {u"\"name\"=hex(:01", 4},
      {u"\"name\"=hex():01", 4},
      {u"\"name\"=hex(zz):01", 4},
      {u"\"name\"=hex(123456789):01", 4},
      {u"\"name\"=hex:01,\\\r\n  02,\\\r\n  0x", 4},  // a bad byte on a continuation line
      {u"@=dword:", 4},
      {u"stray text", 4},
      {u"=\"x\"", 4},
      {u"\"name\"=hex:01,\\", 4},  // continuation past the end of the file
  };
  for (const auto& row : rows) {
    std::u16string text = head + std::u16string(row.bad);
    if (!row.bad.ends_with(u"\\")) text += u"\r\n[HKEY_LOCAL_MACHINE\\Software\\C]\r\n";
    const auto r = ParseRegFileText(text);
    EXPECT_FALSE(r.ok) << Utf16ToUtf8(row.bad);
    EXPECT_EQ(r.errorLine, row.line) << Utf16ToUtf8(row.bad);
    EXPECT_FALSE(r.error.empty()) << Utf16ToUtf8(row.bad);
    EXPECT_TRUE(r.ops.empty()) << Utf16ToUtf8(row.bad);
  }

  // The header and the place of values are checked too.
  struct Whole {
    std::u16string_view text;
    std::size_t line;
  };
  const Whole wholes[] = {
      {u"", 1},
      {u"Windows Registry Editor Version 4.00\r\n", 1},
      {u"\r\nWindows Registry Editor Version 5.00\r\n", 1},
      {u"REGEDIT4\r\n\r\n\"early\"=\"value before any key\"\r\n", 3},
  };
  for (const auto& w : wholes) {
    const auto r = ParseRegFileText(w.text);
    EXPECT_FALSE(r.ok) << Utf16ToUtf8(w.text);
    EXPECT_EQ(r.errorLine, w.line) << Utf16ToUtf8(w.text);
  }
  const Bytes binaryJunk = {0x00, 0x01, 0x02, 0xFF, 0x80};
  EXPECT_FALSE(ParseRegFile(binaryJunk).ok);
  EXPECT_FALSE(ParseRegFile(Bytes{}).ok);
  EXPECT_FALSE(ParseRegFile(Bytes{0xFF, 0xFE, 0x57}).ok);
}

}  // namespace
}  // namespace bc
