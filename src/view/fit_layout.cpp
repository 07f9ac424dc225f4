#include "view/fit_layout.h"

#include "framework/saturating_cast.h"

namespace {

int32_t TruncToInt(float v) { return SaturatingTruncate(v); }

void AddStrip(MarginStrips& out, int32_t x, int32_t y, int32_t width, int32_t height) {
  out.strips[out.count++] = XywhRect{x, y, width, height};
}

}  // namespace

XywhRect FitImage(int32_t imageWidth, int32_t imageHeight, int32_t areaWidth, int32_t areaHeight) {
  XywhRect r{0, 0, 0, 0};
  if (imageWidth <= 0 || imageHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return r;
  const float a = static_cast<float>(imageWidth) / static_cast<float>(imageHeight);
  const float w = static_cast<float>(areaWidth);
  const float h = static_cast<float>(areaHeight);
  if (a < 1.0f) {
    r.width = TruncToInt(h * a);
    r.height = areaHeight;
    if (r.width > areaWidth) {
      r.width = areaWidth;
      r.height = TruncToInt(w / a);
    }
  } else {
    r.height = TruncToInt(w / a);
    r.width = areaWidth;
    if (r.height > areaHeight) {
      r.height = areaHeight;
      r.width = TruncToInt(h * a);
    }
  }
  r.x = r.width < areaWidth ? (areaWidth - r.width) / 2 : 0;
  r.y = r.height < areaHeight ? (areaHeight - r.height) / 2 : 0;
  return r;
}

XywhRect DrawnRect(const XywhRect& fitted, float zoom, float panX, float panY) {
  if (zoom == 1.0f) return fitted;
  return XywhRect{TruncToInt(static_cast<float>(fitted.x) * zoom + panX),
                  TruncToInt(static_cast<float>(fitted.y) * zoom + panY),
                  TruncToInt(static_cast<float>(fitted.width) * zoom),
                  TruncToInt(static_cast<float>(fitted.height) * zoom)};
}

MarginStrips MarginStripsFor(const XywhRect& fitted, float zoom, float panX, float panY,
                             int32_t areaWidth, int32_t areaHeight) {
  MarginStrips out{};
  const int32_t W = areaWidth;
  const int32_t H = areaHeight;
  if (zoom == 1.0f) {
    const XywhRect& f = fitted;
    if (f.width < W) {
      AddStrip(out, 0, 0, f.x, H);
      AddStrip(out, f.x + f.width, 0, W - f.x - f.width, H);
    }
    if (f.height < H) {
      AddStrip(out, 0, 0, W, f.y);
      AddStrip(out, 0, f.y + f.height, W, H - f.y - f.height);
    }
    return out;
  }
  const float x0 = static_cast<float>(fitted.x) * zoom + panX;
  const float y0 = static_cast<float>(fitted.y) * zoom + panY;
  const float w = static_cast<float>(fitted.width) * zoom;
  const float h = static_cast<float>(fitted.height) * zoom;
  const float fw = static_cast<float>(W);
  const float fh = static_cast<float>(H);
  if (fw > x0 + w) AddStrip(out, TruncToInt(x0 + w), 0, TruncToInt(fw - (x0 + w)), H);
  if (x0 > 0.0f) AddStrip(out, 0, 0, TruncToInt(x0), H);
  if (y0 > 0.0f) AddStrip(out, 0, 0, W, TruncToInt(y0));
  if (fh > y0 + h) AddStrip(out, 0, TruncToInt(y0 + h), W, TruncToInt(fh - (y0 + h)));
  return out;
}
