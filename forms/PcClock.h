// The PC's local date and time, read through a replaceable source so that
// tests can fix the moment the module clock is set from.
#pragma once

#include <functional>

struct TPcDateTime {
  int Year = 0;
  int Month = 0;   // 1-12
  int Day = 0;     // 1-31
  int Hour = 0;    // 0-23
  int Minute = 0;  // 0-59
  int Second = 0;  // 0-59 (a leap second is 60)
};

// The current local date and time, milliseconds dropped.
TPcDateTime PcLocalNow();
// Replaces the source of PcLocalNow; an empty function restores the PC's clock.
void SetPcClockSource(std::function<TPcDateTime()> source);
