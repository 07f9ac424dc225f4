// The 24-byte settings file record and the rules for what reading it applies to the window.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "view/view_state.h"

// Six signed 32-bit little-endian integers, no header. The rectangle is the window's normal
// outer rectangle as four edges (right and bottom exclusive), screen pixels.
struct SettingsRecord {
  int32_t windowLeft;
  int32_t windowTop;
  int32_t windowRight;
  int32_t windowBottom;
  int32_t maximized;        // 1 when maximised at close
  int32_t backgroundLevel;  // 0 or 250; anything else is read as 250
};

constexpr size_t kSettingsRecordSize = 24;
using SettingsBytes = std::array<uint8_t, kSettingsRecordSize>;

SettingsBytes EncodeSettings(const SettingsRecord& record);
// Reads the first 24 bytes; fails when fewer are given, since a short file has no
// trustworthy fields.
std::optional<SettingsRecord> DecodeSettings(const uint8_t* data, size_t size);

// What a read record asks of the window. The placement is position and size, not edges.
struct SettingsToApply {
  bool place;   // move and size the window to x, y, width, height
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  bool maximize;            // after the placement, if any; alone it maximises where the window is
  int32_t backgroundLevel;  // always applied
};

// An empty or inverted rectangle (or one too large to measure in 32 bits) skips both the
// placement and the maximising; maximising needs exactly 1; a background other than 0 or 250
// becomes 250.
SettingsToApply SettingsEffects(const SettingsRecord& record);

// The placement enlarged to the window's minimum size (right and bottom move out), as the
// window itself will take it; nothing else changes.
SettingsToApply WithMinimumSize(SettingsToApply effects, int32_t minWidth, int32_t minHeight);
// The edges of the placement; right and bottom stop at the largest 32-bit value.
EdgeRect PlacementEdges(const SettingsToApply& effects);
// A placement that does not meet the work area of the screen it lies on (none: it lies on no
// screen) would put the window where nobody sees it: it is dropped and the window maximised,
// as when there is no settings file. The background level stays.
SettingsToApply KeptOnScreen(SettingsToApply effects, const std::optional<EdgeRect>& workArea);

// The record the close handler writes, or nothing when the window is minimised (the file is
// then left as it is). A maximised window stores its last normal rectangle, else the
// rectangle measured on entering the handler. The background is stored unchecked.
std::optional<SettingsRecord> SettingsRecordForClose(const EdgeRect& measured,
                                                     const EdgeRect& lastNormal, bool minimized,
                                                     bool maximized, int32_t backgroundLevel);
