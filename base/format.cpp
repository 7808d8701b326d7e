#include "base/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "base/text.h"

namespace bc {
namespace {

struct Spec {
  bool left = false;
  bool zero = false;
  bool plus = false;
  bool space = false;
  bool alt = false;
  int width = 0;
  int precision = -1;  // -1: none given
  int narrowBits = 0;  // h = 16, hh = 8; 0 = as the argument
};

// Reads the argument list; past its end every read yields "missing".
class ArgCursor {
 public:
  explicit ArgCursor(std::span<const FormatArg> args) : args_(args) {}
  const FormatArg* Next() { return next_ < args_.size() ? &args_[next_++] : nullptr; }

 private:
  std::span<const FormatArg> args_;
  std::size_t next_ = 0;
};

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Saturating decimal digits, capped at the format limit.
int ReadNumber(std::u16string_view f, std::size_t& i) {
  int v = 0;
  while (i < f.size() && IsDigit(f[i])) {
    v = std::min(v * 10 + (f[i] - u'0'), kMaxFormatWidth);
    ++i;
  }
  return v;
}

// The leading decimal number of a text: blanks, sign, digits; 0 when there is none.
// Saturates instead of overflowing.
struct Leading {
  bool negative = false;
  std::uint64_t magnitude = 0;
};

template <typename View>
Leading LeadingNumber(View s) {
  Leading r;
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) r.negative = s[i++] == '-';
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    const std::uint64_t d = static_cast<std::uint64_t>(s[i] - '0');
    if (r.magnitude > (std::numeric_limits<std::uint64_t>::max() - d) / 10) {
      r.magnitude = std::numeric_limits<std::uint64_t>::max();
    } else {
      r.magnitude = r.magnitude * 10 + d;
    }
  }
  return r;
}

Leading LeadingOf(const FormatArg& a) {
  return a.kind() == FormatArg::Kind::kText16 ? LeadingNumber(a.text16())
                                              : LeadingNumber(a.text8());
}

// An argument as an integer: sign and magnitude, plus the bit width for two's complement.
struct IntValue {
  bool negative = false;
  std::uint64_t magnitude = 0;
  int bits = 32;
};

IntValue ToInt(const FormatArg* a) {
  IntValue v;
  if (!a) return v;
  switch (a->kind()) {
    case FormatArg::Kind::kSigned:
      v.negative = a->i() < 0;
      v.magnitude =
          v.negative ? 0 - static_cast<std::uint64_t>(a->i()) : static_cast<std::uint64_t>(a->i());
      v.bits = a->bits();
      break;
    case FormatArg::Kind::kUnsigned:
    case FormatArg::Kind::kChar:
      v.magnitude = a->u();
      v.bits = a->bits();
      break;
    case FormatArg::Kind::kDouble: {
      const double d = a->d();
      if (std::isnan(d)) break;
      const double t = std::trunc(std::fabs(d));
      v.negative = d < 0 && t != 0;
      v.magnitude = t >= 18446744073709551615.0 ? std::numeric_limits<std::uint64_t>::max()
                                                : static_cast<std::uint64_t>(t);
      v.bits = 64;
      break;
    }
    case FormatArg::Kind::kText16:
    case FormatArg::Kind::kText8: {
      const Leading l = LeadingOf(*a);
      v.negative = l.negative && l.magnitude != 0;
      v.magnitude = l.magnitude;
      v.bits = 64;
      break;
    }
  }
  v.bits = std::max(v.bits, 32);
  return v;
}

double ToDouble(const FormatArg* a) {
  if (!a) return 0;
  switch (a->kind()) {
    case FormatArg::Kind::kDouble:
      return a->d();
    case FormatArg::Kind::kSigned:
      return static_cast<double>(a->i());
    case FormatArg::Kind::kUnsigned:
    case FormatArg::Kind::kChar:
      return static_cast<double>(a->u());
    case FormatArg::Kind::kText16:
    case FormatArg::Kind::kText8: {
      // Leading ASCII characters that can make up a number, parsed without the host locale.
      std::string ascii;
      auto take = [&](auto s) {
        std::size_t i = 0;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i < s.size() && s[i] == '+') ++i;
        for (; i < s.size() && ascii.size() < 64; ++i) {
          const auto c = s[i];
          if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E')) break;
          ascii.push_back(static_cast<char>(c));
        }
      };
      if (a->kind() == FormatArg::Kind::kText16) {
        take(a->text16());
      } else {
        take(a->text8());
      }
      double d = 0;
      std::from_chars(ascii.data(), ascii.data() + ascii.size(), d);
      return d;
    }
  }
  return 0;
}

