#include "view/alpha_path.h"

bool TakesAlphaPath(const std::wstring& path) {
  for (const wchar_t* needle : {L".png", L".PNG", L".gif", L".GIF"}) {
    if (path.find(needle) != std::wstring::npos) return true;
  }
  return false;
}

bool TakesAlphaPath(const std::wstring& path, PictureFormat format, bool pictureCarriesAlpha) {
  if (TakesAlphaPath(path)) return true;
  switch (format) {
    case PictureFormat::kWebp:
    case PictureFormat::kAvif:
    case PictureFormat::kHeif:
    case PictureFormat::kJxl:
      return pictureCarriesAlpha;
    default:
      return false;
  }
}
