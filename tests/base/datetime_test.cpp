#include "base/datetime.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace bc {
namespace {

SystemTime Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SystemTime t;
  t.year = static_cast<std::uint16_t>(y);
  t.month = static_cast<std::uint16_t>(mo);
  t.day = static_cast<std::uint16_t>(d);
  t.dayOfWeek = static_cast<std::uint16_t>(DayOfWeek(y, mo, d));
  t.hour = static_cast<std::uint16_t>(h);
  t.minute = static_cast<std::uint16_t>(mi);
  t.second = static_cast<std::uint16_t>(s);
  t.milliseconds = static_cast<std::uint16_t>(ms);
  return t;
}

TEST(DateTime, UnixSecondsRoundTripThroughTheCalendar) {
  struct Row {
    std::int64_t seconds;
    SystemTime t;
    int dayOfWeek;
  };
  const Row rows[] = {
      {0, Make(1970, 1, 1), 4},
      {-1, Make(1969, 12, 31, 23, 59, 59), 3},
      {-11644473600, Make(1601, 1, 1), 1},
      {951782400, Make(2000, 2, 29), 2},
      {1796828820, Make(2026, 12, 9, 15, 7), 3},
      {4102444800, Make(2100, 1, 1), 5},
      {253402300799, Make(9999, 12, 31, 23, 59, 59), 5},
  };
  for (const auto& r : rows) {
    const auto t = SystemTimeFromUnix(r.seconds);
    ASSERT_TRUE(t) << r.seconds;
    EXPECT_EQ(*t, r.t) << r.seconds;
    EXPECT_EQ(t->dayOfWeek, r.dayOfWeek) << r.seconds;
    EXPECT_EQ(UnixFromSystemTime(r.t), r.seconds);
    const auto ft = FileTimeFromUnix(r.seconds);
    ASSERT_TRUE(ft);
    EXPECT_EQ(UnixFromFileTime(*ft), r.seconds);
    EXPECT_EQ(SystemTimeFromFileTime(*ft), r.t);
  }
  EXPECT_EQ(FileTimeFromUnix(0), kFileTimeUnixEpoch);
  EXPECT_FALSE(SystemTimeFromUnix(-11644473601));  // before 1601
  EXPECT_FALSE(FileTimeFromUnix(-11644473601));
}

TEST(DateTime, FileTimeKeepsMillisecondsAndRefusesTheTopHalf) {
  const std::uint64_t ft = kFileTimeUnixEpoch + 1234567890ull * kFileTimeTicksPerSecond + 4569999;
  const auto t = SystemTimeFromFileTime(ft);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->milliseconds, 456);
  EXPECT_EQ(FileTimeFromSystemTime(*t), ft - 9999);  // below a millisecond is lost
  EXPECT_EQ(SystemTimeFromFileTime(0), Make(1601, 1, 1));
  const auto last = SystemTimeFromFileTime(0x7FFFFFFFFFFFFFFFull);
  ASSERT_TRUE(last);
  EXPECT_EQ(*last, Make(30828, 9, 14, 2, 48, 5, 477));
  EXPECT_FALSE(SystemTimeFromFileTime(0x8000000000000000ull));
}

TEST(DateTime, InvalidFieldsAreRefused) {
  const SystemTime bad[] = {Make(2023, 2, 29),
                            Make(1900, 2, 29),
                            Make(2100, 2, 29),
                            Make(2023, 13, 1),
                            Make(2023, 0, 1),
                            Make(2023, 4, 31),
                            Make(1600, 12, 31),
                            Make(2023, 1, 1, 24),
                            Make(2023, 1, 1, 0, 60),
                            Make(2023, 1, 1, 0, 0, 0, 1000),
                            SystemTime{}};
  for (const auto& t : bad) {
    EXPECT_FALSE(IsValid(t)) << t.year << "-" << t.month << "-" << t.day;
    EXPECT_FALSE(UnixFromSystemTime(t));
    EXPECT_FALSE(FileTimeFromSystemTime(t));
  }
  EXPECT_TRUE(IsValid(Make(2024, 2, 29, 23, 59, 59, 999)));
}

TEST(DateTime, DisplayFormat) {
  struct Row {
    std::u16string_view format;
    SystemTime t;
    std::u16string_view want;
  };
  const Row rows[] = {
      {kDisplayTimeFormat, Make(2026, 12, 9, 15, 7), u"Wed. December 09, 2026. 03:07 PM"},
      {kDisplayTimeFormat, Make(2024, 7, 1, 0, 5), u"Mon. July 01, 2024. 12:05 AM"},
      {kDisplayTimeFormat, Make(2024, 7, 1, 12, 0), u"Mon. July 01, 2024. 12:00 PM"},
      {u"%a. %b %d, %Y. %I:%M %p", Make(2024, 9, 3, 9, 30), u"Tue. Sep 03, 2024. 09:30 AM"},
      {u"%a, %b %d, %y  %H:%M", Make(2009, 1, 2, 8, 4), u"Fri, Jan 02, 09  08:04"},
      {u"%A %m/%d/%Y %H:%M:%S", Make(2000, 2, 29, 23, 59, 58), u"Tuesday 02/29/2000 23:59:58"},
      {u"%j %w %U %W", Make(2024, 12, 31), u"366 2 52 53"},
      {u"%j %U %W", Make(2023, 1, 1), u"001 01 00"},
      {u"%c|%x|%X", Make(2024, 3, 5, 6, 7, 8), u"03/05/24 06:07:08|03/05/24|06:07:08"},
      {u"%#d.%#m.%#I", Make(2024, 3, 5, 6), u"5.3.6"},
      {u"100%% %Q %", Make(2024, 3, 5), u"100% %Q %"},
  };
  for (const auto& r : rows) EXPECT_EQ(FormatTime(r.format, r.t), r.want) << Utf16ToUtf8(r.want);
}

