#include "components/TrueColors.h"

#include <gtest/gtest.h>

#include "toolkit/VisualStyles.h"

namespace velkor {
namespace {

TEST(TrueColorsTest, ByteViewsShareOneWord) {
  TTrueColor c = TTrueColor::FromBGRA(1, 2, 3, 4);
  EXPECT_EQ(c.Color32(), 0x04030201u);
  EXPECT_EQ(c.CodeC(), 0x04030201u);
  EXPECT_EQ(TColor32(c), 0x04030201u);
  EXPECT_EQ(c.Color(), (TRGBPixel{1, 2, 3}));
  EXPECT_EQ(c.Alpha(), 4);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&c);
  EXPECT_EQ(bytes[0], 1);  // blue first in memory
  EXPECT_EQ(bytes[3], 4);
  c.set_r(0xFF);
  c.SetAlpha(0x80);
  EXPECT_EQ(c.CodeI(), std::int32_t(0x80FF0201u));
  c.SetColor({9, 8, 7});
  EXPECT_EQ(c.Value, 0x80070809u);
  EXPECT_TRUE(TTrueColor(0x80070809u) == c);
  EXPECT_TRUE(TTrueColor(0x81070809u) != c);
}

TEST(TrueColorsTest, ToolkitColourRoundTrip) {
  RestoreSystemStyle();
  const TTrueColor c = ColorToTrueColor(0x000080FF);  // red FF, green 80
  EXPECT_EQ(c.Value, 0xFFFF8000u);
  EXPECT_EQ(TrueColorToColor(c), 0x000080FF);
  // Alpha is dropped on the way back.
  EXPECT_EQ(TrueColorToColor(TTrueColor(0x12345678u)), 0x00785634);
}

TEST(TrueColorsTest, SystemColourFollowsTheStyle) {
  RestoreSystemStyle();
  const TTrueColor classic = ColorToTrueColor(clWindow);
  EXPECT_EQ(classic.Value, WinColorToColor32(TColor(GetSysColor(5))));
  EXPECT_EQ(classic.a(), 255);

  ASSERT_TRUE(ApplyStyle("Ocean"));
  const TColor styled = GetSystemColor(clWindow);
  ASSERT_FALSE(IsSystemColorRef(styled));
  const TTrueColor c = ColorToTrueColor(clWindow);
  EXPECT_EQ(c.Value, WinColorToColor32(styled));
  EXPECT_EQ(c.a(), 255);
  // Plain colours pass the style untouched.
  EXPECT_EQ(ColorToTrueColor(0x000080FF).Value, 0xFFFF8000u);
  RestoreSystemStyle();
}

}  // namespace
}  // namespace velkor
