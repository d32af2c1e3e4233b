#include "system/local_clock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

namespace orvane {

LocalTime ReadLocalClock() {
#ifdef _WIN32
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
#else
  const std::time_t seconds = std::time(nullptr);
  std::tm now{};
  localtime_r(&seconds, &now);
  return {now.tm_year + 1900, now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec};
#endif
}

}  // namespace orvane
