// Conversions between device pixels and 96-dpi units, with the screen's DPI asked once.
#pragma once
#include <cstdint>

int32_t ScaleX(int32_t v);
int32_t ScaleY(int32_t v);
int32_t UnscaleX(int32_t v);
int32_t UnscaleY(int32_t v);
