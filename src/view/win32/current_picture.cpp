#include "view/win32/current_picture.h"

#include "decode/win32/image_decode.h"
#include "imagelist/win32/image_list.h"
#include "picture/orientation.h"
#include "picture/win32/image_edits.h"
#include "view/view_state.h"

bool ReadOrientation(int32_t& exifOrientation) {
  const std::wstring* path = CurrentPath();
  return path != nullptr && ReadOrientationOf(*path, exifOrientation);
}

bool DecodeCurrentFile(RotateRequest& rotation) {
  currentImage.Destroy();
  const std::wstring* path = CurrentPath();
  if (path == nullptr || !DecodeFileToImage(*path, currentImage)) {
    viewState.loadFailed = 1;
    return false;
  }
  viewState.alphaPrepared = 0;
  viewState.loadFailed = 0;
  int32_t orientation = 0;
  rotation = ReadOrientation(orientation) ? TurnForOrientation(orientation) : kTurnNone;
  return true;
}

void RotateCurrentImage(RotateRequest request) {
  if (RotateFlipCodeForTurn(request) < 0 || currentImage.IsNull()) return;
  RotateImage(currentImage, request, viewState.alphaPrepared != 0);
  viewState.zoom = 1.0f;
}

void PremultiplyAlpha(HBITMAP bitmap) {
  if (viewState.alphaPrepared == 1) return;
  viewState.alphaPrepared = 1;
  PremultiplyBitmap(bitmap);
}
