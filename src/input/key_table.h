// What each key does in the viewer: the command it issues, the same one the context menu item
// for it issues. Keys are virtual-key codes, so letters act the same with or without Shift or
// Caps Lock.
#pragma once
#include <cstdint>

constexpr uint32_t kSlideshowKey = 'S';

// The command identifier (ID_* of the resources) for the key; 0 for keys that issue none. Esc
// issues the full-screen toggle only while full screen is on, so it can only leave it.
uint32_t CommandForKey(uint32_t virtualKey, bool fullScreen);
