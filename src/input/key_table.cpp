#include "input/key_table.h"

namespace {

struct KeyBinding {
  uint32_t key;
  KeyAction action;
};

constexpr uint32_t kEscape = 0x1B;

constexpr KeyBinding kKeys[] = {
    {kEscape, KeyAction::toggleFullScreen},
    {0x25, KeyAction::previousImage},  // Left arrow
    {0x26, KeyAction::zoomIn},         // Up arrow
    {0x27, KeyAction::nextImage},      // Right arrow
    {0x28, KeyAction::zoomOut},        // Down arrow
    {0x2E, KeyAction::deleteImage},    // Delete
    {'C', KeyAction::toggleBackground},
    {'F', KeyAction::toggleFullScreen},
    {'L', KeyAction::rotateLeft},
    {'O', KeyAction::openWith},
    {'P', KeyAction::showProperties},
    {'R', KeyAction::rotateRight},
    {kSlideshowKey, KeyAction::toggleSlideshow},
};

}  // namespace

KeyAction ActionForKey(uint32_t virtualKey, bool fullScreen) {
  if (virtualKey == kEscape && !fullScreen) return KeyAction::none;
  for (const KeyBinding& binding : kKeys) {
    if (binding.key == virtualKey) return binding.action;
  }
  return KeyAction::none;
}
