#include "foundation/date_time.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace halvard {
namespace {

constexpr std::array<const char*, 12> month_names = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

constexpr std::array<const char*, 7> weekday_names = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

constexpr std::array<const char*, 20> small_numbers = {
    "Zero",     "One",     "Two",     "Three",     "Four",     "Five",    "Six",
    "Seven",    "Eight",   "Nine",    "Ten",       "Eleven",   "Twelve",  "Thirteen",
    "Fourteen", "Fifteen", "Sixteen", "Seventeen", "Eighteen", "Nineteen"};

constexpr std::array<const char*, 10> tens_names = {
    "", "", "Twenty", "Thirty", "Forty", "Fifty", "Sixty", "Seventy", "Eighty", "Ninety"};

void append_number(std::string& out, const char* fmt, long long value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, fmt, value);
  out += buffer;
}

// A name from a table, or nothing when the field is out of range.
template <std::size_t N>
std::string_view name_at(const std::array<const char*, N>& names, int one_based) {
  if (one_based < 1 || one_based > static_cast<int>(N)) return {};
  return names[static_cast<std::size_t>(one_based - 1)];
}

// The day number switches from the Julian to the Gregorian count in October 1582,
// so month lengths follow the same change to keep the days consecutive.
bool is_leap_year(int year) {
  if (year > 1582) return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int astronomical = year < 0 ? year + 1 : year;
  return astronomical % 4 == 0;
}

int days_in_month(int year, int month) {
  static constexpr std::array<int, 12> lengths = {31, 28, 31, 30, 31, 30,
                                                  31, 31, 30, 31, 30, 31};
  if (month == 2 && is_leap_year(year)) return 29;
  return lengths[static_cast<std::size_t>(month - 1)];
}

void append_words_below_thousand(std::string& out, long long n) {
  auto add = [&out](std::string_view word) {
    if (!out.empty() && out.back() != ' ') out += ' ';
    out += word;
  };
  if (n >= 100) {
    add(small_numbers[static_cast<std::size_t>(n / 100)]);
    add("Hundred");
    n %= 100;
    if (n == 0) return;
  }
  if (n >= 20) {
    add(tens_names[static_cast<std::size_t>(n / 10)]);
    if (n % 10 != 0) add(small_numbers[static_cast<std::size_t>(n % 10)]);
  } else {
    add(small_numbers[static_cast<std::size_t>(n)]);
  }
}

// "Fifth" from "Five", "Twentieth" from "Twenty": only the last word changes.
std::string ordinal_of_word(std::string_view word) {
  struct Irregular {
    std::string_view cardinal;
    std::string_view ordinal;
  };
  static constexpr std::array<Irregular, 6> irregular = {{{"One", "First"},
                                                          {"Two", "Second"},
                                                          {"Three", "Third"},
                                                          {"Five", "Fifth"},
                                                          {"Eight", "Eighth"},
                                                          {"Nine", "Ninth"}}};
  for (const auto& entry : irregular) {
    if (word == entry.cardinal) return std::string(entry.ordinal);
  }
  if (word == "Twelve") return "Twelfth";
  if (!word.empty() && word.back() == 'y') {
    return std::string(word.substr(0, word.size() - 1)) + "ieth";
  }
  return std::string(word) + "th";
}

std::string_view ordinal_suffix(int n) {
  int last_two = std::abs(n % 100);
  if (last_two >= 11 && last_two <= 13) return "th";
  switch (last_two % 10) {
    case 1:
      return "st";
    case 2:
      return "nd";
    case 3:
      return "rd";
    default:
      return "th";
  }
}

int hour_12(int hour) {
  int h = hour % 12;
  return h == 0 ? 12 : h;
}

}  // namespace

bool is_valid(const DateTime& dt) {
  if (dt.year == 0) return false;
  if (dt.month < 1 || dt.month > 12) return false;
  if (dt.weekday < 1 || dt.weekday > 7) return false;
  return dt.day >= 1 && dt.day <= days_in_month(dt.year, dt.month);
}

long long day_number(const DateTime& dt) {
  // Wide enough that no field value can overflow, valid or not.
  long long year = dt.year < 0 ? dt.year + 1LL : dt.year;  // there is no year 0
  long long month = dt.month;
  if (month < 3) {
    year -= 1;
    month += 12;
  }
  // int(year * 365.25) and int((month + 1) * 30.6001), exactly, in integers.
  long long days = year * 1461 / 4 + (month + 1) * 306001 / 10000 + dt.day;
  if (year * 10000 + month * 100 + dt.day >= 15821015)
    days += year / 400 - year / 100 + 2;
  return days;
}

int weekday_of(const DateTime& dt) {
  // Day numbers of the form 7k + 3 fall on a Sunday (740388, 8 December 2026, is a
  // Tuesday); an offset of 2 here would name every day two days early.
  long long r = (day_number(dt) + 4) % 7;
  if (r < 0) r += 7;
  return static_cast<int>(r) + 1;
}

int compare(const DateTime& a, const DateTime& b) {
  bool a_valid = is_valid(a);
  bool b_valid = is_valid(b);
  if (!a_valid || !b_valid) return static_cast<int>(a_valid) - static_cast<int>(b_valid);
  long long da = day_number(a);
  long long db = day_number(b);
  return da < db ? -1 : (da > db ? 1 : 0);
}

