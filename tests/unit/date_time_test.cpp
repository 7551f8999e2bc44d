#include "foundation/date_time.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace halvard {
namespace {

// Tuesday, 8 December 2026, 17:05:09.
constexpr DateTime evening{2026, 12, 8, 3, 17, 5, 9};
// Sunday, 2 January 2005, 09:07:03.
constexpr DateTime morning{2005, 1, 2, 1, 9, 7, 3};

TEST(DateTimeFormat, InstallLogExample) {
  EXPECT_EQ(format(evening, "d-M-yy h:ii:ssap"), "8-Dec-2026 5:05:09p");
}

TEST(DateTimeFormat, EveryToken) {
  struct Case {
    const DateTime* dt;
    const char* format;
    const char* expected;
  };
  const Case cases[] = {
      {&evening, "d", "8"},
      {&evening, "dd", "08"},
      {&evening, "D", "8th"},
      {&evening, "DD", "Eighth"},
      {&evening, "m", "12"},
      {&morning, "m", "1"},
      {&morning, "mm", "01"},
      {&evening, "M", "Dec"},
      {&evening, "MM", "December"},
      {&evening, "w", "3"},
      {&evening, "ww", "03"},
      {&evening, "W", "Tue"},
      {&evening, "WW", "Tuesday"},
      {&morning, "WW", "Sunday"},
      {&evening, "y", "26"},
      {&evening, "yy", "2026"},
      {&morning, "y", "05"},
      {&evening, "Y", "Twenty Six"},
      {&morning, "Y", "Oh Five"},
      {&evening, "YY", "Two Thousand Twenty Six"},
      {&evening, "h", "5"},
      {&evening, "hh", "05"},
      {&morning, "hh", "09"},
      {&evening, "H", "17"},
      {&morning, "H", "9"},
      {&morning, "HH", "09"},
      {&morning, "i", "7"},
      {&morning, "ii", "07"},
      {&morning, "s", "3"},
      {&morning, "ss", "03"},
      {&evening, "ap", "p"},
      {&morning, "ap", "a"},
      {&evening, "aP", "p"},
      {&evening, "AP", "p.m."},
      {&morning, "Ap", "a.m."},
      // Not tokens: copied as they are.
      {&evening, "a", "a"},
      {&evening, "A", "A"},
      {&evening, "x-A:a", "x-A:a"},
      {&evening, "Today", "To8a26"},  // letters of words are tokens too
      // A doubled token takes two letters; a third starts again.
      {&evening, "ddd", "088"},
      {&evening, "MMM", "DecemberDec"},
      {&evening, "[WW, DD MM YY]", "[Tuesday, Eighth December Two Thousand Twenty Six]"},
      {&morning, default_time_format.data(), "9:07:03a"},
      {&morning, default_date_format.data(), "1/2/05"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format(*c.dt, c.format), c.expected) << "format \"" << c.format << '"';
  }
}

TEST(DateTimeFormat, EmptyFormatIsTheDefault) {
  EXPECT_EQ(format(evening, ""), "12/8/26 5:05:09p");
  EXPECT_EQ(format(evening, ""), format(evening, default_date_time_format));
}

TEST(DateTimeFormat, OrdinalDays) {
  struct Case {
    int day;
    const char* suffixed;
    const char* words;
  };
  const Case cases[] = {
      {1, "1st", "First"},          {2, "2nd", "Second"},
      {3, "3rd", "Third"},          {4, "4th", "Fourth"},
      {5, "5th", "Fifth"},          {8, "8th", "Eighth"},
      {9, "9th", "Ninth"},          {11, "11th", "Eleventh"},
      {12, "12th", "Twelfth"},      {13, "13th", "Thirteenth"},
      {20, "20th", "Twentieth"},    {21, "21st", "Twenty First"},
      {22, "22nd", "Twenty Second"}, {23, "23rd", "Twenty Third"},
      {24, "24th", "Twenty Fourth"}, {30, "30th", "Thirtieth"},
      {31, "31st", "Thirty First"},
  };
  for (const auto& c : cases) {
    DateTime dt = evening;
    dt.month = 1;
    dt.day = c.day;
    EXPECT_EQ(format(dt, "D"), c.suffixed) << c.day;
    EXPECT_EQ(format(dt, "DD"), c.words) << c.day;
  }
}

TEST(DateTimeFormat, TwelveHourClock) {
  struct Case {
    int hour;
    const char* expected;  // "h hh H HH ap AP"
  };
  const Case cases[] = {
      {0, "12 12 0 00 a a.m."},  {1, "1 01 1 01 a a.m."},   {11, "11 11 11 11 a a.m."},
      {12, "12 12 12 12 p p.m."}, {13, "1 01 13 13 p p.m."}, {23, "11 11 23 23 p p.m."},
  };
  for (const auto& c : cases) {
    DateTime dt = evening;
    dt.hour = c.hour;
    EXPECT_EQ(format(dt, "h hh H HH ap AP"), c.expected) << c.hour;
  }
}

TEST(DateTimeFormat, YearsInWords) {
  struct Case {
    int year;
    const char* two_digits;
    const char* whole;
  };
  const Case cases[] = {
      {2000, "Oh Zero", "Two Thousand"},
      {1999, "Ninety Nine", "One Thousand Nine Hundred Ninety Nine"},
      {1066, "Sixty Six", "One Thousand Sixty Six"},
      {2011, "Eleven", "Two Thousand Eleven"},
      {1910, "Ten", "One Thousand Nine Hundred Ten"},
      {900, "Oh Zero", "Nine Hundred"},
  };
  for (const auto& c : cases) {
    DateTime dt = evening;
    dt.year = c.year;
    EXPECT_EQ(format(dt, "Y"), c.two_digits) << c.year;
    EXPECT_EQ(format(dt, "YY"), c.whole) << c.year;
  }
}

TEST(DateTimeFormat, NumbersInWords) {
  EXPECT_EQ(number_in_words(0), "Zero");
  EXPECT_EQ(number_in_words(15), "Fifteen");
  EXPECT_EQ(number_in_words(-40), "Minus Forty");
  EXPECT_EQ(number_in_words(1000000), "One Million");
  EXPECT_EQ(number_in_words(1002003), "One Million Two Thousand Three");
  EXPECT_EQ(number_in_words(712345678),
            "Seven Hundred Twelve Million Three Hundred Forty Five Thousand Six Hundred "
            "Seventy Eight");
  EXPECT_EQ(number_in_words(LLONG_MIN).rfind("Minus Nine Quintillion", 0), 0u);
  EXPECT_EQ(ordinal_in_words(100), "One Hundredth");
}

// Fields out of range print what they hold and name nothing, never read past a table.
TEST(DateTimeFormat, OutOfRangeFieldsNameNothing) {
  DateTime dt{2026, 13, 0, 9, 0, 0, 0};
  EXPECT_EQ(format(dt, "[M][MM][W][WW] m d w"), "[][][][] 13 0 9");
  dt.month = 0;
  dt.weekday = 0;
  EXPECT_EQ(format(dt, "[M][WW]"), "[][]");
  // Extreme fields must not overflow (the sanitizers watch this).
  DateTime extreme{INT_MIN, INT_MAX, INT_MIN, INT_MAX, INT_MIN, INT_MIN, INT_MAX};
  EXPECT_FALSE(is_valid(extreme));
  EXPECT_EQ(format(extreme, "y Y b", {INT_MAX, INT_MAX, 0, false}).substr(0, 12),
            "48 Forty Eig");
  day_number(extreme);
  weekday_of(extreme);
}

TEST(DateTimeFormat, UtcOffset) {
  struct Case {
    UtcBias bias;
    const char* expected;
  };
  const Case cases[] = {
      {{0, 0, 0, false}, "+0000"},
      {{-60, 0, -60, false}, "+0100"},    // central Europe, winter
      {{-60, 0, -60, true}, "+0200"},     // central Europe, summer
      {{300, 0, -60, false}, "-0500"},    // US east, winter
      {{300, 0, -60, true}, "-0400"},     // US east, summer
      {{-330, 0, 0, false}, "+0530"},     // India
      {{210, 0, -60, true}, "-0230"},     // Newfoundland, summer
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format(evening, "b", c.bias), c.expected) << c.expected;
  }
  EXPECT_EQ(format(evening, "d-M-yy HH:ii:ss b", {-60, 0, -60, false}),
            "8-Dec-2026 17:05:09 +0100");
}

