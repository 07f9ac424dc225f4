#include <gtest/gtest.h>

#include <vector>

#include "app/settings_record.h"

namespace {

SettingsRecord Record(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t maximized,
                      int32_t background) {
  return SettingsRecord{left, top, right, bottom, maximized, background};
}

TEST(SettingsRecordTest, EncodesSixLittleEndianInt32InFieldOrder) {
  SettingsBytes bytes = EncodeSettings(Record(200, -2, 0x01020304, 536, 1, 250));
  const std::vector<uint8_t> expected = {
      0xC8, 0x00, 0x00, 0x00,  // windowLeft 200
      0xFE, 0xFF, 0xFF, 0xFF,  // windowTop -2
      0x04, 0x03, 0x02, 0x01,  // windowRight
      0x18, 0x02, 0x00, 0x00,  // windowBottom 536
      0x01, 0x00, 0x00, 0x00,  // maximized
      0xFA, 0x00, 0x00, 0x00,  // backgroundLevel 250
  };
  EXPECT_EQ(expected, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

TEST(SettingsRecordTest, DecodeReversesEncodeIncludingExtremes) {
  SettingsRecord original = Record(INT32_MIN, INT32_MAX, -1, 0, 2, 128);
  SettingsBytes bytes = EncodeSettings(original);
  std::optional<SettingsRecord> decoded = DecodeSettings(bytes.data(), bytes.size());
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(INT32_MIN, decoded->windowLeft);
  EXPECT_EQ(INT32_MAX, decoded->windowTop);
  EXPECT_EQ(-1, decoded->windowRight);
  EXPECT_EQ(0, decoded->windowBottom);
  EXPECT_EQ(2, decoded->maximized);
  EXPECT_EQ(128, decoded->backgroundLevel);
}

TEST(SettingsRecordTest, DecodeUsesOnlyTheFirst24BytesAndRejectsFewer) {
  std::vector<uint8_t> longer(30, 0xAB);
  SettingsBytes bytes = EncodeSettings(Record(1, 2, 3, 4, 0, 0));
  std::copy(bytes.begin(), bytes.end(), longer.begin());
  std::optional<SettingsRecord> decoded = DecodeSettings(longer.data(), longer.size());
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(4, decoded->windowBottom);
  EXPECT_EQ(0, decoded->backgroundLevel);

  EXPECT_FALSE(DecodeSettings(bytes.data(), 23).has_value());
  EXPECT_FALSE(DecodeSettings(bytes.data(), 0).has_value());
  EXPECT_FALSE(DecodeSettings(nullptr, 24).has_value());
}

TEST(SettingsEffectsTest, NormalRectangleIsPlacedAsPositionAndSize) {
  SettingsToApply effects = SettingsEffects(Record(200, 150, 768, 536, 0, 0));
  EXPECT_TRUE(effects.place);
  EXPECT_EQ(200, effects.x);
  EXPECT_EQ(150, effects.y);
  EXPECT_EQ(568, effects.width);
  EXPECT_EQ(386, effects.height);
  EXPECT_FALSE(effects.maximize);
  EXPECT_EQ(0, effects.backgroundLevel);
}

TEST(SettingsEffectsTest, MaximisesOnlyForExactlyOne) {
  EXPECT_TRUE(SettingsEffects(Record(0, 0, 10, 10, 1, 250)).maximize);
  EXPECT_FALSE(SettingsEffects(Record(0, 0, 10, 10, 2, 250)).maximize);
  EXPECT_FALSE(SettingsEffects(Record(0, 0, 10, 10, -1, 250)).maximize);
}

TEST(SettingsEffectsTest, EmptyOrInvertedRectangleSkipsPlacementAndMaximiseButKeepsBackground) {
  const SettingsRecord records[] = {
      Record(100, 100, 100, 300, 1, 0),  // zero width
      Record(100, 100, 300, 100, 1, 0),  // zero height
      Record(300, 100, 100, 300, 1, 0),  // inverted width
      Record(100, 300, 300, 100, 1, 0),  // inverted height
      // Inverted so far that a 32-bit difference would wrap to a positive size.
      Record(INT32_MAX, 0, INT32_MIN + 10, 100, 1, 0),
      // Wider than a 32-bit size can hold.
      Record(INT32_MIN, 0, INT32_MAX, 100, 1, 0),
  };
  for (const SettingsRecord& record : records) {
    SettingsToApply effects = SettingsEffects(record);
    EXPECT_FALSE(effects.place) << record.windowLeft << "," << record.windowTop << ","
                                << record.windowRight << "," << record.windowBottom;
    EXPECT_FALSE(effects.maximize);
    EXPECT_EQ(0, effects.backgroundLevel);
  }
}

TEST(SettingsEffectsTest, BackgroundOtherThanZeroOr250Becomes250) {
  EXPECT_EQ(250, SettingsEffects(Record(0, 0, 10, 10, 0, 128)).backgroundLevel);
  EXPECT_EQ(250, SettingsEffects(Record(0, 0, 10, 10, 0, 17)).backgroundLevel);
  EXPECT_EQ(250, SettingsEffects(Record(0, 0, 10, 10, 0, -250)).backgroundLevel);
  EXPECT_EQ(0, SettingsEffects(Record(0, 0, 10, 10, 0, 0)).backgroundLevel);
  EXPECT_EQ(250, SettingsEffects(Record(0, 0, 10, 10, 0, 250)).backgroundLevel);
}

// A rectangle is checked as the window will take it, never below its minimum size; one that
// meets no screen's work area gives way to a maximised window, and the background still holds.
TEST(SettingsEffectsTest, PlacementIsEnlargedToTheMinimumAndKeptOnAScreen) {
  const EdgeRect screen{0, 0, 1600, 1000};
  auto placed = [](const SettingsRecord& record) {
    return WithMinimumSize(SettingsEffects(record), 768, 536);
  };

  SettingsToApply small = placed(Record(200, 210, 768, 536, 1, 0));
  EXPECT_EQ(200, small.x);
  EXPECT_EQ(210, small.y);
  EXPECT_EQ(768, small.width) << "568 wide is enlarged to the minimum";
  EXPECT_EQ(536, small.height) << "326 high is enlarged to the minimum";
  SettingsToApply kept = KeptOnScreen(small, screen);
  EXPECT_TRUE(kept.place);
  EXPECT_TRUE(kept.maximize);
  EXPECT_EQ(1300, placed(Record(10, 10, 1310, 20, 0, 0)).width) << "a wide enough side stays as it is";

  // Left of the screen, reaching into it only once enlarged; and one that just touches it.
  EXPECT_TRUE(KeptOnScreen(placed(Record(-700, 100, -600, 200, 0, 0)), screen).place);
  SettingsToApply touching = KeptOnScreen(placed(Record(-768, 100, -700, 200, 0, 0)), screen);
  EXPECT_FALSE(touching.place) << "a rectangle ending at the screen's left edge does not meet it";
  EXPECT_TRUE(touching.maximize);

  // Far off every screen (no monitor under it), or off the one found: maximised instead.
  const std::optional<EdgeRect> workAreas[] = {std::nullopt, screen};
  for (const std::optional<EdgeRect>& workArea : workAreas) {
    SettingsToApply off = KeptOnScreen(placed(Record(100000, 100000, 100800, 100600, 0, 0)), workArea);
    EXPECT_FALSE(off.place);
    EXPECT_TRUE(off.maximize);
    EXPECT_EQ(0, off.backgroundLevel) << "the background level is valid and still applied";
  }

  // Far edges stop at the largest 32-bit value instead of wrapping onto the screen.
  SettingsToApply far = placed(Record(INT32_MAX - 10, 0, INT32_MAX, 5, 0, 250));
  EXPECT_EQ(INT32_MAX, PlacementEdges(far).right);
  EXPECT_EQ(536, PlacementEdges(far).bottom);
  EXPECT_FALSE(KeptOnScreen(far, screen).place);

  // An empty rectangle asks for nothing, on a screen or not.
  SettingsToApply none = KeptOnScreen(placed(Record(5, 5, 5, 5, 1, 0)), std::nullopt);
  EXPECT_FALSE(none.place);
  EXPECT_FALSE(none.maximize);
}

TEST(SettingsForCloseTest, MinimisedWritesNothing) {
  EXPECT_FALSE(SettingsRecordForClose({1, 2, 3, 4}, {5, 6, 7, 8}, true, false, 0).has_value());
  EXPECT_FALSE(SettingsRecordForClose({1, 2, 3, 4}, {5, 6, 7, 8}, true, true, 0).has_value());
}

TEST(SettingsForCloseTest, MaximisedStoresLastNormalRectangleElseMeasured) {
  std::optional<SettingsRecord> maximized =
      SettingsRecordForClose({-8, -8, 1608, 1008}, kDefaultWindowRect, false, true, 250);
  ASSERT_TRUE(maximized.has_value());
  EXPECT_EQ(200, maximized->windowLeft);
  EXPECT_EQ(200, maximized->windowTop);
  EXPECT_EQ(768, maximized->windowRight);
  EXPECT_EQ(536, maximized->windowBottom);
  EXPECT_EQ(1, maximized->maximized);
  EXPECT_EQ(250, maximized->backgroundLevel);

  std::optional<SettingsRecord> normal =
      SettingsRecordForClose({10, 20, 30, 40}, kDefaultWindowRect, false, false, 77);
  ASSERT_TRUE(normal.has_value());
  EXPECT_EQ(10, normal->windowLeft);
  EXPECT_EQ(20, normal->windowTop);
  EXPECT_EQ(30, normal->windowRight);
  EXPECT_EQ(40, normal->windowBottom);
  EXPECT_EQ(0, normal->maximized);
  EXPECT_EQ(77, normal->backgroundLevel);  // stored unchecked; reading corrects it
}

}  // namespace