TEST(DateTime, FormatUsesTheGivenNamesAndSurvivesBadFields) {
  DateNames german = EnglishDateNames();
  german.longDays[3] = u"Mittwoch";
  german.longMonths[11] = u"Dezember";
  german.am = u"vorm.";
  german.pm = u"nachm.";
  EXPECT_EQ(FormatTime(u"%A, %d. %B %Y %I %p", Make(2026, 12, 9, 15), german),
            u"Mittwoch, 09. Dezember 2026 03 nachm.");
  SystemTime bad;
  bad.month = 13;
  bad.dayOfWeek = 9;
  bad.hour = 99;
  EXPECT_EQ(FormatTime(u"[%a|%B|%d|%I|%j]", bad), u"[||00|03|000]");
}

// Eastern time as Windows describes it: DST from the second Sunday of March 02:00 to the first
// Sunday of November 02:00.
WindowsTimeZone::Info EasternInfo() {
  WindowsTimeZone::Info i;
  i.bias = 300;
  i.daylightBias = -60;
  i.daylightDate.month = 3;
  i.daylightDate.dayOfWeek = 0;
  i.daylightDate.day = 2;
  i.daylightDate.hour = 2;
  i.standardDate.month = 11;
  i.standardDate.dayOfWeek = 0;
  i.standardDate.day = 1;
  i.standardDate.hour = 2;
  return i;
}

TEST(DateTime, TimeZoneRulesSwitchAtTheirTransitions) {
  const WindowsTimeZone eastern(EasternInfo());
  WindowsTimeZone::Info s;  // Sydney: DST from first Sunday of October to first Sunday of April
  s.bias = -600;
  s.daylightBias = -60;
  s.standardDate.month = 4;
  s.standardDate.day = 1;
  s.standardDate.hour = 3;
  s.daylightDate.month = 10;
  s.daylightDate.day = 1;
  s.daylightDate.hour = 2;
  const WindowsTimeZone sydney(s);
  WindowsTimeZone::Info last = EasternInfo();  // "last Sunday" rule: day 5
  last.daylightDate.day = 5;
  const WindowsTimeZone lastSunday(last);
  struct Row {
    const TimeZone* zone;
    std::int64_t utc;
    int offset;
  };
  const Row rows[] = {
      {&eastern, 1710054000 - 1, -300},     // 2024-03-10 01:59:59 EST
      {&eastern, 1710054000, -240},         // 03:00 EDT
      {&eastern, 1730613600 - 1, -240},     // 2024-11-03 01:59:59 EDT
      {&eastern, 1730613600, -300},         // back to EST
      {&sydney, 1705276800, 660},           // January: summer
      {&sydney, 1719792000, 600},           // July: winter
      {&lastSunday, 1711868400 - 1, -300},  // 2024-03-31 is the last Sunday of March
      {&lastSunday, 1711868400 + 3600, -240},
  };
  for (const auto& r : rows) EXPECT_EQ(r.zone->OffsetMinutesAt(r.utc), r.offset) << r.utc;
  WindowsTimeZone::Info none = EasternInfo();
  none.daylightDate.month = 0;
  EXPECT_EQ(WindowsTimeZone(none).OffsetMinutesAt(1719792000), -300);
}

TEST(DateTime, LocalTimeConversions) {
  const WindowsTimeZone eastern(EasternInfo());
  EXPECT_EQ(LocalTimeFromUnix(1719792000, eastern), Make(2024, 6, 30, 20));
  EXPECT_EQ(UnixFromLocalTime(Make(2024, 6, 30, 20), eastern), 1719792000);
  EXPECT_EQ(UnixFromLocalTime(Make(2024, 1, 14, 19), eastern), 1705276800);
  // 02:30 does not exist on the spring-forward day; it resolves to a moment nearby.
  const auto gap = UnixFromLocalTime(Make(2024, 3, 10, 2, 30), eastern);
  ASSERT_TRUE(gap);
  EXPECT_NEAR(static_cast<double>(*gap), 1710054000.0, 3600.0);

  const FixedTimeZone minus5(-300);
  EXPECT_EQ(LocalTimeFromUnix(0, minus5), Make(1969, 12, 31, 19));
  EXPECT_EQ(UtcToLocal(Make(2024, 1, 1, 2, 0, 0, 250), FixedTimeZone(90)),
            Make(2024, 1, 1, 3, 30, 0, 250));
  EXPECT_EQ(LocalToUtc(Make(2024, 1, 1, 3, 30, 0, 250), FixedTimeZone(90)),
            Make(2024, 1, 1, 2, 0, 0, 250));
  EXPECT_FALSE(LocalToUtc(Make(2024, 2, 30), minus5));
  EXPECT_FALSE(LocalTimeFromUnix(-11644473600, FixedTimeZone(-60)));  // before 1601 locally
}

}  // namespace
}  // namespace bc
