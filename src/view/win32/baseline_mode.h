// The run-time switch that turns every fast path off, so one benchmark run can measure the
// program as it was before them.
#pragma once

// True when the environment variable VISTREL_BASELINE is set to anything but "" or "0". Read once,
// on the first call; safe from any thread.
bool BaselineMode();
