#include "view/win32/render.h"

#include <algorithm>

#include "framework/gdi_handles.h"
#include "framework/start_profile.h"
#include "imagelist/win32/image_list.h"
#include "picture/orientation.h"
#include "picture/quarter_turn.h"
#include "picture/win32/dib_image.h"
#include "resource.h"
#include "view/alpha_path.h"
#include "view/fit_layout.h"
#include "view/view_state.h"
#include "view/win32/turn_flight.h"
#include "view/win32/current_picture.h"
#include "view/win32/dpi.h"
#include "view/win32/exact_view.h"
#include "view/win32/fitted_copy.h"
#include "view/win32/kept_frame.h"
#include "view/win32/picture_view.h"
#include "view/win32/zoom_reductions.h"
#include "view/win32/zoomed_draw.h"

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

// Per-pixel alpha over the background colour, from pixels premultiplied once per picture.
void DrawWithAlpha(HDC frame, const XywhRect& d, const CImage& image, bool withAlpha) {
  MemoryDc source(frame, image.Handle());
  if (!source.Ok()) return;
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, static_cast<BYTE>(withAlpha ? AC_SRC_ALPHA : 0)};
  AlphaBlend(frame, d.x, d.y, d.width, d.height, source.Get(), 0, 0, image.Width(), image.Height(), blend);
}

// Half-tone stretch; any stored alpha is ignored. A copy already of the drawn size is blitted.
void DrawPlain(HDC frame, const XywhRect& d, const CImage& image) {
  MemoryDc source(frame, image.Handle());
  if (!source.Ok()) return;
  if (d.width == image.Width() && d.height == image.Height()) {
    BitBlt(frame, d.x, d.y, d.width, d.height, source.Get(), 0, 0, SRCCOPY);
    return;
  }
  SetStretchBltMode(frame, HALFTONE);
  SetBrushOrgEx(frame, 0, 0, nullptr);
  StretchBlt(frame, d.x, d.y, d.width, d.height, source.Get(), 0, 0, image.Width(), image.Height(), SRCCOPY);
}

// Pictures up to this many pixels have their fitted copy made here when the drawn size changes:
// that costs less than a frame's redraw and shows the exact view at once.
constexpr int64_t kLargestFittedHere = 1 << 20;

bool SmallEnoughToAverageHere(const CImage& image) {
  return static_cast<int64_t>(image.Width()) * image.Height() <= kLargestFittedHere;
}

// The fitted copy of currentImage at any size, to stand in while the exact view is made.
const CImage* FittedStandIn(const PictureView& view, bool withAlpha) {
  const FittedCopy& copy = view.shown.fitted;
  const bool ofThisPicture = !copy.image.IsNull() && copy.sourceRevision == currentImage.Revision() &&
                             copy.withAlpha == withAlpha;
  return ofThisPicture ? &copy.image : nullptr;
}

void RequestFittedCopy(PictureView& view, const XywhRect& fitted, bool withAlpha);

// What the fitted view draws: the area-averaged copy when the picture is reduced, the stretch
// made ahead when it is enlarged, else the picture itself. Null when the copy for this size is
// still being made on the worker (asked for here); a small picture's copy is made at once.
const CImage* FittedSource(PictureView& view, const XywhRect& fitted, bool alpha) {
  FittedCopy& copy = view.shown.fitted;
  if (!ReducesTo(currentImage, fitted.width, fitted.height)) {
    // Drawn at or above its size: the plain path blits the stretch made ahead, with the picture or
    // here; the alpha path blends the picture itself.
    if (alpha) return &currentImage;
    if (copy.Matches(currentImage, fitted.width, fitted.height, false)) return &copy.image;
    if (SmallEnoughToAverageHere(currentImage) && MakeEnlargedCopy(currentImage, fitted.width, fitted.height, copy)) {
      return &copy.image;
    }
    return &currentImage;
  }
  const bool withAlpha = alpha && currentImage.HasAlpha();
  if (copy.Matches(currentImage, fitted.width, fitted.height, withAlpha)) return &copy.image;
  if (SmallEnoughToAverageHere(currentImage)) {
    return MakeFittedCopy(currentImage, fitted.width, fitted.height, withAlpha, copy) ? &copy.image : &currentImage;
  }
  RequestFittedCopy(view, fitted, withAlpha);
  return nullptr;
}

