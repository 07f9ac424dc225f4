#include "view/alpha_path.h"

bool TakesAlphaPath(const std::wstring& path) {
  for (const wchar_t* needle : {L".png", L".PNG", L".gif", L".GIF"}) {
    if (path.find(needle) != std::wstring::npos) return true;
  }
  return false;
}
