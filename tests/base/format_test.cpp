#include "base/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>

#include "base/text.h"

namespace bc {
namespace {

struct Case {
  const char* what;
  std::u16string got;
  std::u16string want;
};

void Check(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.got), Utf16ToUtf8(c.want)) << c.what;
  }
}

TEST(Format, FormatsOfTheProgram) {
  const std::int32_t eFail = static_cast<std::int32_t>(0x80004005u);
  Check({
      {"%02i small", Format(u"log_%02i-%02i-%02i.log", 12, 9, 2026), u"log_12-09-2026.log"},
      {"%02i wide", Format(u"%02i", 123), u"123"},
      {"%.8d", Format(u"%.8d.%s", 1, u"reg"), u"00000001.reg"},
      {"%.8d negative", Format(u"%.8d", -42), u"-00000042"},
      {"%08.8lx HRESULT", Format(u"error is %08.8lx", eFail), u"error is 80004005"},
      {"%08.8lx small", Format(u"%08.8lx", 0x1F), u"0000001f"},
      {"%08lx", Format(u"%08lx", 0xABCu), u"00000abc"},
      {"%0.1f", Format(u"%0.1f KB", 1536 / 1024.0f), u"1.5 KB"},
      {"%0.1f rounding", Format(u"%0.1f", 0.05), u"0.1"},
      {"%0.2f", Format(u"%0.2f MB", 2.0 + 1.0 / 3), u"2.33 MB"},
      {"%d Bytes", Format(u"%d Bytes", 1023), u"1023 Bytes"},
      {"%s %s", Format(u"%s %s", u"Brellum", std::u16string(u"Corvane")), u"Brellum Corvane"},
      {"%ld", Format(u"%08.8lx %ld", 5, 183L), u"00000005 183"},
  });
}

TEST(Format, FlagsWidthPrecision) {
  Check({
      {"%5s", Format(u"[%5s]", u"abc"), u"[  abc]"},
      {"%-5s", Format(u"[%-5s]", u"abc"), u"[abc  ]"},
      {"%.2s", Format(u"[%.2s]", u"abc"), u"[ab]"},
      {"%c", Format(u"%c%c", u'x', 'y'), u"xy"},
      {"%3c", Format(u"[%3c]", u'x'), u"[  x]"},
      {"%x %X %#x %o %#o", Format(u"%x %X %#x %o %#o", 255, 255, 255, 8, 8), u"ff FF 0xff 10 010"},
      {"%#x zero", Format(u"%#x", 0), u"0"},
      {"%+d % d", Format(u"%+d % d %+d", 5, 5, -5), u"+5  5 -5"},
      {"%05d", Format(u"%05d", -42), u"-0042"},
      {"%-05d", Format(u"[%-05d]", 42), u"[42   ]"},
      {"%5.3d", Format(u"[%5.3d]", 7), u"[  007]"},
      {"%05.3d", Format(u"[%05.3d]", 7), u"[  007]"},  // a precision turns zero padding off
      {"%.0d", Format(u"[%.0d]", 0), u"[]"},
      {"%I64d min", Format(u"%I64d", std::numeric_limits<std::int64_t>::min()),
       u"-9223372036854775808"},
      {"%llu max", Format(u"%llu", std::numeric_limits<std::uint64_t>::max()),
       u"18446744073709551615"},
      {"%%", Format(u"100%%"), u"100%"},
      {"%*d", Format(u"[%*d]", 5, 42), u"[   42]"},
      {"%*d negative", Format(u"[%*d]", -4, 7), u"[7   ]"},
      {"%.*f", Format(u"%.*f", 2, 3.14159), u"3.14"},
      {"%-8.3f", Format(u"[%-8.3f]", -1.0), u"[-1.000  ]"},
      {"%08.2f", Format(u"%08.2f", -1.5), u"-0001.50"},
      {"%e", Format(u"%e", 12345.678), u"1.234568e+04"},
      {"%G", Format(u"%G %g", 1e-10, 0.0001), u"1E-10 0.0001"},
      {"%f", Format(u"%f", 2.5), u"2.500000"},
      {"%5f inf",
       Format(u"[%5f|%f|%F]", std::numeric_limits<double>::infinity(),
              -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()),
       u"[  inf|-inf|NAN]"},
  });
}