// Lets compose draw into the kept frame (sized to the control), then puts the whole frame on the
// screen in one blit, so margins and image never flicker apart and the frame can be repainted.
template <class Compose>
void ComposeIntoFrame(PictureView& view, HWND control, int32_t width, int32_t height, Compose compose) {
  WindowDc screen(control);
  if (screen.Get() == nullptr) return;
  HBITMAP frameBitmap = view.frame.Ensure(screen.Get(), width, height);
  if (frameBitmap == nullptr) return;
  MemoryDc frame(screen.Get(), frameBitmap);
  if (!frame.Ok()) return;
  compose(frame.Get());
  BitBlt(screen.Get(), 0, 0, width, height, frame.Get(), 0, 0, SRCCOPY);
}

// A zoomed part depends only on the drawn size and where in the drawn rectangle it lies, so the
// pixels a drag moves are those a full redraw would give.
bool SameView(const ComposedView& a, const ComposedView& b) {
  return a.valid && b.valid && a.revision == b.revision && a.areaWidth == b.areaWidth &&
         a.areaHeight == b.areaHeight && a.drawn.x == b.drawn.x && a.drawn.y == b.drawn.y &&
         a.drawn.width == b.drawn.width && a.drawn.height == b.drawn.height &&
         a.backgroundLevel == b.backgroundLevel && a.alpha == b.alpha;
}

// A timer fires only when no other message waits; a drag's moves come every few tens of
// milliseconds, so after a move the worker is asked only once the drag has rested a while.
constexpr UINT kExactViewDelayMs = 10;
constexpr UINT kExactViewAfterMoveMs = 150;

// Keys and buttons waiting, or moves while dragging: what the exact view gives way to (a mere
// hover over the window does not).
bool InputWaiting() {
  const UINT kinds = QS_KEY | QS_MOUSEBUTTON | (viewState.dragging == 1 ? QS_MOUSEMOVE : 0);
  return HIWORD(GetQueueStatus(kinds)) != 0;
}

void TakeExactPart(PictureView& view, const ComposedView& asked, ExactPart& part) {
  if (part.image.IsNull() || !SameView(asked, view.composed) || view.composed.exact) return;
  HWND control = GetDlgItem(view.viewer, IDC_PICTURE);
  if (control == nullptr) return;
  const DrawnWindow& w = part.window;
  const XywhRect at{asked.drawn.x + w.firstColumn, asked.drawn.y + w.firstRow, part.image.Width(),
                    part.image.Height()};
  ComposeIntoFrame(view, control, asked.areaWidth, asked.areaHeight, [&](HDC frame) {
    // The alpha path composes over the background, not over the quick view.
    if (asked.alpha) FillWithBackground(frame, at);
    PutAveragedPart(frame, part.image, at.x, at.y, asked.alpha, part.withAlpha);
  });
  view.composed.exact = true;
}

void RequestFittedCopy(PictureView& view, const XywhRect& fitted, bool withAlpha) {
  const ComposedView wanted{true, currentImage.Revision(), 0, 0, XywhRect{0, 0, fitted.width, fitted.height}, 0,
                            withAlpha, false};
  if (view.fittedAsked != 0 && view.fittedAsked == ExactPartAsked(view) && SameView(view.fittedAskedFor, wanted)) {
    return;  // on its way
  }
  view.fittedAskedFor = wanted;
  view.fittedAsked = RequestExactPart(
      view, currentImage, fitted.width, fitted.height, DrawnWindow{0, fitted.width, 0, fitted.height}, withAlpha,
      [&view](ExactPart& part) {
        if (part.image.IsNull() || currentImage.IsNull() || currentImage.Revision() != part.sourceRevision) return;
        FittedCopy& copy = view.shown.fitted;
        copy.image.Swap(part.image);
        copy.sourceRevision = part.sourceRevision;
        copy.withAlpha = part.withAlpha;
        if (viewState.zoom == 1.0f && !view.turn.active) Redraw(view);
      });
}

