#include "view/win32/render.h"

#include "imagelist/win32/image_list.h"
#include "resource.h"
#include "view/alpha_path.h"
#include "view/fit_layout.h"
#include "view/view_state.h"
#include "view/win32/dib_image.h"
#include "view/win32/dpi.h"
#include "view/win32/gdi_handles.h"
#include "view/win32/image_decode.h"
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
  if (currentIndex < 0 || static_cast<size_t>(currentIndex) >= ImageList.size()) return false;
  return TakesAlphaPath(ImageList[static_cast<size_t>(currentIndex)]);
}

// Per-pixel alpha over the background colour; premultiplied once per decoded bitmap.
void DrawWithAlpha(HDC frame, const XywhRect& d) {
  PremultiplyAlpha(currentImage.Handle());
  MemoryDc source(frame, currentImage.Handle());
  if (!source.Ok()) return;
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, static_cast<BYTE>(currentImage.HasAlpha() ? AC_SRC_ALPHA : 0)};
  AlphaBlend(frame, d.x, d.y, d.width, d.height, source.Get(), 0, 0, currentImage.Width(),
             currentImage.Height(), blend);
}

// Half-tone stretch; any stored alpha is ignored.
void DrawPlain(HDC frame, const XywhRect& d) {
  MemoryDc source(frame, currentImage.Handle());
  if (!source.Ok()) return;
  SetStretchBltMode(frame, HALFTONE);
  SetBrushOrgEx(frame, 0, 0, nullptr);
  StretchBlt(frame, d.x, d.y, d.width, d.height, source.Get(), 0, 0, currentImage.Width(),
             currentImage.Height(), SRCCOPY);
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
  if (alpha) {
    DrawWithAlpha(frame, drawn);
  } else {
    DrawPlain(frame, drawn);
  }
}

void FillBackgroundLocked(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;
  ComposeIntoFrame(control, width, height,
                   [&](HDC frame) { FillWithBackground(frame, XywhRect{0, 0, width, height}); });
}

// Pending paints are processed at once only on the control's own thread: from another thread
// the call would wait on that thread, which may itself be waiting for this render to finish.
void UpdateIfOwnThread(HWND control) {
  if (control != nullptr && GetWindowThreadProcessId(control, nullptr) == GetCurrentThreadId()) {
    UpdateWindow(control);
  }
}

int32_t RenderLocked(HWND viewer, int32_t reuse, RotateRequest rotate, HWND& control) {
  control = nullptr;
  if (ImageList.empty()) {
    control = GetDlgItem(viewer, IDC_PICTURE);
    if (control != nullptr) FillBackgroundLocked(control);
    return -1;
  }
  if (reuse == 0 && !DecodeCurrentFile(rotate)) return -1;
  if (viewState.loadFailed == 1) return -1;
  HWND picture = GetDlgItem(viewer, IDC_PICTURE);
  if (picture == nullptr) return -1;
  if (rotate >= 1 && rotate <= 3) RotateCurrentImage(rotate);
  if (currentImage.IsNull()) {
    // A turn the imaging library could not finish leaves no picture; nothing is drawn from it
    // until the next decode succeeds.
    viewState.loadFailed = 1;
    return -1;
  }
  control = picture;
  RECT client{};
  GetClientRect(picture, &client);
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;
  if (width > 0 && height > 0) {
    ComposeIntoFrame(picture, width, height, [&](HDC frame) { ComposePicture(frame, width, height); });
  }
  return 0;
}

}  // namespace

int32_t Render(HWND viewer, int32_t reuse, RotateRequest rotate) {
  HWND control = nullptr;
  int32_t result;
  {
    RenderLock lock;
    result = RenderLocked(viewer, reuse, rotate, control);
  }
  UpdateIfOwnThread(control);
  return result;
}

void FillBackground(HWND viewer) {
  HWND control = GetDlgItem(viewer, IDC_PICTURE);
  if (control == nullptr) return;
  {
    RenderLock lock;
    FillBackgroundLocked(control);
  }
  UpdateIfOwnThread(control);
}

bool RepaintKeptFrame(const DRAWITEMSTRUCT& item) {
  RenderLock lock;
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