TEST(DateTimeCalendar, Validity) {
  struct Case {
    DateTime dt;
    bool valid;
  };
  const Case cases[] = {
      {evening, true},
      {{2024, 2, 29, 5, 0, 0, 0}, true},
      {{2023, 2, 29, 4, 0, 0, 0}, false},
      {{2000, 2, 29, 3, 0, 0, 0}, true},
      {{1900, 2, 29, 5, 0, 0, 0}, false},
      {{2026, 4, 31, 1, 0, 0, 0}, false},
      {{2026, 12, 31, 5, 0, 0, 0}, true},
      {{2026, 12, 32, 5, 0, 0, 0}, false},
      {{2026, 12, 0, 5, 0, 0, 0}, false},
      {{2026, 0, 1, 5, 0, 0, 0}, false},
      {{2026, 13, 1, 5, 0, 0, 0}, false},
      {{2026, 12, 8, 0, 0, 0, 0}, false},
      {{2026, 12, 8, 8, 0, 0, 0}, false},
      {{0, 12, 8, 3, 0, 0, 0}, false},
      {{-44, 3, 15, 3, 0, 0, 0}, true},
      {{}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_valid(c.dt), c.valid)
        << c.dt.year << '-' << c.dt.month << '-' << c.dt.day << " w" << c.dt.weekday;
  }
}

