#include "view/win32/render.h"

#include "framework/baseline_mode.h"
#include "framework/gdi_handles.h"
#include "imagelist/win32/image_list.h"
#include "picture/win32/dib_image.h"
#include "resource.h"
#include "view/alpha_path.h"
#include "view/fit_layout.h"
#include "view/view_state.h"
#include "view/win32/current_picture.h"
#include "view/win32/dpi.h"
#include "view/win32/fitted_copy.h"
#include "view/win32/kept_frame.h"

namespace {

COLORREF BackgroundColour() {
  const BYTE level = static_cast<BYTE>(viewState.backgroundLevel & 0xFF);
  return RGB(level, level, level);
}

void FillWithBackground(HDC dc, const XywhRect& r) {
  if (r.width <= 0 || r.height <= 0) return;
  const RECT edges{r.x, r.y, r.x + r.width, r.y + r.height};
  Brush brush(CreateSolidBrush(BackgroundColour()));
  if (brush) FillRect(dc, &edges, brush.Get());
}

bool TakesAlphaPathNow() {
  const std::wstring* path = CurrentPath();
  return path != nullptr && TakesAlphaPath(*path);
}

// Per-pixel alpha over the background colour, from pixels premultiplied once per picture.
void DrawWithAlpha(HDC frame, const XywhRect& d, const CImage& image) {
  MemoryDc source(frame, image.Handle());
  if (!source.Ok()) return;
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, static_cast<BYTE>(currentImage.HasAlpha() ? AC_SRC_ALPHA : 0)};
  AlphaBlend(frame, d.x, d.y, d.width, d.height, source.Get(), 0, 0, image.Width(), image.Height(), blend);
}

// Half-tone stretch; any stored alpha is ignored.
void DrawPlain(HDC frame, const XywhRect& d, const CImage& image) {
  MemoryDc source(frame, image.Handle());
  if (!source.Ok()) return;
  SetStretchBltMode(frame, HALFTONE);
  SetBrushOrgEx(frame, 0, 0, nullptr);
  StretchBlt(frame, d.x, d.y, d.width, d.height, source.Get(), 0, 0, image.Width(), image.Height(), SRCCOPY);
}

// What the fitted view draws: the area-averaged copy when the picture is reduced (made here
// when the drawn size, the turn or the picture changed), else the picture itself.
const CImage& FittedSource(const XywhRect& fitted, bool alpha) {
  if (BaselineMode() || !ReducesTo(currentImage, fitted.width, fitted.height)) return currentImage;
  const bool withAlpha = alpha && currentImage.HasAlpha();
  FittedCopy& copy = CurrentFittedCopy();
  if (!copy.Matches(currentImage, fitted.width, fitted.height, withAlpha) &&
      !MakeFittedCopy(currentImage, fitted.width, fitted.height, withAlpha, copy)) {
    return currentImage;
  }
  return copy.image;
}

// Lets compose draw into the kept frame (sized to the control), then puts the whole frame on the
// screen in one blit, so margins and image never flicker apart and the frame can be repainted.
template <class Compose>
void ComposeIntoFrame(HWND control, int32_t width, int32_t height, Compose compose) {
  WindowDc screen(control);
  if (screen.Get() == nullptr) return;
  HBITMAP frameBitmap = TheKeptFrame().Ensure(screen.Get(), width, height);
  if (frameBitmap == nullptr) return;
  MemoryDc frame(screen.Get(), frameBitmap);
  if (!frame.Ok()) return;
  compose(frame.Get());
  BitBlt(screen.Get(), 0, 0, width, height, frame.Get(), 0, 0, SRCCOPY);
}

void ComposePicture(HDC frame, int32_t width, int32_t height) {
  const XywhRect fitted = FitImage(currentImage.Width(), currentImage.Height(), width, height);
  const XywhRect drawn = DrawnRect(fitted, viewState.zoom, viewState.panX, viewState.panY);
  const bool alpha = TakesAlphaPathNow();
  if (alpha || viewState.zoom != 1.0f) {
    // Zoomed strips come from truncated float sums and can miss a row or column next to the
    // image; the whole frame is filled so no stale pixel of an earlier frame shows there.
    FillWithBackground(frame, XywhRect{0, 0, width, height});
  } else {
    const MarginStrips margins = MarginStripsFor(fitted, 1.0f, 0.0f, 0.0f, width, height);
    for (int32_t i = 0; i < margins.count; ++i) FillWithBackground(frame, margins.strips[i]);
  }
  if (alpha) PremultiplyAlpha(currentImage.Handle());
  const CImage& source = viewState.zoom == 1.0f ? FittedSource(fitted, alpha) : currentImage;
  if (alpha) {
    DrawWithAlpha(frame, drawn, source);
  } else {
    DrawPlain(frame, drawn, source);
  }
}

void FillBackground(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;
  ComposeIntoFrame(control, width, height,
                   [&](HDC frame) { FillWithBackground(frame, XywhRect{0, 0, width, height}); });
}

}  // namespace

int32_t Render(HWND viewer, int32_t reuse, RotateRequest rotate) {
  if (ImageList.empty()) {
    HWND control = GetDlgItem(viewer, IDC_PICTURE);
    if (control != nullptr) {
      FillBackground(control);
      UpdateWindow(control);
    }
    return -1;
  }
  if (reuse == 0 && !DecodeCurrentFile(rotate)) return -1;
  if (viewState.loadFailed == 1) return -1;
  HWND picture = GetDlgItem(viewer, IDC_PICTURE);
  if (picture == nullptr) return -1;
  RotateCurrentImage(rotate);  // turns nothing for kTurnNone or an unknown request
  if (currentImage.IsNull()) {
    // A turn the imaging library could not finish leaves no picture; nothing is drawn from it
    // until the next decode succeeds.
    viewState.loadFailed = 1;
    return -1;
  }
  RECT client{};
  GetClientRect(picture, &client);
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;
  if (width > 0 && height > 0) {
    ComposeIntoFrame(picture, width, height, [&](HDC frame) { ComposePicture(frame, width, height); });
  }
  UpdateWindow(picture);
  return 0;
}

bool RepaintKeptFrame(const DRAWITEMSTRUCT& item) {
  const KeptFrame& kept = TheKeptFrame();
  if (kept.Handle() == nullptr || item.hDC == nullptr) return false;
  MemoryDc frame(item.hDC, kept.Handle());
  if (!frame.Ok()) return false;
  BitBlt(item.hDC, 0, 0, kept.Width(), kept.Height(), frame.Get(), 0, 0, SRCCOPY);
  return true;
}

void LayoutPictureControl(HWND viewer, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  HWND control = GetDlgItem(viewer, IDC_PICTURE);
  if (control == nullptr) return;
  MoveWindow(control, ScaleX(left), ScaleY(top), ScaleX(right), ScaleY(bottom), TRUE);
  InvalidateRect(control, nullptr, TRUE);
}
