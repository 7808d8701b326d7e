// Calendar times the way Windows keeps them (SYSTEMTIME, FILETIME), conversions to and from
// seconds since 1970, local time through an explicit time zone, and strftime-style display.
// Nothing here reads the host clock or the host time zone: the (simulated) machine supplies both.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bc {

// SYSTEMTIME. month 1-12, dayOfWeek 0 = Sunday, day 1-31; valid years are 1601-30827.
struct SystemTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t dayOfWeek = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
  friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

// 100 ns ticks between 1601-01-01 and 1970-01-01.
inline constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000ull;
inline constexpr std::uint64_t kFileTimeTicksPerSecond = 10000000ull;

// Day of week (0 = Sunday) of a proleptic Gregorian date.
int DayOfWeek(int year, int month, int day);
int DaysInMonth(int year, int month);
// Fields in range (dayOfWeek is not checked: Windows ignores it on input).
bool IsValid(const SystemTime& t);

// FILETIME (100 ns since 1601, as one number) <-> SystemTime in the same zone. Like
// FileTimeToSystemTime / SystemTimeToFileTime: fail outside the representable range.
std::optional<SystemTime> SystemTimeFromFileTime(std::uint64_t fileTime);
std::optional<std::uint64_t> FileTimeFromSystemTime(const SystemTime& t);

// Seconds since 1970 (UTC) <-> FILETIME and SystemTime. Sub-second parts are dropped.
std::optional<std::uint64_t> FileTimeFromUnix(std::int64_t seconds);
std::int64_t UnixFromFileTime(std::uint64_t fileTime);
std::optional<SystemTime> SystemTimeFromUnix(std::int64_t seconds);
std::optional<std::int64_t> UnixFromSystemTime(const SystemTime& t);

// A time zone: how far local time is ahead of UTC at a given moment.
class TimeZone {
 public:
  virtual ~TimeZone() = default;
  // Minutes to add to UTC to get local time, at the UTC moment given in seconds since 1970.
  virtual int OffsetMinutesAt(std::int64_t utcSeconds) const = 0;
};

// A zone without daylight saving time (also UTC itself with offset 0).
class FixedTimeZone final : public TimeZone {
 public:
  explicit FixedTimeZone(int offsetMinutes) : offset_(offsetMinutes) {}
  int OffsetMinutesAt(std::int64_t) const override { return offset_; }

 private:
  int offset_;
};

// TIME_ZONE_INFORMATION rules: Bias and the two biases in minutes (UTC = local + bias); the
// transition dates in SYSTEMTIME "day in month" form (year 0, month, dayOfWeek, day = week 1-5
// where 5 means the last, hour, minute), given in local time. month 0 in either date: no DST.
class WindowsTimeZone final : public TimeZone {
 public:
  struct Info {
    int bias = 0;
    int standardBias = 0;
    int daylightBias = 0;
    SystemTime standardDate;  // start of standard time (local daylight time)
    SystemTime daylightDate;  // start of daylight time (local standard time)
  };
  explicit WindowsTimeZone(const Info& info) : info_(info) {}
  int OffsetMinutesAt(std::int64_t utcSeconds) const override;

 private:
  Info info_;
};

// Local time. Like SystemTimeToTzSpecificLocalTime and TzSpecificLocalTimeToSystemTime.
std::optional<SystemTime> LocalTimeFromUnix(std::int64_t utcSeconds, const TimeZone& zone);
std::optional<std::int64_t> UnixFromLocalTime(const SystemTime& local, const TimeZone& zone);
std::optional<SystemTime> UtcToLocal(const SystemTime& utc, const TimeZone& zone);
std::optional<SystemTime> LocalToUtc(const SystemTime& local, const TimeZone& zone);

// Day and month names and the AM/PM designators used by FormatTime; English by default,
// localization supplies others.
struct DateNames {
  std::array<std::u16string, 7> shortDays;  // Sunday first
  std::array<std::u16string, 7> longDays;
  std::array<std::u16string, 12> shortMonths;  // January first
  std::array<std::u16string, 12> longMonths;
  std::u16string am;
  std::u16string pm;
};
const DateNames& EnglishDateNames();

// The format shown for dates in the program.
inline constexpr std::u16string_view kDisplayTimeFormat = u"%a. %B %d, %Y. %I:%M %p";

// strftime with the C locale's conversions: %a %A %b %B %c %d %H %I %j %m %M %p %S %U %w %W %x
// %X %y %Y %% and the '#' flag (no leading zeros). Unknown conversions are copied literally;
// out-of-range fields print as empty names or as their number, never fault.
std::u16string FormatTime(std::u16string_view format, const SystemTime& t,
                          const DateNames& names = EnglishDateNames());

}  // namespace bc
