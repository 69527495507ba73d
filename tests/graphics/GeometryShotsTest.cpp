// Pictures for a person to look at: shapes and text outlines filled by the
// polygon rasteriser, left under <build>/gui-shots/graphics/.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

#include "PngWriter.h"
#include "RasterTestSupport.h"
#include "graphics/Raster_Text_Toolkit.h"
#include "graphics/Raster_VPR.h"
#include "graphics/Raster_VectorUtils.h"

namespace velkor {
namespace {

// A white canvas on which polygons are filled in a colour, by coverage,
// under the non-zero or the even-odd rule.
class TCanvas {
 public:
  TCanvas(int Width, int Height) : FWidth(Width), FHeight(Height), FPixels(std::size_t(Width) * Height, 0xFFFFFFFF) {}

  void Fill(const TArrayOfArrayOfFloatPoint& Polygons, TColor32 Color, bool EvenOdd = false) {
    Raster_VPR::RasterizePolyPolygon(
        Polygons, {0, 0, float(FWidth), float(FHeight)}, [&](const Raster_VPR::TValueSpan& Span, int Y) {
          for (int X = Span.X1; X <= Span.X2; ++X) {
            float c = std::fabs(Span.Values[X - Span.X1]);
            if (EvenOdd) {
              c = std::fmod(c, 2.0f);
              if (c > 1) c = 2 - c;
            }
            Mix(FPixels[std::size_t(Y) * FWidth + X], Color, std::min(c, 1.0f));
          }
        });
  }
  void Save(const char* Name) const {
    test::WritePng(std::filesystem::path(VELKOR_GUI_SHOTS_DIR) / Name, FWidth, FHeight, FPixels.data());
  }
  int Touched() const {
    return int(std::count_if(FPixels.begin(), FPixels.end(), [](TColor32 P) { return P != 0xFFFFFFFF; }));
  }

 private:
  static void Mix(TColor32& Dst, TColor32 Color, float Alpha) {
    TColor32 Out = 0xFF000000;
    for (int Shift = 0; Shift < 24; Shift += 8) {
      const float d = float((Dst >> Shift) & 0xFF), s = float((Color >> Shift) & 0xFF);
      Out |= TColor32(std::lround(d + (s - d) * Alpha)) << Shift;
    }
    Dst = Out;
  }
  int FWidth, FHeight;
  std::vector<TColor32> FPixels;
};

TEST(GeometryShots, ShapesAndText) {
  test::StartRaster();
  Raster_Text_Toolkit::InitTextToolkit();
  TCanvas Canvas(640, 400);

  using namespace Raster_VectorUtils;
  Canvas.Fill({BuildCircle({70, 70}, 0, 50)}, 0xFF2060C0);
  Canvas.Fill({BuildEllipse({190, 70}, {55, 30}, 0)}, 0xFF20A060);
  TArrayOfFloatPoint Star;
  for (int k = 0; k < 5; ++k) {
    const double a = -std::numbers::pi / 2 + k * 4 * std::numbers::pi / 5;
    Star.push_back({float(310 + 50 * std::cos(a)), float(72 + 50 * std::sin(a))});
  }
  Canvas.Fill({Star}, 0xFFC04020, true);  // even-odd: the centre stays empty
  auto Path = New<Raster_Paths::TFlattenedPath>();
  Path->RoundRect({380, 25, 500, 115}, 16);
  Canvas.Fill(Path->Path(), 0xFF806020);
  Path->Arc({570, 70}, 0, 4.5f, 50);
  Canvas.Fill(Path->Path(), 0xFF8030A0);

  TLogFont Font;
  Font.Height = -22;
  Font.FaceName = "DejaVu Sans";
  const char* Text =
      "Velkor judges the submissions of a contest: it compiles each program, runs it on every test "
      "and compares the output with the checker.\nA new paragraph after a line feed; its last line "
      "is never justified.";
  Raster_Text_Toolkit::TextToPathOnDC(Font, Path.get(), {20, 140, 620, 380}, DT_WORDBREAK | Raster_Text_Toolkit::DT_JUSTIFY,
                                      Text);
  Canvas.Fill(Path->Path(), 0xFF000000);
  Canvas.Save("geometry-shapes-and-text.png");
  EXPECT_GT(Canvas.Touched(), 20000);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(VELKOR_GUI_SHOTS_DIR) / "geometry-shapes-and-text.png"));
}

}  // namespace
}  // namespace velkor