TEST(Format, UnsignedConversionsWrapAtTheArgumentsWidth) {
  Check({
      {"%u int -1", Format(u"%u", -1), u"4294967295"},
      {"%x int -1", Format(u"%x", -1), u"ffffffff"},
      {"%x short -1 promotes", Format(u"%x", std::int16_t{-1}), u"ffffffff"},
      {"%hx narrows", Format(u"%hx %hhx", -1, -1), u"ffff ff"},
      {"%llx int64 -1", Format(u"%llx", std::int64_t{-1}), u"ffffffffffffffff"},
      {"%x int64 -1 keeps its width", Format(u"%x", std::int64_t{-1}), u"ffffffffffffffff"},
      {"%d unsigned is its value", Format(u"%d", 0xFFFFFFFFu), u"4294967295"},
  });
}

TEST(Format, HostileFormatsNeverReadMissingArguments) {
  Check({
      {"more directives than arguments", Format(u"%s%s%n%x", u"a"), u"a0"},
      {"nothing passed", Format(u"[%s|%d|%c|%f|%5c]"), u"[|0||0.000000|     ]"},
      {"%n consumes nothing", Format(u"%n%s", u"x"), u"x"},
      {"lone percent", Format(u"%"), u"%"},
      {"trailing percent", Format(u"abc%", 1), u"abc%"},
      {"trailing %l", Format(u"x%l"), u"x%l"},
      {"trailing flags and width", Format(u"x%-08.3"), u"x%-08.3"},
      {"unknown conversion", Format(u"%k %5y %p", 1), u"%k %5y %p"},
      {"positional form is not supported", Format(u"%1$s", u"a"), u"%1$s"},
      {"null text", Format(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[]"},
  });
  // Width and precision are capped, so a hostile format cannot ask for gigabytes.
  EXPECT_EQ(Format(u"%99999999d", 1).size(), static_cast<std::size_t>(kMaxFormatWidth));
  EXPECT_EQ(Format(u"%.99999999d", 1).size(), static_cast<std::size_t>(kMaxFormatWidth));
  EXPECT_EQ(Format(u"%*s", INT_MAX, u"x").size(), static_cast<std::size_t>(kMaxFormatWidth));
  EXPECT_EQ(Format(u"%.99999999f", 1e308).size(), 309u + 1 + kMaxFormatWidth);
  EXPECT_EQ(Format(u"%99999999999999999999s", u"x").size(),
            static_cast<std::size_t>(kMaxFormatWidth));
}

TEST(Format, MismatchedTypesAreConvertedNotReinterpreted) {
  Check({
      {"number for %s", Format(u"%s|%s|%s", 42, -3, 1.5), u"42|-3|1.5"},
      {"unsigned for %s", Format(u"%s", 18446744073709551615ull), u"18446744073709551615"},
      {"char for %s", Format(u"%s", u'q'), u"q"},
      {"text for %d", Format(u"%d|%d|%d|%d", u"42abc", u"abc", u" -7", u""), u"42|0|-7|0"},
      {"huge text for %d saturates", Format(u"%d", u"99999999999999999999999"),
       u"18446744073709551615"},
      {"text for %x", Format(u"%x", u"255"), u"ff"},
      {"double for %d", Format(u"%d|%d|%d", 3.9, -3.9, 1e300), u"3|-3|18446744073709551615"},
      {"nan for %d", Format(u"%d", std::numeric_limits<double>::quiet_NaN()), u"0"},
      {"char for %d", Format(u"%d", u'A'), u"65"},
      {"number for %c", Format(u"%c", 65), u"A"},
      {"text for %c", Format(u"%c", u"xyz"), u"x"},
      {"zero for %c", Format(u"[%c]", 0), u"[]"},
      {"text for %f", Format(u"%0.2f", u"2.5x"), u"2.50"},
      {"int for %f", Format(u"%0.1f", 3), u"3.0"},
      {"bool", Format(u"%d%s", true, false), u"10"},
  });
}

TEST(Format, NarrowTextIsUtf8) {
  EXPECT_EQ(Format(u"%s", "caf\xC3\xA9"), u"caf\u00E9");
  EXPECT_EQ(Format(u"%s", std::string("x")), u"x");
  EXPECT_EQ(FormatUtf8("%s=%d %s", "a", 1, u"\u20AC"), "a=1 \xE2\x82\xAC");
  EXPECT_EQ(FormatUtf8("%s"), "");
}

}  // namespace
}  // namespace bc
