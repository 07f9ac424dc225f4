// What each key does in the viewer. Keys are virtual-key codes, so letters act the same with
// or without Shift or Caps Lock.
#pragma once
#include <cstdint>

enum class KeyAction {
  none,
  toggleFullScreen,
  previousImage,
  nextImage,
  zoomIn,
  zoomOut,
  toggleBackground,
  rotateLeft,
  rotateRight,
  deleteImage,
  openWith,
  showProperties,
  toggleSlideshow,
};

constexpr uint32_t kSlideshowKey = 'S';

// Esc acts only while full screen is on (it leaves it); keys outside the table do nothing.
KeyAction ActionForKey(uint32_t virtualKey, bool fullScreen);
