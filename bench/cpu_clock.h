#pragma once
// The processor time of the calling thread, in seconds. The benchmark machines are shared,
// so wall time measures the neighbours as much as the codec; a thread's own time does not
// count the slices it waited for a core.
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace bench {

inline double thread_seconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return double((unsigned long long)t.dwHighDateTime << 32 | t.dwLowDateTime) * 1e-7;
  };
  return seconds(kernel) + seconds(user);
#else
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
#endif
}

}  // namespace bench
