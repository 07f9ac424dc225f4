#include "picture/win32/dib_turn.h"

#include <windows.h>

#include "framework/gdi_handles.h"
#include "picture/quarter_turn.h"

namespace {

// The source's colour table given to the turned copy, for palette depths.
bool CopyColourTable(const CImage& source, const CImage& turned) {
  RGBQUAD table[256] = {};
  MemoryDc from(nullptr, source.Handle());
  if (!from.Ok()) return false;
  const UINT count = GetDIBColorTable(from.Get(), 0, 256, table);
  if (count == 0) return false;
  MemoryDc to(nullptr, turned.Handle());
  return to.Ok() && SetDIBColorTable(to.Get(), 0, count, table) == count;
}

PixelRows RowsOf(const CImage& image) { return PixelRows{image.TopRow(), image.Pitch(), image.Width(), image.Height()}; }

}  // namespace

bool TurnsDibsOf(int32_t bitsPerPixel) {
  return bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
}

bool TurnDib(const CImage& source, RotateRequest turn, CImage& turned) {
  turned.Destroy();
  if (source.IsNull() || !TurnsDibsOf(source.BitsPerPixel()) || ComposeTurns(turn, kTurnNone) == kTurnNone) return false;
  int32_t width = 0, height = 0;
  TurnedSize(turn, source.Width(), source.Height(), width, height);
  if (!turned.Create(width, height, source.BitsPerPixel(), source.HasAlpha())) return false;
  if (source.BitsPerPixel() <= 8 && !CopyColourTable(source, turned)) {
    turned.Destroy();
    return false;
  }
  GdiFlush();  // the pixels are read and written directly: drawing into them must have landed
  const PixelRows from = RowsOf(source);
  const PixelRows to = RowsOf(turned);
  // On the calling thread alone: a full-size turn runs on the worker while the window's thread
  // keeps answering, and it should have the other core to itself.
  return TurnRows(from, to, source.BitsPerPixel() / 8, turn, 0, height);
}
