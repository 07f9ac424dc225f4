#include "view/win32/current_picture.h"

#include "decode/win32/image_decode.h"
#include "imagelist/win32/image_list.h"
#include "picture/orientation.h"
#include "picture/win32/image_edits.h"
#include "view/alpha_path.h"
#include "view/view_state.h"
#include "view/win32/picture_view.h"

bool ReadOrientation(int32_t& exifOrientation) {
  const std::wstring* path = CurrentPath();
  return path != nullptr && ReadOrientationOf(*path, exifOrientation);
}

bool DecodeCurrentFile(PictureView& view, RotateRequest& rotation) {
  VISTREL_CHECK_THREAD(view.thread);
  currentImage.Destroy();
  ShownPicture& shown = view.shown;
  shown.fitted.image.Destroy();
  shown.levels.levels.clear();
  shown.present = true;
  shown.rules = PictureRules{};
  const std::wstring* path = CurrentPath();
  if (path != nullptr) shown.rules.path = *path;
  DecodeFacts facts;
  if (path == nullptr || !DecodeFile(*path, DisplayTargetOf(nullptr), currentImage, facts, nullptr)) {
    viewState.loadFailed = 1;
    return false;
  }
  shown.rules.alphaPath = TakesAlphaPath(*path, facts.format, currentImage.HasAlpha());
  viewState.alphaPrepared = 0;
  viewState.loadFailed = 0;
  rotation = facts.orientationFound ? TurnForOrientation(facts.exifOrientation) : kTurnNone;
  return true;
}

void RotateCurrentImage(PictureView& view, RotateRequest request) {
  VISTREL_CHECK_THREAD(view.thread);
  if (RotateFlipCodeForTurn(request) < 0 || currentImage.IsNull()) return;
  RotateImage(currentImage, request, view.shown.rules.premultiplied);
  viewState.zoom = 1.0f;
}

void PremultiplyAlpha(PictureView& view) {
  VISTREL_CHECK_THREAD(view.thread);
  PictureRules& rules = view.shown.rules;
  if (rules.premultiplied) return;
  rules.premultiplied = true;
  viewState.alphaPrepared = 1;
  PremultiplyBitmap(currentImage.Handle());
  currentImage.MarkPixelsChanged();
}
