#include "input/key_table.h"

#include "resource.h"

namespace {

struct KeyBinding {
  uint32_t key;
  uint32_t command;
};

constexpr uint32_t kEscape = 0x1B;

constexpr KeyBinding kKeys[] = {
    {kEscape, ID_FULLSCREEN},
    {0x25, ID_PREVIOUS},  // Left arrow
    {0x26, ID_ZOOM_IN},   // Up arrow
    {0x27, ID_NEXT},      // Right arrow
    {0x28, ID_ZOOM_OUT},  // Down arrow
    {0x2E, ID_DELETE},    // Delete
    {'C', ID_BACKGROUND},
    {'F', ID_FULLSCREEN},
    {'L', ID_ROTATE_LEFT},
    {'O', ID_OPEN_WITH},
    {'P', ID_PROPERTIES},
    {'R', ID_ROTATE_RIGHT},
    {kSlideshowKey, ID_SLIDESHOW},
};

}  // namespace

uint32_t CommandForKey(uint32_t virtualKey, bool fullScreen) {
  if (virtualKey == kEscape && !fullScreen) return 0;
  for (const KeyBinding& binding : kKeys) {
    if (binding.key == virtualKey) return binding.command;
  }
  return 0;
}
