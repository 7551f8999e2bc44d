#include "foundation/date_time_win.h"

#include <windows.h>

namespace halvard {

DateTime local_now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  DateTime dt;
  dt.year = now.wYear;
  dt.month = now.wMonth;
  dt.day = now.wDay;
  dt.weekday = now.wDayOfWeek + 1;
  dt.hour = now.wHour;
  dt.minute = now.wMinute;
  dt.second = now.wSecond;
  return dt;
}

}  // namespace halvard
