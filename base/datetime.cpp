#include "base/datetime.h"

#include <algorithm>
#include <string>

namespace bc {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDeltaSeconds = 11644473600;
// FILETIME values from 2^63 on are refused, as FileTimeToSystemTime does.
constexpr std::uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFull;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  std::int64_t year;
  int month;
  int day;
};

Civil CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (m <= 2), m, d};
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

bool IsLeap(std::int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Seconds since 1970 of the fields, taken as UTC; no range check.
std::int64_t SecondsOf(const SystemTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 + t.minute * 60 +
         t.second;
}

SystemTime FromSeconds(std::int64_t s, std::uint16_t ms) {
  const std::int64_t days = FloorDiv(s, kSecondsPerDay);
  const std::int64_t rest = s - days * kSecondsPerDay;
  const Civil c = CivilFromDays(days);
  SystemTime t;
  t.year = static_cast<std::uint16_t>(c.year);
  t.month = static_cast<std::uint16_t>(c.month);
  t.day = static_cast<std::uint16_t>(c.day);
  t.dayOfWeek = static_cast<std::uint16_t>(DayOfWeek(static_cast<int>(c.year), c.month, c.day));
  t.hour = static_cast<std::uint16_t>(rest / 3600);
  t.minute = static_cast<std::uint16_t>(rest / 60 % 60);
  t.second = static_cast<std::uint16_t>(rest % 60);
  t.milliseconds = ms;
  return t;
}

// Seconds since 1970 that FILETIME can represent.
bool InFileTimeRange(std::int64_t s) {
  return s >= -kEpochDeltaSeconds &&
         s <=
             static_cast<std::int64_t>(kMaxFileTime / kFileTimeTicksPerSecond) - kEpochDeltaSeconds;
}

// A transition date of TIME_ZONE_INFORMATION for one year, as local seconds since 1970; false
// when the rule does not apply to that year.
bool TransitionSeconds(const SystemTime& rule, std::int64_t year, std::int64_t& out) {
  if (rule.month < 1 || rule.month > 12) return false;
  int day;
  if (rule.year != 0) {  // absolute date: that year only
    if (rule.year != year) return false;
    day = std::clamp<int>(rule.day, 1, DaysInMonth(static_cast<int>(year), rule.month));
  } else {
    const int first = DayOfWeek(static_cast<int>(year), rule.month, 1);
    const int week = std::clamp<int>(rule.day, 1, 5);
    day = 1 + (rule.dayOfWeek % 7 - first + 7) % 7 + 7 * (week - 1);
    while (day > DaysInMonth(static_cast<int>(year), rule.month)) day -= 7;
  }
  out = DaysFromCivil(year, rule.month, day) * kSecondsPerDay + rule.hour * 3600 +
        rule.minute * 60 + rule.second;
  return true;
}

void Append2(std::u16string& out, int v, bool noLeadingZero) {
  if (v < 0) v = 0;
  const std::string s = std::to_string(v);
  if (s.size() < 2 && !noLeadingZero) out.push_back(u'0');
  out.append(s.begin(), s.end());
}

void AppendNumber(std::u16string& out, std::int64_t v, std::size_t digits, bool noLeadingZero) {
  const std::string s = std::to_string(v);
  if (!noLeadingZero && s.size() < digits) out.append(digits - s.size(), u'0');
  out.append(s.begin(), s.end());
}

}  // namespace

