#include "base/regfile.h"

#include <optional>

#include "base/text.h"

namespace bc {
namespace {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

constexpr char16_t kHexDigits[] = u"0123456789abcdef";

// Names and string data: backslash and double quote get a backslash in front.
std::u16string Escape(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size() + 2);
  for (char16_t c : s) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

std::u16string NamePart(std::u16string_view name) {
  if (name.empty()) return u"@";
  return u"\"" + Escape(name) + u"\"";
}

// REG_SZ data as text: UTF-16LE code units up to the first NUL (an odd last byte is dropped).
std::u16string StringData(std::span<const std::uint8_t> data) {
  std::u16string s;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    s.push_back(c);
  }
  return s;
}

void AppendHex(std::u16string& out, std::uint64_t v, int minDigits) {
  char16_t buf[16];
  int n = 0;
  do {
    buf[n++] = kHexDigits[v & 0xF];
    v >>= 4;
  } while (v != 0 && n < 16);
  for (int i = n; i < minDigits; ++i) out.push_back(u'0');
  while (n > 0) out.push_back(buf[--n]);
}

// Windows-1252, the ANSI code page REGEDIT4 files are read with; its five holes map to
// themselves, as the system's conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCp1252(std::uint8_t b) {
  return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
}

std::u16string DecodeBytes(std::span<const std::uint8_t> b) {
  auto utf16 = [&](std::size_t from, bool bigEndian) {
    std::u16string s;
    s.reserve((b.size() - from) / 2);
    for (std::size_t i = from; i + 1 < b.size(); i += 2) {
      s.push_back(bigEndian ? static_cast<char16_t>((b[i] << 8) | b[i + 1])
                            : static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
    }
    return s;
  };
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) return utf16(2, false);
  if (b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) return utf16(2, true);
  if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(b.data()) + 3, b.size() - 3));
  }
  if (b.size() >= 2 && b[0] != 0 && b[1] == 0) return utf16(0, false);
  const std::string_view narrow(reinterpret_cast<const char*>(b.data()), b.size());
  if (narrow.starts_with("REGEDIT4")) {
    std::u16string s;
    s.reserve(b.size());
    for (std::uint8_t c : b) s.push_back(FromCp1252(c));
    return s;
  }
  return Utf8ToUtf16(narrow);
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view TrimBlanks(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Nothing but blanks or a comment left.
bool OnlyComment(std::u16string_view s) {
  s = TrimBlanks(s);
  return s.empty() || s.front() == u';';
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// 1 to 8 hex digits, nothing else.
std::optional<std::uint32_t> ParseHex32(std::u16string_view s) {
  if (s.empty() || s.size() > 8) return std::nullopt;
  std::uint32_t v = 0;
  for (char16_t c : s) {
    const int d = HexValue(c);
    if (d < 0) return std::nullopt;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  return v;
}

bool KnownRoot(std::u16string_view key) {
  static constexpr std::u16string_view kRoots[] = {u"HKEY_LOCAL_MACHINE", u"HKEY_CURRENT_USER",
                                                   u"HKEY_CLASSES_ROOT", u"HKEY_USERS",
                                                   u"HKEY_CURRENT_CONFIG"};
  const std::u16string_view root = SplitFirst(key, u'\\').head;
  for (auto r : kRoots) {
    if (EqualsNoCase(root, r)) return true;
  }
  return false;
}

void AppendUtf16Le(std::vector<std::uint8_t>& out, std::u16string_view s) {
  for (char16_t c : s) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
}

struct ParseError {
  std::size_t line;
  std::u16string message;
};

class Parser {
 public:
  explicit Parser(std::u16string_view text) {
    while (!text.empty() && (text.back() == 0)) text.remove_suffix(1);  // padding some tools add
    if (!text.empty() && text.front() == 0xFEFF) text.remove_prefix(1);
    for (auto line : SplitAll(text, u'\n')) {
      if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
      lines_.push_back(line);
    }
  }

  RegFileParseResult Run() {
    RegFileParseResult r;
    if (auto e = ParseAll()) {
      r.errorLine = e->line;
      r.error = std::move(e->message);
      ops_.clear();
      return r;
    }
    r.ok = true;
    r.ops = std::move(ops_);
    return r;
  }

 private:
  std::optional<ParseError> ParseAll() {
    const std::u16string_view header = lines_.empty() ? u"" : TrimBlanks(lines_[0]);
    if (EqualsNoCase(header, kRegFileHeader5)) {
      legacy_ = false;
    } else if (EqualsNoCase(header, kRegFileHeader4)) {
      legacy_ = true;
    } else {
      return ParseError{1, u"not a registration file: the first line must be \"" +
                               std::u16string(kRegFileHeader5) + u"\" or \"" +
                               std::u16string(kRegFileHeader4) + u"\""};
    }
    for (next_ = 1; next_ < lines_.size();) {
      const std::size_t lineNo = next_ + 1;
      std::u16string_view line = TrimBlanks(lines_[next_++]);
      if (line.empty() || line.front() == u';') continue;
      std::optional<std::u16string> error;
      if (line.front() == u'[') {
        error = KeyLine(line, lineNo);
      } else if (line.front() == u'"' || line.front() == u'@') {
        error = ValueLine(line, lineNo);
      } else {
        error = u"expected a [key] line, a value line or a comment";
      }
      if (error) return ParseError{lineNo, std::move(*error)};
    }
    return std::nullopt;
  }

  std::optional<std::u16string> KeyLine(std::u16string_view line, std::size_t lineNo) {
    if (line.back() != u']') return u"key line lacks its closing bracket";
    std::u16string_view name = line.substr(1, line.size() - 2);
    const bool remove = !name.empty() && name.front() == u'-';
    if (remove) name.remove_prefix(1);
    if (name.empty()) return u"key line names no key";
    if (!KnownRoot(name)) return u"key does not start with a registry root name";
    RegFileOp op;
    op.kind = remove ? RegFileOp::Kind::kDeleteKey : RegFileOp::Kind::kCreateKey;
    op.key = name;
    op.line = lineNo;
    ops_.push_back(std::move(op));
    // Values listed under a deleted key have nowhere to go; they are skipped.
    haveKey_ = !remove;
    inDeletedKey_ = remove;
    key_ = name;
    return std::nullopt;
  }

  // A quoted text starting at s[0] == '"'; on success s is left after the closing quote.
  static std::optional<std::u16string> Quoted(std::u16string_view& s) {
    std::u16string out;
    for (std::size_t i = 1; i < s.size(); ++i) {
      const char16_t c = s[i];
      if (c == u'"') {
        s.remove_prefix(i + 1);
        return out;
      }
      if (c == u'\\' && i + 1 < s.size()) {
        const char16_t n = s[i + 1];
        if (n == u'\\' || n == u'"') {
          out.push_back(n);
          ++i;
          continue;
        }
      }
      out.push_back(c);  // a lone backslash stays as it is
    }
    return std::nullopt;
  }

  std::optional<std::u16string> ValueLine(std::u16string_view line, std::size_t lineNo) {
    if (!haveKey_ && !inDeletedKey_) return u"value line before the first [key] line";
    RegFileOp op;
    op.key = key_;
    op.line = lineNo;
    std::u16string_view rest = line;
    if (rest.front() == u'@') {
      rest.remove_prefix(1);
    } else {
      auto name = Quoted(rest);
      if (!name) return u"value name lacks its closing quote";
      op.valueName = std::move(*name);
    }
    rest = TrimBlanks(rest);
    if (rest.empty() || rest.front() != u'=') return u"value name is not followed by '='";
    rest = TrimBlanks(rest.substr(1));
    if (rest.empty()) return u"value has no data";
    if (rest.front() == u'-') {
      if (!OnlyComment(rest.substr(1))) return u"unexpected text after '-'";
      op.kind = RegFileOp::Kind::kDeleteValue;
    } else if (rest.front() == u'"') {
      auto text = Quoted(rest);
      if (!text) return u"string data lacks its closing quote";
      if (!OnlyComment(rest)) return u"unexpected text after the string data";
      op.kind = RegFileOp::Kind::kSetValue;
      op.type = kRegSz;
      AppendUtf16Le(op.data, *text);
      op.data.push_back(0);
      op.data.push_back(0);
    } else if (StartsWithNoCase(rest, u"dword:")) {
      std::u16string_view digits = rest.substr(6);
      const auto semi = digits.find(u';');
      if (semi != std::u16string_view::npos) digits = digits.substr(0, semi);
      const auto v = ParseHex32(TrimBlanks(digits));
      if (!v) return u"dword data must be 1 to 8 hexadecimal digits";
      op.kind = RegFileOp::Kind::kSetValue;
      op.type = kRegDword;
      for (int i = 0; i < 4; ++i) op.data.push_back(static_cast<std::uint8_t>(*v >> (8 * i)));
    } else if (StartsWithNoCase(rest, u"hex")) {
      if (auto e = HexData(rest.substr(3), op)) return e;
    } else {
      return u"unrecognised value data";
    }
    if (haveKey_) ops_.push_back(std::move(op));
    return std::nullopt;
  }

  // After "hex": the optional "(type)", ':', then bytes, with backslash continuation lines.
  std::optional<std::u16string> HexData(std::u16string_view s, RegFileOp& op) {
    op.kind = RegFileOp::Kind::kSetValue;
    op.type = kRegBinary;
    if (!s.empty() && s.front() == u'(') {
      const auto close = s.find(u')');
      if (close == std::u16string_view::npos) return u"hex type lacks its closing parenthesis";
      const auto type = ParseHex32(s.substr(1, close - 1));
      if (!type) return u"hex type must be 1 to 8 hexadecimal digits";
      op.type = *type;
      s.remove_prefix(close + 1);
    }
    if (s.empty() || s.front() != u':') return u"hex data lacks ':'";
    s.remove_prefix(1);
    std::u16string all;
    for (;;) {
      const auto semi = s.find(u';');
      if (semi != std::u16string_view::npos) s = s.substr(0, semi);
      s = TrimBlanks(s);
      if (s.empty() || s.back() != u'\\') {
        all.append(s);
        break;
      }
      all.append(s.substr(0, s.size() - 1));
      if (next_ >= lines_.size()) return u"hex data continues past the end of the file";
      s = lines_[next_++];
    }
    std::u16string_view rest = all;
    const auto tokens = SplitAll(rest, u',');
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      const std::u16string_view t = TrimBlanks(tokens[i]);
      if (t.empty() && i + 1 == tokens.size()) break;  // nothing, or a trailing comma
      if (t.empty() || t.size() > 2) return u"hex data must be bytes of 1 or 2 hexadecimal digits";
      const auto v = ParseHex32(t);
      if (!v) return u"hex data must be bytes of 1 or 2 hexadecimal digits";
      op.data.push_back(static_cast<std::uint8_t>(*v));
    }
    if (legacy_ && (op.type == kRegSz || op.type == kRegExpandSz || op.type == kRegMultiSz)) {
      // REGEDIT4 keeps these as narrow text; the registry stores them as UTF-16.
      std::vector<std::uint8_t> wide;
      wide.reserve(op.data.size() * 2);
      for (std::uint8_t b : op.data) {
        const char16_t c = FromCp1252(b);
        wide.push_back(static_cast<std::uint8_t>(c));
        wide.push_back(static_cast<std::uint8_t>(c >> 8));
      }
      op.data = std::move(wide);
    }
    return std::nullopt;
  }

  std::vector<std::u16string_view> lines_;
  std::size_t next_ = 0;
  bool legacy_ = false;
  bool haveKey_ = false;
  bool inDeletedKey_ = false;
  std::u16string key_;
  std::vector<RegFileOp> ops_;
};

}  // namespace

void RegFileWriter::Reset() {
  lines_.clear();
  lines_.push_back(std::u16string(kRegFileHeader5) + u"\r\n");
}

void RegFileWriter::AddKeyHeader(std::u16string_view fullKeyName) {
  lines_.push_back(u"\r\n[" + std::u16string(fullKeyName) + u"]\r\n");
}

void RegFileWriter::AddValue(std::u16string_view name, std::uint32_t type,
                             std::span<const std::uint8_t> data) {
  lines_.push_back(RegFileValueLine(name, type, data));
}

std::u16string RegFileValueLine(std::u16string_view name, std::uint32_t type,
                                std::span<const std::uint8_t> data) {
  std::u16string line = NamePart(name);
  if (type == kRegSz) {
    const std::u16string text = StringData(data);
    // A line break inside quotes would end the line; such data keeps its bytes in hex form.
    if (text.find_first_of(u"\r\n") == std::u16string::npos) {
      return line + u"=\"" + Escape(text) + u"\"\r\n";
    }
  } else if (type == kRegDword && data.size() == 4) {
    line += u"=dword:";
    AppendHex(line,
              static_cast<std::uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                         (static_cast<std::uint32_t>(data[3]) << 24)),
              8);
    return line + u"\r\n";
  }
  // Everything else, including a DWORD whose size is not 4 bytes, as hex bytes.
  if (type == kRegBinary) {
    line += u"=hex:";
  } else {
    line += u"=hex(";
    AppendHex(line, type, 1);
    line += u"):";
  }
  for (std::size_t i = 0; i < data.size(); ++i) {
    line.push_back(kHexDigits[data[i] >> 4]);
    line.push_back(kHexDigits[data[i] & 0xF]);
    if (i + 1 == data.size()) break;
    line.push_back(u',');
    if (line.size() % 77 < 3) line += u"\\\r\n  ";
  }
  return line + u"\r\n";
}

std::u16string RegFileWriter::Text() const {
  std::size_t n = 0;
  for (const auto& l : lines_) n += l.size();
  std::u16string text;
  text.reserve(n);
  for (const auto& l : lines_) text += l;
  return text;
}

std::vector<std::uint8_t> RegFileWriter::FileBytes() const {
  std::vector<std::uint8_t> bytes{0xFF, 0xFE};
  for (const auto& l : lines_) AppendUtf16Le(bytes, l);
  return bytes;
}

RegFileParseResult ParseRegFile(std::span<const std::uint8_t> fileBytes) {
  const std::u16string text = DecodeBytes(fileBytes);
  return Parser(text).Run();
}

RegFileParseResult ParseRegFileText(std::u16string_view text) {
  return Parser(text).Run();
}

}  // namespace bc
