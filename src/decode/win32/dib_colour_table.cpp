#include "decode/win32/dib_colour_table.h"

#include <windows.h>

#include "framework/gdi_handles.h"

bool SetColourTable(const CImage& image, const uint8_t (*entries)[4], uint32_t count) {
  if (count == 0 || count > 256) return false;
  RGBQUAD table[256] = {};
  for (uint32_t i = 0; i < count; ++i) table[i] = RGBQUAD{entries[i][0], entries[i][1], entries[i][2], 0};
  MemoryDc dc(nullptr, image.Handle());
  return dc.Ok() && SetDIBColorTable(dc.Get(), 0, count, table) == count;
}
