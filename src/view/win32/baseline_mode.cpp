#include "view/win32/baseline_mode.h"

#include <windows.h>

#include <cwchar>

namespace {

bool ReadBaselineSwitch() {
  wchar_t value[8] = {};
  const DWORD length = GetEnvironmentVariableW(L"VISTREL_BASELINE", value, 8);
  if (length == 0) return false;  // unset or empty
  if (length >= 8) return true;   // longer than the buffer: certainly not "0"
  return std::wcscmp(value, L"0") != 0;
}

}  // namespace

bool BaselineMode() {
  static const bool baseline = ReadBaselineSwitch();  // initialised once, thread-safely
  return baseline;
}
