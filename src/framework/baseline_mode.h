// A run-time switch that turns every fast path off (the JPEG, PNG and BMP decoders, the worker
// that decodes and lists ahead, the area-averaged fitting), so that one benchmark run can measure
// the program as it was before them. Set by the environment variable VISTREL_BASELINE to anything
// but empty or "0".
#pragma once

// Read once, on first use; any thread may call it.
bool BaselineMode();