// The strips of the area a move by (dx, dy) uncovers: at most one upright and one flat.
int32_t ExposedStrips(int32_t dx, int32_t dy, int32_t width, int32_t height, XywhRect strips[2]) {
  int32_t count = 0;
  if (dx > 0) strips[count++] = XywhRect{0, 0, dx, height};
  if (dx < 0) strips[count++] = XywhRect{width + dx, 0, -dx, height};
  if (dy > 0) strips[count++] = XywhRect{0, 0, width, dy};
  if (dy < 0) strips[count++] = XywhRect{0, height + dy, width, -dy};
  return count;
}

// A zoomed view from the reductions, moving what the frame already shows when only the position
// changed since it was drawn.
void ComposeZoomed(PictureView& view, HDC frame, const XywhRect& drawn, int32_t width, int32_t height,
                   bool alpha) {
  const bool withAlpha = alpha && currentImage.HasAlpha();
  const ZoomReductions& reductions = view.shown.levels;
  const bool levels = reductions.Match(currentImage, withAlpha);
  if (!levels) {
    const XywhRect fitted = FitImage(currentImage.Width(), currentImage.Height(), width, height);
    RequestCurrentLevels(view, fitted.width, fitted.height, withAlpha, LevelsUrgency::kNow);
  }
  const ZoomedSource source{&currentImage,           levels ? &reductions : nullptr, alpha, ZoomQuality::kQuick,
                            FittedStandIn(view, withAlpha), withAlpha,           &view.scratch};
  ComposedView& composed = view.composed;
  ComposedView now{true, currentImage.Revision(), width, height, drawn, viewState.backgroundLevel, alpha, true};
  const int32_t dx = drawn.x - composed.drawn.x;
  const int32_t dy = drawn.y - composed.drawn.y;
  const bool sameSize = composed.valid && composed.revision == now.revision && composed.areaWidth == width &&
                        composed.areaHeight == height && composed.drawn.width == drawn.width &&
                        composed.drawn.height == drawn.height && composed.backgroundLevel == now.backgroundLevel &&
                        composed.alpha == alpha;
  bool moved = false;
  if (sameSize && dx == 0 && dy == 0) {
    now.exact = composed.exact;  // the frame already shows this view (a window move)
  } else {
    CancelExactPart(view);  // for a view no longer shown
    if (sameSize && dx > -width && dx < width && dy > -height && dy < height) {
      moved = true;
      BitBlt(frame, dx, dy, width, height, frame, 0, 0, SRCCOPY);
      XywhRect strips[2];
      const int32_t count = ExposedStrips(dx, dy, width, height, strips);
      now.exact = composed.exact;
      for (int32_t i = 0; i < count; ++i) {
        FillWithBackground(frame, strips[i]);
        now.exact = DrawZoomedPart(frame, drawn, strips[i], source) && now.exact;
      }
    } else {
      // Zoomed strips come from truncated float sums and can miss a row or column next to the
      // image; the whole frame is filled so no stale pixel of an earlier frame shows there.
      FillWithBackground(frame, XywhRect{0, 0, width, height});
      now.exact = DrawZoomedPart(frame, drawn, XywhRect{0, 0, width, height}, source);
    }
  }
  composed = now;
  if (!composed.exact) {
    SetTimer(view.viewer, kExactViewTimer, moved ? kExactViewAfterMoveMs : kExactViewDelayMs, nullptr);
  }
}

