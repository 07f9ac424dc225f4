// What the X helpers under bench/x11 share: a monotonic clock in milliseconds, sleeping, and the
// screen area they watch, given as WxH+X+Y.
#pragma once
#include <time.h>

#include <cstdio>

inline double NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

inline void SleepMs(double ms) {
  if (ms <= 0) return;
  timespec pause{static_cast<time_t>(ms / 1000),
                 static_cast<long>((ms - static_cast<time_t>(ms / 1000) * 1000) * 1e6)};
  nanosleep(&pause, nullptr);
}

struct Area {
  int width = 0, height = 0, x = 0, y = 0;
};

inline bool ParseArea(const char* text, Area* area) {
  return std::sscanf(text, "%dx%d+%d+%d", &area->width, &area->height, &area->x, &area->y) == 4 &&
         area->width > 0 && area->height > 0;
}