// An argument as text for %s.
std::u16string ToText(const FormatArg* a) {
  if (!a) return {};
  switch (a->kind()) {
    case FormatArg::Kind::kText16:
      return std::u16string(a->text16());
    case FormatArg::Kind::kText8:
      return Utf8ToUtf16(a->text8());
    case FormatArg::Kind::kChar:
      return a->u() ? std::u16string(1, static_cast<char16_t>(a->u())) : std::u16string();
    case FormatArg::Kind::kSigned:
      return Ascii(std::to_string(a->i()));
    case FormatArg::Kind::kUnsigned:
      return Ascii(std::to_string(a->u()));
    case FormatArg::Kind::kDouble: {
      char buf[64];
      const auto r = std::to_chars(buf, buf + sizeof buf, a->d());
      return Ascii(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
    }
  }
  return {};
}

// An argument as one character for %c; 0 means "nothing to print".
char16_t ToChar(const FormatArg* a) {
  if (!a) return 0;
  switch (a->kind()) {
    case FormatArg::Kind::kText16:
      return a->text16().empty() ? 0 : a->text16()[0];
    case FormatArg::Kind::kText8: {
      const std::u16string s = Utf8ToUtf16(a->text8());
      return s.empty() ? 0 : s[0];
    }
    default: {
      const IntValue v = ToInt(a);
      return static_cast<char16_t>(v.negative ? 0 - v.magnitude : v.magnitude);
    }
  }
}

void Pad(std::u16string& out, int n, char16_t c) {
  if (n > 0) out.append(static_cast<std::size_t>(n), c);
}

// Places body (with its sign/prefix) in the field width.
void Emit(std::u16string& out, const Spec& spec, std::u16string_view prefix,
          std::u16string_view body, bool zeroPadAllowed) {
  const int len = static_cast<int>(prefix.size() + body.size());
  const int fill = spec.width - len;
  if (spec.left) {
    out.append(prefix);
    out.append(body);
    Pad(out, fill, u' ');
  } else if (spec.zero && zeroPadAllowed) {
    out.append(prefix);
    Pad(out, fill, u'0');
    out.append(body);
  } else {
    Pad(out, fill, u' ');
    out.append(prefix);
    out.append(body);
  }
}

void FormatInteger(std::u16string& out, const Spec& spec, char16_t conv, const FormatArg* a) {
  IntValue v = ToInt(a);
  const bool isSigned = conv == u'd' || conv == u'i';
  std::uint64_t value = v.magnitude;
  bool negative = false;
  if (isSigned) {
    negative = v.negative;
  } else {
    int bits = spec.narrowBits ? spec.narrowBits : v.bits;
    if (v.negative) value = 0 - value;  // two's complement
    if (bits < 64) value &= (std::uint64_t{1} << bits) - 1;
  }
  const int base = (conv == u'x' || conv == u'X') ? 16 : conv == u'o' ? 8 : 10;
  char digits[72];
  std::size_t n = 0;
  if (!(value == 0 && spec.precision == 0)) {
    const auto r = std::to_chars(digits, digits + sizeof digits, value, base);
    n = static_cast<std::size_t>(r.ptr - digits);
  }
  std::u16string body;
  if (spec.precision > static_cast<int>(n)) body.assign(spec.precision - n, u'0');
  for (std::size_t k = 0; k < n; ++k) {
    char c = digits[k];
    if (conv == u'X' && c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    body.push_back(static_cast<char16_t>(c));
  }
  std::u16string prefix;
  if (isSigned) {
    if (negative) {
      prefix = u"-";
    } else if (spec.plus) {
      prefix = u"+";
    } else if (spec.space) {
      prefix = u" ";
    }
  } else if (spec.alt && value != 0) {
    if (conv == u'x') prefix = u"0x";
    if (conv == u'X') prefix = u"0X";
    if (conv == u'o' && (body.empty() || body[0] != u'0')) prefix = u"0";
  }
  Emit(out, spec, prefix, body, spec.precision < 0);
}

void FormatFloat(std::u16string& out, const Spec& spec, char16_t conv, const FormatArg* a) {
  const double d = ToDouble(a);
  const bool upper = conv == u'F' || conv == u'E' || conv == u'G';
  const char16_t lower = static_cast<char16_t>(upper ? conv - u'A' + u'a' : conv);
  const int precision = spec.precision < 0 ? 6 : spec.precision;
  std::u16string prefix;
  if (std::signbit(d) && !std::isnan(d)) {
    prefix = u"-";
  } else if (spec.plus) {
    prefix = u"+";
  } else if (spec.space) {
    prefix = u" ";
  }
  std::u16string body;
  if (std::isnan(d) || std::isinf(d)) {
    body = std::isnan(d) ? u"nan" : u"inf";
  } else {
    // Fixed notation of 1e308 at precision 1024 needs about 1340 characters.
    char buf[1400];
    const std::chars_format fmt = lower == u'f'   ? std::chars_format::fixed
                                  : lower == u'e' ? std::chars_format::scientific
                                                  : std::chars_format::general;
    const int p = (lower == u'g' && precision == 0) ? 1 : precision;
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(d), fmt, p);
    if (r.ec == std::errc())
      body = Ascii(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
    if (spec.alt && body.find(u'.') == std::u16string::npos) {
      const auto e = body.find_first_of(u"eE");
      body.insert(e == std::u16string::npos ? body.size() : e, u".");
    }
  }
  if (upper) MakeUpper(body);
  Emit(out, spec, prefix, body, std::isfinite(d));
}

}  // namespace

std::u16string FormatArgs(std::u16string_view f, std::span<const FormatArg> args) {
  std::u16string out;
  out.reserve(f.size());
  ArgCursor cursor(args);
  std::size_t i = 0;
  while (i < f.size()) {
    const char16_t c = f[i];
    if (c != u'%') {
      out.push_back(c);
      ++i;
      continue;
    }
    const std::size_t start = i++;
    Spec spec;
    for (bool more = true; more && i < f.size();) {
      switch (f[i]) {
        case u'-':
          spec.left = true;
          ++i;
          break;
        case u'0':
          spec.zero = true;
          ++i;
          break;
        case u'+':
          spec.plus = true;
          ++i;
          break;
        case u' ':
          spec.space = true;
          ++i;
          break;
        case u'#':
          spec.alt = true;
          ++i;
          break;
        default:
          more = false;
      }
    }
    if (i < f.size() && f[i] == u'*') {
      ++i;
      const IntValue w = ToInt(cursor.Next());
      const int mag = static_cast<int>(std::min<std::uint64_t>(w.magnitude, kMaxFormatWidth));
      if (w.negative) spec.left = true;
      spec.width = mag;
    } else {
      spec.width = ReadNumber(f, i);
    }
    if (i < f.size() && f[i] == u'.') {
      ++i;
      if (i < f.size() && f[i] == u'*') {
        ++i;
        const IntValue p = ToInt(cursor.Next());
        spec.precision =
            p.negative ? -1
                       : static_cast<int>(std::min<std::uint64_t>(p.magnitude, kMaxFormatWidth));
      } else {
        spec.precision = ReadNumber(f, i);
      }
    }
    // Length modifiers say nothing about the argument's type here; h and hh narrow unsigned
    // output the way C's conversion does.
    for (bool more = true; more && i < f.size();) {
      const std::u16string_view rest = f.substr(i);
      if (rest.starts_with(u"I64") || rest.starts_with(u"I32")) {
        i += 3;
      } else if (rest.starts_with(u"hh")) {
        spec.narrowBits = 8;
        i += 2;
      } else if (rest.starts_with(u"ll")) {
        i += 2;
      } else if (rest[0] == u'h') {
        spec.narrowBits = 16;
        ++i;
      } else if (rest[0] == u'l' || rest[0] == u'L' || rest[0] == u'I' || rest[0] == u'w' ||
                 rest[0] == u'z' || rest[0] == u'j' || rest[0] == u't') {
        ++i;
      } else {
        more = false;
      }
    }
    if (i >= f.size()) {  // a format ending inside a directive prints it as it is
      out.append(f.substr(start));
      break;
    }
    const char16_t conv = f[i++];
    switch (conv) {
      case u'%':
        out.push_back(u'%');
        break;
      case u'n':
        break;
      case u's':
      case u'S': {
        std::u16string text = ToText(cursor.Next());
        if (spec.precision >= 0 && text.size() > static_cast<std::size_t>(spec.precision)) {
          text.resize(static_cast<std::size_t>(spec.precision));
        }
        Emit(out, spec, {}, text, true);
        break;
      }
      case u'c':
      case u'C': {
        const char16_t ch = ToChar(cursor.Next());
        Emit(out, spec, {}, ch ? std::u16string_view(&ch, 1) : std::u16string_view(), true);
        break;
      }
      case u'd':
      case u'i':
      case u'u':
      case u'o':
      case u'x':
      case u'X':
        FormatInteger(out, spec, conv, cursor.Next());
        break;
      case u'f':
      case u'F':
      case u'e':
      case u'E':
      case u'g':
      case u'G':
        FormatFloat(out, spec, conv, cursor.Next());
        break;
      default:
        out.append(f.substr(start, i - start));
        break;
    }
  }
  return out;
}

std::string FormatArgsUtf8(std::string_view fmt, std::span<const FormatArg> args) {
  return Utf16ToUtf8(FormatArgs(Utf8ToUtf16(fmt), args));
}

}  // namespace bc
