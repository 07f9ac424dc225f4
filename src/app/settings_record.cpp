#include "app/settings_record.h"

#include <algorithm>
#include <limits>

static void PutInt32(uint8_t* out, int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  out[0] = static_cast<uint8_t>(bits);
  out[1] = static_cast<uint8_t>(bits >> 8);
  out[2] = static_cast<uint8_t>(bits >> 16);
  out[3] = static_cast<uint8_t>(bits >> 24);
}

static int32_t GetInt32(const uint8_t* in) {
  uint32_t bits = static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
                  (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
  return static_cast<int32_t>(bits);
}

SettingsBytes EncodeSettings(const SettingsRecord& record) {
  SettingsBytes bytes{};
  PutInt32(&bytes[0], record.windowLeft);
  PutInt32(&bytes[4], record.windowTop);
  PutInt32(&bytes[8], record.windowRight);
  PutInt32(&bytes[12], record.windowBottom);
  PutInt32(&bytes[16], record.maximized);
  PutInt32(&bytes[20], record.backgroundLevel);
  return bytes;
}

std::optional<SettingsRecord> DecodeSettings(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kSettingsRecordSize) return std::nullopt;
  SettingsRecord record;
  record.windowLeft = GetInt32(data + 0);
  record.windowTop = GetInt32(data + 4);
  record.windowRight = GetInt32(data + 8);
  record.windowBottom = GetInt32(data + 12);
  record.maximized = GetInt32(data + 16);
  record.backgroundLevel = GetInt32(data + 20);
  return record;
}

// Edge difference in 64 bits so that extreme edges cannot overflow into a positive size.
static bool MeasurableExtent(int32_t low, int32_t high, int32_t* extent) {
  int64_t difference = static_cast<int64_t>(high) - static_cast<int64_t>(low);
  if (difference <= 0 || difference > std::numeric_limits<int32_t>::max()) return false;
  *extent = static_cast<int32_t>(difference);
  return true;
}

SettingsToApply SettingsEffects(const SettingsRecord& record) {
  SettingsToApply effects{};
  int32_t width = 0;
  int32_t height = 0;
  effects.place = MeasurableExtent(record.windowLeft, record.windowRight, &width) &&
                  MeasurableExtent(record.windowTop, record.windowBottom, &height);
  if (effects.place) {
    effects.x = record.windowLeft;
    effects.y = record.windowTop;
    effects.width = width;
    effects.height = height;
    effects.maximize = record.maximized == 1;
  }
  bool known = record.backgroundLevel == kDarkBackground ||
               record.backgroundLevel == kLightBackground;
  effects.backgroundLevel = known ? record.backgroundLevel : kLightBackground;
  return effects;
}

SettingsToApply WithMinimumSize(SettingsToApply effects, int32_t minWidth, int32_t minHeight) {
  if (!effects.place) return effects;
  effects.width = std::max(effects.width, minWidth);
  effects.height = std::max(effects.height, minHeight);
  return effects;
}

static int32_t FarEdge(int32_t near, int32_t extent) {
  const int64_t far = static_cast<int64_t>(near) + extent;
  return static_cast<int32_t>(std::min<int64_t>(far, std::numeric_limits<int32_t>::max()));
}

EdgeRect PlacementEdges(const SettingsToApply& effects) {
  return EdgeRect{effects.x, effects.y, FarEdge(effects.x, effects.width), FarEdge(effects.y, effects.height)};
}

SettingsToApply KeptOnScreen(SettingsToApply effects, const std::optional<EdgeRect>& workArea) {
  if (!effects.place) return effects;
  const EdgeRect placed = PlacementEdges(effects);
  const bool meets = workArea && placed.left < workArea->right && workArea->left < placed.right &&
                     placed.top < workArea->bottom && workArea->top < placed.bottom;
  if (meets) return effects;
  effects.place = false;
  effects.maximize = true;
  return effects;
}

std::optional<SettingsRecord> SettingsRecordForClose(const EdgeRect& measured,
                                                     const EdgeRect& lastNormal, bool minimized,
                                                     bool maximized, int32_t backgroundLevel) {
  if (minimized) return std::nullopt;
  const EdgeRect& rect = maximized ? lastNormal : measured;
  return SettingsRecord{rect.left, rect.top, rect.right, rect.bottom, maximized ? 1 : 0,
                        backgroundLevel};
}