int DayOfWeek(int year, int month, int day) {
  const std::int64_t days = DaysFromCivil(year, month, day);  // 1970-01-01 was a Thursday
  return static_cast<int>(((days % 7) + 11) % 7);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool IsValid(const SystemTime& t) {
  return t.year >= 1601 && t.year <= 30827 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= DaysInMonth(t.year, t.month) && t.hour < 24 && t.minute < 60 && t.second < 60 &&
         t.milliseconds < 1000;
}

std::optional<SystemTime> SystemTimeFromFileTime(std::uint64_t fileTime) {
  if (fileTime > kMaxFileTime) return std::nullopt;
  const std::int64_t s =
      static_cast<std::int64_t>(fileTime / kFileTimeTicksPerSecond) - kEpochDeltaSeconds;
  const auto ms = static_cast<std::uint16_t>(fileTime % kFileTimeTicksPerSecond / 10000);
  return FromSeconds(s, ms);
}

std::optional<std::uint64_t> FileTimeFromSystemTime(const SystemTime& t) {
  if (!IsValid(t)) return std::nullopt;
  const std::int64_t s = SecondsOf(t) + kEpochDeltaSeconds;
  return static_cast<std::uint64_t>(s) * kFileTimeTicksPerSecond + t.milliseconds * 10000ull;
}

std::optional<std::uint64_t> FileTimeFromUnix(std::int64_t seconds) {
  if (!InFileTimeRange(seconds)) return std::nullopt;
  return static_cast<std::uint64_t>(seconds + kEpochDeltaSeconds) * kFileTimeTicksPerSecond;
}

std::int64_t UnixFromFileTime(std::uint64_t fileTime) {
  return static_cast<std::int64_t>(fileTime / kFileTimeTicksPerSecond) - kEpochDeltaSeconds;
}

std::optional<SystemTime> SystemTimeFromUnix(std::int64_t seconds) {
  if (!InFileTimeRange(seconds)) return std::nullopt;
  return FromSeconds(seconds, 0);
}

std::optional<std::int64_t> UnixFromSystemTime(const SystemTime& t) {
  if (!IsValid(t)) return std::nullopt;
  return SecondsOf(t);
}

int WindowsTimeZone::OffsetMinutesAt(std::int64_t utcSeconds) const {
  const int standard = -(info_.bias + info_.standardBias);
  const int daylight = -(info_.bias + info_.daylightBias);
  if (info_.standardDate.month == 0 || info_.daylightDate.month == 0) return standard;
  const std::int64_t year =
      CivilFromDays(FloorDiv(utcSeconds + standard * 60, kSecondsPerDay)).year;
  std::int64_t dstStart, dstEnd;
  if (!TransitionSeconds(info_.daylightDate, year, dstStart) ||
      !TransitionSeconds(info_.standardDate, year, dstEnd)) {
    return standard;
  }
  dstStart -= standard * 60;  // the start is given in local standard time
  dstEnd -= daylight * 60;    // the end in local daylight time
  const bool inDst = dstStart < dstEnd ? (utcSeconds >= dstStart && utcSeconds < dstEnd)
                                       : !(utcSeconds >= dstEnd && utcSeconds < dstStart);
  return inDst ? daylight : standard;
}

std::optional<SystemTime> LocalTimeFromUnix(std::int64_t utcSeconds, const TimeZone& zone) {
  if (!InFileTimeRange(utcSeconds)) return std::nullopt;
  const std::int64_t local = utcSeconds + std::int64_t{zone.OffsetMinutesAt(utcSeconds)} * 60;
  return SystemTimeFromUnix(local);
}

std::optional<std::int64_t> UnixFromLocalTime(const SystemTime& local, const TimeZone& zone) {
  const auto l = UnixFromSystemTime(local);
  if (!l) return std::nullopt;
  // The offset depends on the UTC moment we are looking for: guess with the offset at the
  // local reading, then correct once (resolves transitions the way Windows does).
  const int first = zone.OffsetMinutesAt(*l);
  std::int64_t u = *l - std::int64_t{first} * 60;
  const int second = zone.OffsetMinutesAt(u);
  if (second != first) u = *l - std::int64_t{second} * 60;
  if (!InFileTimeRange(u)) return std::nullopt;
  return u;
}

std::optional<SystemTime> UtcToLocal(const SystemTime& utc, const TimeZone& zone) {
  const auto s = UnixFromSystemTime(utc);
  if (!s) return std::nullopt;
  auto t = LocalTimeFromUnix(*s, zone);
  if (t) t->milliseconds = utc.milliseconds;
  return t;
}

std::optional<SystemTime> LocalToUtc(const SystemTime& local, const TimeZone& zone) {
  const auto s = UnixFromLocalTime(local, zone);
  if (!s) return std::nullopt;
  auto t = SystemTimeFromUnix(*s);
  if (t) t->milliseconds = local.milliseconds;
  return t;
}

const DateNames& EnglishDateNames() {
  static const DateNames names{
      {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"},
      {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"},
      {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov",
       u"Dec"},
      {u"January", u"February", u"March", u"April", u"May", u"June", u"July", u"August",
       u"September", u"October", u"November", u"December"},
      u"AM",
      u"PM"};
  return names;
}

std::u16string FormatTime(std::u16string_view f, const SystemTime& t, const DateNames& names) {
  std::u16string out;
  const bool monthOk = t.month >= 1 && t.month <= 12;
  const bool dayOk = t.dayOfWeek <= 6;
  int yday = t.day;  // 1-based day of the year
  for (int m = 1; monthOk && m < t.month; ++m) yday += DaysInMonth(t.year, m);
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != u'%' || i + 1 >= f.size()) {
      out.push_back(f[i]);
      continue;
    }
    const std::size_t start = i++;
    bool noZero = false;
    if (f[i] == u'#' && i + 1 < f.size()) {
      noZero = true;
      ++i;
    }
    switch (f[i]) {
      case u'a':
        if (dayOk) out += names.shortDays[t.dayOfWeek];
        break;
      case u'A':
        if (dayOk) out += names.longDays[t.dayOfWeek];
        break;
      case u'b':
        if (monthOk) out += names.shortMonths[t.month - 1];
        break;
      case u'B':
        if (monthOk) out += names.longMonths[t.month - 1];
        break;
      case u'c':
        out += FormatTime(u"%m/%d/%y %H:%M:%S", t, names);
        break;
      case u'x':
        out += FormatTime(u"%m/%d/%y", t, names);
        break;
      case u'X':
        out += FormatTime(u"%H:%M:%S", t, names);
        break;
      case u'd':
        Append2(out, t.day, noZero);
        break;
      case u'H':
        Append2(out, t.hour, noZero);
        break;
      case u'I':
        Append2(out, t.hour % 12 == 0 ? 12 : t.hour % 12, noZero);
        break;
      case u'j':
        AppendNumber(out, yday, 3, noZero);
        break;
      case u'm':
        Append2(out, t.month, noZero);
        break;
      case u'M':
        Append2(out, t.minute, noZero);
        break;
      case u'p':
        out += t.hour < 12 ? names.am : names.pm;
        break;
      case u'S':
        Append2(out, t.second, noZero);
        break;
      case u'U':
        Append2(out, (yday - 1 + 7 - t.dayOfWeek % 7) / 7, noZero);
        break;
      case u'W':
        Append2(out, (yday - 1 + 7 - (t.dayOfWeek + 6) % 7) / 7, noZero);
        break;
      case u'w':
        AppendNumber(out, t.dayOfWeek, 1, noZero);
        break;
      case u'y':
        Append2(out, t.year % 100, noZero);
        break;
      case u'Y':
        AppendNumber(out, t.year, 4, noZero);
        break;
      case u'%':
        out.push_back(u'%');
        break;
      default:
        out.append(f.substr(start, i + 1 - start));
        break;
    }
  }
  return out;
}

}  // namespace bc
