#include "framework/baseline_mode.h"

#include <windows.h>

namespace {

bool ReadBaselineSwitch() {
  wchar_t value[8] = {};
  const DWORD length = GetEnvironmentVariableW(L"VISTREL_BASELINE", value, 8);
  if (length == 0 || length >= 8) return length >= 8;  // unset or empty: off; a long value: on
  return !(value[0] == L'0' && value[1] == L'\0');
}

}  // namespace

bool BaselineMode() {
  static const bool on = ReadBaselineSwitch();  // thread-safe first use
  return on;
}
