// Calendar date and time, its text forms and the length-of-time phrase.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halvard {

// Plain calendar fields; weekday 1..7 with 1 = Sunday, hour 0..23.
struct DateTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int weekday = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;

  // Field by field; `compare` gives the calendar order.
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Offsets in minutes as the system reports them (local = UTC - bias).
struct UtcBias {
  int bias = 0;
  int standard_bias = 0;
  int daylight_bias = 0;
  bool daylight = false;
};

inline constexpr std::string_view default_date_time_format = "m/d/y h:ii:ssap";
inline constexpr std::string_view default_time_format = "h:ii:ssap";
inline constexpr std::string_view default_date_format = "m/d/y";

bool is_valid(const DateTime& dt);

// Whole day count; consecutive calendar days give consecutive numbers.
long long day_number(const DateTime& dt);

// Weekday (1 = Sunday) of the date, from its day number.
int weekday_of(const DateTime& dt);

// Negative, zero or positive by day number (the time of day is not looked at);
// invalid dates sort before valid ones and equal each other.
int compare(const DateTime& a, const DateTime& b);

// Minutes east of UTC: minus (Bias + DaylightBias or StandardBias).
long long utc_offset_minutes(const UtcBias& bias);

// An empty format means default_date_time_format. `bias` feeds the `b` token.
std::string format(const DateTime& dt, std::string_view fmt, const UtcBias& bias = {});

// English words for a whole number ("Two Thousand Twenty Six").
std::string number_in_words(long long n);

// Ordinal word for a day of month ("First", "Twenty Second").
std::string ordinal_in_words(int n);

// "99 seconds", "1 minute, 40 seconds", "2 hours, 5 minutes", "1 day, 3 hours".
std::string length_of_time(std::int64_t seconds);

}  // namespace halvard
