// The two rectangle types of the program, one per meaning. Plain values, so platform-free code
// and its tests use them as the viewer does; the Win32 side converts RECT at its edge only.
#pragma once
#include <cstdint>

// A window's outer rectangle in screen pixels, by its four edges (right and bottom exclusive),
// as the window system reports it and the settings file stores it.
struct EdgeRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// A rectangle of the picture area (drawn picture, margin strip), by its corner and size, in
// pixels of the picture area with the origin at its top-left corner.
struct XywhRect {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
};
