#include "decode/win32/decode_file.h"

#include "decode/win32/display_profile.h"
#include "decode/win32/image_decode.h"

DisplayTarget DisplayTargetOf(HWND viewer) {
  RefreshDisplayProfile(viewer, DisplayCheck::kAlways);
  auto p = CurrentDisplayProfile();
  return DisplayTarget{std::wstring(reinterpret_cast<const wchar_t*>(p->data()), p->size() / 2)};
}

bool DecodeFile(const std::wstring& path, const DisplayTarget&, CImage& image, DecodeFacts& facts,
                const std::atomic<bool>* cancelled) {
  facts.identity = ReadFileIdentity(path);
  facts.read = facts.identity.exists;
  if (!DecodeFileToImage(path, image, cancelled)) return false;
  facts.orientationFound = ReadOrientationOf(path, facts.exifOrientation);
  return true;
}
