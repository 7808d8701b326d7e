// Type-safe printf-style formatting. Formats come from language files that users can edit, so a
// format can never read an argument that was not passed or reinterpret one as another type.
//
// Conversions: %s %S %d %i %u %o %x %X %c %C %f %F %e %E %g %G %%, flags - 0 + blank #, width
// and precision as digits or '*', length modifiers h hh l ll L I I32 I64 w z j t (accepted and
// ignored for typing). Rules for hostile or mismatched formats:
// - a missing argument formats as an empty text (%s, %c) or as 0 (numbers);
// - a number for %s prints its decimal form; a text for a number conversion yields its leading
//   decimal number ("42abc" -> 42, "abc" -> 0); a character for %d yields its code;
// - a negative integer for %u/%o/%x/%X prints in two's complement at the argument's width
//   (at least 32 bits, as C promotes; h and hh narrow it to 16 and 8 bits);
// - %n does nothing and consumes nothing; an unknown conversion is copied literally;
// - width and precision are capped at kMaxFormatWidth, so "%99999999d" stays small.
// Floating point ignores the host locale: the decimal point is always '.'.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace bc {

inline constexpr int kMaxFormatWidth = 1024;

// One argument of Format: holds a view of text (no copy) or a number. Build it only as a
// temporary inside a Format call; it must not outlive the text it views.
class FormatArg {
 public:
  enum class Kind { kText16, kText8, kSigned, kUnsigned, kDouble, kChar };

  FormatArg(std::u16string_view s) : kind_(Kind::kText16), text16_(s) {}
  FormatArg(const std::u16string& s) : kind_(Kind::kText16), text16_(s) {}
  FormatArg(const char16_t* s) : kind_(Kind::kText16), text16_(s ? s : u"") {}
  // Narrow text is taken as UTF-8.
  FormatArg(std::string_view s) : kind_(Kind::kText8), text8_(s) {}
  FormatArg(const std::string& s) : kind_(Kind::kText8), text8_(s) {}
  FormatArg(const char* s) : kind_(Kind::kText8), text8_(s ? s : "") {}
  FormatArg(char16_t c) : kind_(Kind::kChar), u_(c), bits_(16) {}
  FormatArg(char c) : kind_(Kind::kChar), u_(static_cast<unsigned char>(c)), bits_(8) {}
  FormatArg(bool b) : kind_(Kind::kUnsigned), u_(b ? 1 : 0), bits_(32) {}
  FormatArg(double d) : kind_(Kind::kDouble), d_(d) {}
  FormatArg(float f) : kind_(Kind::kDouble), d_(f) {}
  template <typename T>
  requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
           !std::is_same_v<T, char16_t>) FormatArg(T v)
      : bits_(static_cast<int>(sizeof(T) * 8)) {
    if constexpr (std::is_signed_v<T>) {
      kind_ = Kind::kSigned;
      i_ = v;
    } else {
      kind_ = Kind::kUnsigned;
      u_ = v;
    }
  }
  template <typename T>
  requires std::is_enum_v<T> FormatArg(T v)
      : FormatArg(static_cast<std::underlying_type_t<T>>(v)) {}
  // Pointers other than text are refused: printing an address is never what a format wants.
  FormatArg(const void*) = delete;

  Kind kind() const { return kind_; }
  std::u16string_view text16() const { return text16_; }
  std::string_view text8() const { return text8_; }
  std::int64_t i() const { return i_; }
  std::uint64_t u() const { return u_; }
  double d() const { return d_; }
  int bits() const { return bits_; }

 private:
  Kind kind_ = Kind::kSigned;
  std::u16string_view text16_;
  std::string_view text8_;
  std::int64_t i_ = 0;
  std::uint64_t u_ = 0;
  double d_ = 0;
  int bits_ = 32;  // width of the original integer type
};

// Formats fmt with the given arguments under the rules above.
std::u16string FormatArgs(std::u16string_view fmt, std::span<const FormatArg> args);

template <typename... Args>
std::u16string Format(std::u16string_view fmt, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> packed{FormatArg(args)...};
  return FormatArgs(fmt, packed);
}

// Narrow convenience for log lines and host-side texts: fmt and result are UTF-8.
std::string FormatArgsUtf8(std::string_view fmt, std::span<const FormatArg> args);

template <typename... Args>
std::string FormatUtf8(std::string_view fmt, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> packed{FormatArg(args)...};
  return FormatArgsUtf8(fmt, packed);
}

}  // namespace bc