DateTime next_day(DateTime dt) {
  dt.weekday = dt.weekday % 7 + 1;
  ++dt.day;
  DateTime probe = dt;
  probe.weekday = 1;
  if (is_valid(probe)) return dt;
  dt.day = 1;
  if (++dt.month > 12) {
    dt.month = 1;
    ++dt.year;
  }
  return dt;
}

// Walks every day of a range: day numbers must rise by one, the weekday must follow
// the calendar, and every date on the way must be valid.
void walk_days(DateTime from, DateTime to) {
  long long expected = day_number(from);
  for (DateTime dt = from;; dt = next_day(dt)) {
    ASSERT_TRUE(is_valid(dt)) << dt.year << '-' << dt.month << '-' << dt.day;
    ASSERT_EQ(day_number(dt), expected) << dt.year << '-' << dt.month << '-' << dt.day;
    ASSERT_EQ(weekday_of(dt), dt.weekday) << dt.year << '-' << dt.month << '-' << dt.day;
    if (dt == to) break;
    ++expected;
  }
}

TEST(DateTimeCalendar, DayNumbersAreConsecutiveAndGiveTheWeekday) {
  EXPECT_EQ(weekday_of(evening), 3);
  EXPECT_EQ(weekday_of({2000, 1, 1, 0, 0, 0, 0}), 7);  // a Saturday
  EXPECT_EQ(weekday_of({1970, 1, 1, 0, 0, 0, 0}), 5);  // a Thursday
  walk_days({1583, 1, 1, 7, 0, 0, 0}, {2400, 12, 31, 1, 0, 0, 0});
  // The Julian count: 4 October 1582 (a Thursday) is followed by 15 October 1582.
  walk_days({1, 1, 1, 7, 0, 0, 0}, {1582, 10, 4, 5, 0, 0, 0});
  EXPECT_EQ(day_number({1582, 10, 15, 6, 0, 0, 0}), day_number({1582, 10, 4, 5, 0, 0, 0}) + 1);
  EXPECT_EQ(weekday_of({1582, 10, 15, 0, 0, 0, 0}), 6);
  // There is no year 0: 31 December 1 BC is the day before 1 January AD 1.
  EXPECT_EQ(day_number({-1, 12, 31, 6, 0, 0, 0}) + 1, day_number({1, 1, 1, 7, 0, 0, 0}));
}

TEST(DateTimeCalendar, Compare) {
  const DateTime invalid{2026, 13, 1, 1, 0, 0, 0};
  const DateTime other_invalid{};
  const DateTime later{2026, 12, 9, 4, 0, 0, 0};
  const DateTime next_year{2027, 1, 1, 6, 0, 0, 0};
  const DateTime same_day_earlier{2026, 12, 8, 3, 1, 0, 0};
  const DateTime before_christ{-1, 12, 31, 6, 0, 0, 0};

  EXPECT_LT(compare(invalid, evening), 0);
  EXPECT_GT(compare(evening, invalid), 0);
  EXPECT_LT(compare(invalid, before_christ), 0);
  EXPECT_EQ(compare(invalid, other_invalid), 0);
  EXPECT_LT(compare(evening, later), 0);
  EXPECT_GT(compare(next_year, later), 0);
  EXPECT_LT(compare(before_christ, morning), 0);
  EXPECT_EQ(compare(evening, evening), 0);
  // Dates compare by day; the time of day does not count.
  EXPECT_EQ(compare(same_day_earlier, evening), 0);
  EXPECT_FALSE(same_day_earlier == evening);
}

TEST(LengthOfTime, UnitsAndPlurals) {
  struct Case {
    std::int64_t seconds;
    const char* expected;
  };
  const Case cases[] = {
      {0, "0 seconds"},
      {1, "1 seconds"},
      {99, "99 seconds"},
      {100, "1 minute, 40 seconds"},
      {119, "1 minute, 59 seconds"},
      {120, "2 minutes, 0 seconds"},
      {3599, "59 minutes, 59 seconds"},
      {3600, "1 hour, 0 minutes"},
      {3660, "1 hour, 1 minutes"},
      {7320, "2 hours, 2 minutes"},
      {86400, "24 hours, 0 minutes"},  // 1440 whole minutes is still hours
      {86459, "24 hours, 0 minutes"},
      {86460, "1 day, 0 hours"},
      {90000, "1 day, 1 hours"},
      {2 * 86400 + 5 * 3600, "2 days, 5 hours"},
      {1000000000000, "11574074 days, 1 hours"},  // beyond 32 bits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(length_of_time(c.seconds), c.expected) << c.seconds;
  }
}

}  // namespace
}  // namespace halvard
