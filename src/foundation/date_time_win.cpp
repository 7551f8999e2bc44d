#include "foundation/date_time_win.h"

namespace halvard {

DateTime from_system_time(const SYSTEMTIME& time) {
  DateTime dt;
  dt.year = time.wYear;
  dt.month = time.wMonth;
  dt.day = time.wDay;
  dt.weekday = time.wDayOfWeek + 1;
  dt.hour = time.wHour;
  dt.minute = time.wMinute;
  dt.second = time.wSecond;
  return dt;
}

DateTime local_now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return from_system_time(now);
}

std::optional<DateTime> last_write_local(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&data.ftLastWriteTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return std::nullopt;
  return from_system_time(local);
}

}  // namespace halvard