long long utc_offset_minutes(const UtcBias& bias) {
  long long sum = bias.daylight ? bias.daylight_bias : bias.standard_bias;
  return -(sum + bias.bias);
}

std::string number_in_words(long long n) {
  if (n == 0) return small_numbers[0];
  std::string out;
  // Magnitude as unsigned so that the most negative value is spelled too.
  unsigned long long rest = n < 0 ? 0ull - static_cast<unsigned long long>(n)
                                  : static_cast<unsigned long long>(n);
  if (n < 0) out = "Minus";
  struct Scale {
    unsigned long long size;
    const char* name;
  };
  static constexpr std::array<Scale, 6> scales = {
      {{1000000000000000000ull, "Quintillion"},
       {1000000000000000ull, "Quadrillion"},
       {1000000000000ull, "Trillion"},
       {1000000000ull, "Billion"},
       {1000000ull, "Million"},
       {1000ull, "Thousand"}}};
  for (const auto& scale : scales) {
    if (rest < scale.size) continue;
    append_words_below_thousand(out, static_cast<long long>(rest / scale.size));
    out += ' ';
    out += scale.name;
    rest %= scale.size;
  }
  if (rest != 0) append_words_below_thousand(out, static_cast<long long>(rest));
  return out;
}

std::string ordinal_in_words(int n) {
  std::string words = number_in_words(n);
  std::size_t last_space = words.rfind(' ');
  std::size_t start = last_space == std::string::npos ? 0 : last_space + 1;
  return words.substr(0, start) + ordinal_of_word(std::string_view(words).substr(start));
}

std::string format(const DateTime& dt, std::string_view fmt, const UtcBias& bias) {
  if (fmt.empty()) fmt = default_date_time_format;
  std::string out;
  std::size_t i = 0;
  while (i < fmt.size()) {
    char c = fmt[i];
    char next = i + 1 < fmt.size() ? fmt[i + 1] : '\0';
    bool doubled = next == c;
    std::size_t used = doubled ? 2 : 1;
    const char* number_format = doubled ? "%02lld" : "%lld";
    switch (c) {
      case 'd':
        append_number(out, number_format, dt.day);
        break;
      case 'm':
        append_number(out, number_format, dt.month);
        break;
      case 'w':
        append_number(out, number_format, dt.weekday);
        break;
      case 'H':
        append_number(out, number_format, dt.hour);
        break;
      case 'h':
        append_number(out, number_format, hour_12(dt.hour));
        break;
      case 'i':
        append_number(out, number_format, dt.minute);
        break;
      case 's':
        append_number(out, number_format, dt.second);
        break;
      case 'D':
        if (doubled) {
          out += ordinal_in_words(dt.day);
        } else {
          append_number(out, "%lld", dt.day);
          out += ordinal_suffix(dt.day);
        }
        break;
      case 'M': {
        std::string_view name = name_at(month_names, dt.month);
        out += doubled ? name : name.substr(0, 3);
        break;
      }
      case 'W': {
        std::string_view name = name_at(weekday_names, dt.weekday);
        out += doubled ? name : name.substr(0, 3);
        break;
      }
      case 'y':
        if (doubled) {
          append_number(out, "%04lld", dt.year);
        } else {
          append_number(out, "%02lld", std::abs(dt.year % 100));
        }
        break;
      case 'Y':
        if (doubled) {
          out += number_in_words(dt.year);
        } else {
          int two_digits = std::abs(dt.year % 100);
          if (two_digits < 10) out += "Oh ";
          out += number_in_words(two_digits);
        }
        break;
      case 'a':
      case 'A':
        if (next == 'p' || next == 'P') {
          bool morning = dt.hour < 12;
          if (c == 'a') {
            out += morning ? "a" : "p";
          } else {
            out += morning ? "a.m." : "p.m.";
          }
          used = 2;
        } else {
          out += c;
          used = 1;
        }
        break;
      case 'b': {
        long long offset = utc_offset_minutes(bias);
        long long magnitude = offset < 0 ? -offset : offset;
        out += offset < 0 ? '-' : '+';
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%02lld%02lld", magnitude / 60,
                      magnitude % 60);
        out += buffer;
        used = 1;
        break;
      }
      default:
        out += c;
        used = 1;
        break;
    }
    i += used;
  }
  return out;
}

std::string length_of_time(std::int64_t seconds) {
  char buffer[96];
  auto plural = [](std::int64_t n) { return n == 1 ? "" : "s"; };
  if (seconds < 100) {
    std::snprintf(buffer, sizeof buffer, "%" PRId64 " seconds", seconds);
    return buffer;
  }
  std::int64_t minutes = seconds / 60;
  if (seconds < 3600) {
    std::snprintf(buffer, sizeof buffer, "%" PRId64 " minute%s, %" PRId64 " seconds",
                  minutes, plural(minutes), seconds % 60);
    return buffer;
  }
  std::int64_t hours = minutes / 60;
  if (minutes <= 1440) {
    std::snprintf(buffer, sizeof buffer, "%" PRId64 " hour%s, %" PRId64 " minutes", hours,
                  plural(hours), minutes % 60);
    return buffer;
  }
  std::int64_t days = hours / 24;
  std::snprintf(buffer, sizeof buffer, "%" PRId64 " day%s, %" PRId64 " hours", days,
                plural(days), hours % 24);
  return buffer;
}

}  // namespace halvard