// While the full-size picture is away being turned: its turned fitted copy stands in, averaged
// to the fitted size or stretched for a zoomed view.
void ComposeStandIn(PictureView& view, HDC frame, const XywhRect& drawn, int32_t width, int32_t height,
                    bool alpha) {
  FillWithBackground(frame, XywhRect{0, 0, width, height});
  const CImage& standIn = view.turn.standIn;
  if (standIn.IsNull()) return;
  DrawZoomedPart(frame, drawn, XywhRect{0, 0, width, height},
                 ZoomedSource{&standIn, nullptr, alpha && view.turn.standInAlpha, ZoomQuality::kExact, nullptr, false,
                              &view.scratch});
}

void ComposePicture(PictureView& view, HDC frame, int32_t width, int32_t height) {
  int32_t pictureWidth = 0, pictureHeight = 0;
  PictureSizeAfterTurns(view, pictureWidth, pictureHeight);
  const XywhRect fitted = FitImage(pictureWidth, pictureHeight, width, height);
  const XywhRect drawn = DrawnRect(fitted, viewState.zoom, viewState.panX, viewState.panY);
  // The shown picture's own rule, whatever entry the list has moved to meanwhile.
  const bool alpha = view.shown.rules.alphaPath;
  if (view.turn.active) {
    view.composed.valid = false;
    ComposeStandIn(view, frame, drawn, width, height, alpha);
    return;
  }
  if (alpha) PremultiplyAlpha(view);
  if (viewState.zoom != 1.0f) {
    ComposeZoomed(view, frame, drawn, width, height, alpha);
    return;
  }
  view.composed.valid = false;
  if (alpha || viewState.zoom != 1.0f) {
    // Zoomed strips come from truncated float sums and can miss a row or column next to the
    // image; the whole frame is filled so no stale pixel of an earlier frame shows there.
    FillWithBackground(frame, XywhRect{0, 0, width, height});
  } else {
    const MarginStrips margins = MarginStripsFor(fitted, 1.0f, 0.0f, 0.0f, width, height);
    for (int32_t i = 0; i < margins.count; ++i) FillWithBackground(frame, margins.strips[i]);
  }
  const CImage* source = viewState.zoom == 1.0f ? FittedSource(view, fitted, alpha) : &currentImage;
  if (source == nullptr) {
    // The exact copy for this size is on its way: a quick one meanwhile, from a level or the
    // copy of the former size.
    const bool withAlpha = alpha && currentImage.HasAlpha();
    const ZoomReductions& reductions = view.shown.levels;
    FillWithBackground(frame, XywhRect{0, 0, width, height});  // nothing may be drawn until it comes
    DrawZoomedPart(frame, drawn, XywhRect{0, 0, width, height},
                   ZoomedSource{&currentImage, reductions.Match(currentImage, withAlpha) ? &reductions : nullptr,
                                alpha, ZoomQuality::kQuick, FittedStandIn(view, withAlpha), withAlpha,
                                &view.scratch});
  } else if (alpha) {
    DrawWithAlpha(frame, drawn, *source, source->HasAlpha());
  } else {
    DrawPlain(frame, drawn, *source);
  }
}

void FillBackground(PictureView& view, HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;
  view.composed.valid = false;
  ComposeIntoFrame(view, control, width, height,
                   [&](HDC frame) { FillWithBackground(frame, XywhRect{0, 0, width, height}); });
}

}  // namespace

void AskForExactView(PictureView& view) {
  VISTREL_CHECK_THREAD(view.thread);
  if (InputWaiting()) return;  // input first; the timer comes back
  KillTimer(view.viewer, kExactViewTimer);
  const ComposedView& composed = view.composed;
  if (!composed.valid || composed.exact || currentImage.IsNull() || composed.revision != currentImage.Revision()) {
    return;
  }
  const ComposedView asked = composed;
  const DrawnWindow window = VisiblePartOf(asked.drawn, asked.areaWidth, asked.areaHeight);
  if (window.Empty()) return;
  RequestExactPart(view, currentImage, asked.drawn.width, asked.drawn.height, window,
                   asked.alpha && currentImage.HasAlpha(),
                   [&view, asked](ExactPart& part) { TakeExactPart(view, asked, part); });
}

