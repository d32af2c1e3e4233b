// The local date and time, read once.
#pragma once

namespace orvane {

struct LocalTime {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};

// The current local date and time of this machine.
LocalTime ReadLocalClock();

}  // namespace orvane