int32_t Render(PictureView& view, int32_t reuse, RotateRequest rotate) {
  VISTREL_CHECK_THREAD(view.thread);
  HWND viewer = view.viewer;
  if (ImageList.empty()) {
    HWND control = GetDlgItem(viewer, IDC_PICTURE);
    if (control != nullptr) {
      FillBackground(view, control);
      UpdateWindow(control);
    }
    return -1;
  }
  if (reuse == 0) AbandonTurn(view);  // the picture it turns is replaced
  if (reuse == 0 && !DecodeCurrentFile(view, rotate)) return -1;
  if (viewState.loadFailed == 1) return -1;
  HWND picture = GetDlgItem(viewer, IDC_PICTURE);
  if (picture == nullptr) return -1;
  if (view.turn.active) {
    AddTurnInFlight(view, rotate);  // composed with the turn on the worker; nothing for kTurnNone
  } else {
    RotateCurrentImage(view, rotate);  // turns nothing for kTurnNone or an unknown request
  }
  if (RotateFlipCodeForTurn(rotate) >= 0) {
    PictureRules& rules = view.shown.rules;
    if (reuse == 0) {
      rules.exifTurn = rotate;
    } else {
      rules.userTurns = ComposeTurns(rules.userTurns, rotate);
    }
  }
  if (currentImage.IsNull() && !view.turn.active) {
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
    ComposeIntoFrame(view, picture, width, height,
                     [&](HDC frame) { ComposePicture(view, frame, width, height); });
    MarkStartPhase(StartPhase::kFirstBlit);
    ReportStartProfile();
  }
  UpdateWindow(picture);
  return 0;
}

void ShowFirstView(PictureView& view, const CImage& firstView, int32_t pictureWidth, int32_t pictureHeight) {
  VISTREL_CHECK_THREAD(view.thread);
  HWND picture = GetDlgItem(view.viewer, IDC_PICTURE);
  if (picture == nullptr || firstView.IsNull()) return;
  RECT client{};
  GetClientRect(picture, &client);
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;
  const XywhRect fitted = FitImage(pictureWidth, pictureHeight, width, height);
  view.composed.valid = false;  // no drag may move it: it is not the picture's frame
  ComposeIntoFrame(view, picture, width, height, [&](HDC frame) {
    FillWithBackground(frame, XywhRect{0, 0, width, height});
    DrawPlain(frame, fitted, firstView);
  });
  MarkStartPhase(StartPhase::kFirstView);
  UpdateWindow(picture);
}

bool RepaintKeptFrame(const PictureView& view, const DRAWITEMSTRUCT& item) {
  const KeptFrame& kept = view.frame;  if (kept.Handle() == nullptr || item.hDC == nullptr) return false;
  MemoryDc frame(item.hDC, kept.Handle());
  if (!frame.Ok()) return false;
  BitBlt(item.hDC, 0, 0, kept.Width(), kept.Height(), frame.Get(), 0, 0, SRCCOPY);
  return true;
}

void PaintBackgroundOnly(const DRAWITEMSTRUCT& item) {
  if (item.hDC == nullptr) return;
  const RECT& r = item.rcItem;
  FillWithBackground(item.hDC, XywhRect{r.left, r.top, r.right - r.left, r.bottom - r.top});
}

void LayoutPictureControl(const PictureView& view, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  VISTREL_CHECK_THREAD(view.thread);
  HWND control = GetDlgItem(view.viewer, IDC_PICTURE);
  if (control == nullptr) return;
  MoveWindow(control, ScaleX(view.dpi, left), ScaleY(view.dpi, top), ScaleX(view.dpi, right),
             ScaleY(view.dpi, bottom), TRUE);
  InvalidateRect(control, nullptr, TRUE);
}
