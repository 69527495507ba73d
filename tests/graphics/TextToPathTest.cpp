// Text to path: the outline record walker on hand-made buffers, and the
// layout with DejaVu Sans through the glyph-outline stand-in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "RasterTestSupport.h"
#include "graphics/Raster_Text_Toolkit.h"

namespace velkor::Raster_Text_Toolkit {
namespace {

using namespace GlyphOutlines;
using Raster_Paths::TCustomPath;
using Raster_Paths::TFlattenedPath;

// ----- The record walker -----------------------------------------------------

// Logs the path commands it receives.
class TCommandLog : public TCustomPath {
 public:
  void MoveTo(const TFloatPoint& P) override { Log += "M" + Pt(P); }
  void LineTo(const TFloatPoint& P) override { Log += "L" + Pt(P); }
  void ConicTo(const TFloatPoint& C, const TFloatPoint& P) override { Log += "Q" + Pt(C) + Pt(P); }
  void CurveTo(const TFloatPoint& C1, const TFloatPoint& C2, const TFloatPoint& P) override {
    Log += "C" + Pt(C1) + Pt(C2) + Pt(P);
  }
  void ClosePath() override { Log += "Z"; }
  std::string Log;

 private:
  static std::string Pt(TFloatPoint P) {
    char B[40];
    std::snprintf(B, sizeof B, "(%g,%g)", P.X, P.Y);
    return B;
  }
};

// Builds outline buffers in the native layout.
class TOutline {
 public:
  TOutline& Polygon(float X, float Y) {
    FHeader = Bytes.size();
    Put32(0);
    Put32(TT_POLYGON_TYPE);
    Point(X, Y);
    return *this;
  }
  TOutline& Record(std::uint16_t Type, std::vector<TFloatPoint> Points) {
    Put16(Type);
    Put16(static_cast<std::uint16_t>(Points.size()));
    for (auto P : Points) Point(P.X, P.Y);
    const auto Cb = static_cast<std::uint32_t>(Bytes.size() - FHeader);
    std::memcpy(&Bytes[FHeader], &Cb, 4);
    return *this;
  }
  std::vector<std::uint8_t> Bytes;

 private:
  std::size_t FHeader = 0;
  void Put16(std::uint16_t V) { Bytes.insert(Bytes.end(), (std::uint8_t*)&V, (std::uint8_t*)&V + 2); }
  void Put32(std::uint32_t V) { Bytes.insert(Bytes.end(), (std::uint8_t*)&V, (std::uint8_t*)&V + 4); }
  void Point(float X, float Y) {
    Put32(static_cast<std::uint32_t>(std::lround(X * 65536)));
    Put32(static_cast<std::uint32_t>(std::lround(Y * 65536)));
  }
};

TEST(GlyphOutlineWalker, Records) {
  const struct {
    const char* Why;
    TOutline Outline;
    std::string Log;
  } Cases[] = {
      {"lines, offset by (X, Y), fractions kept",
       TOutline().Polygon(0, 0).Record(TT_PRIM_LINE, {{1.5f, 0}, {1.5f, -2}}),
       "M(10,20)L(11.5,20)L(11.5,18)Z"},
      {"quadratic: midpoints between controls, last point on the curve",
       TOutline().Polygon(0, 0).Record(TT_PRIM_QSPLINE, {{2, 0}, {4, 2}, {4, 4}}),
       "M(10,20)Q(12,20)(13,21)Q(14,22)(14,24)Z"},
      {"cubic: three points per piece (6 points, 2 pieces)",
       TOutline().Polygon(0, 0).Record(TT_PRIM_CSPLINE, {{1, 0}, {2, 0}, {3, 1}, {4, 2}, {5, 2}, {6, 0}}),
       "M(10,20)C(11,20)(12,20)(13,21)C(14,22)(15,22)(16,20)Z"},
      {"two polygons, unknown record type skipped",
       TOutline().Polygon(0, 0).Record(9, {{7, 7}}).Record(TT_PRIM_LINE, {{1, 1}}).Polygon(5, 5).Record(TT_PRIM_LINE, {{6, 5}}),
       "M(10,20)L(11,21)ZM(15,25)L(16,25)Z"},
  };
  for (const auto& C : Cases) {
    TCommandLog Path;
    WalkGlyphOutline(Path, C.Outline.Bytes, 10, 20);
    EXPECT_EQ(Path.Log, C.Log) << C.Why;
  }
}

TEST(GlyphOutlineWalker, MalformedBuffersEndTheWalk) {
  auto Good = TOutline().Polygon(0, 0).Record(TT_PRIM_LINE, {{1, 0}, {1, 1}}).Bytes;
  for (std::size_t Cut = 0; Cut < Good.size(); ++Cut) {
    TCommandLog Path;
    WalkGlyphOutline(Path, std::span(Good.data(), Cut), 0, 0);  // never reads past the end
    EXPECT_EQ(Path.Log.find('L'), std::string::npos) << "a truncated polygon is refused, cut at " << Cut;
  }
  // A record claiming more points than its polygon holds.
  auto Bad = Good;
  const std::uint16_t Huge = 60000;
  std::memcpy(&Bad[16 + 2], &Huge, 2);
  TCommandLog Path;
  WalkGlyphOutline(Path, Bad, 0, 0);
  EXPECT_EQ(Path.Log, "M(0,0)Z");
  // Not a polygon header at all.
  auto Wrong = Good;
  Wrong[4] = 25;
  TCommandLog Nothing;
  WalkGlyphOutline(Nothing, Wrong, 0, 0);
  EXPECT_EQ(Nothing.Log, "");
}

// ----- Layout with DejaVu Sans -------------------------------------------------

constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class TextToPath : public ::testing::Test {
 protected:
  void SetUp() override {
    test::StartRaster();
    InitTextToolkit();
    Font.Height = -32;
    Font.FaceName = "DejaVu Sans";
    DC = std::make_unique<TGlyphContext>(Font);
    DC->GetTextMetrics(Tm);
  }
  void TearDown() override { SelectGlyphHinting(0); }

  TArrayOfArrayOfFloatPoint Layout(std::string_view Text, TFloatRect R, std::uint32_t Flags) {
    TFlattenedPath Path;
    BuildTextPath(*DC, &Path, R, Text, Flags);
    return Path.Path();
  }
  int Advance(char32_t c) {
    GLYPHMETRICS M;
    DC->GetGlyphOutline(c, GGO_NATIVE | GGO_UNHINTED, M, 0, nullptr, MAT2{FixedFromInt(1), 0, 0, FixedFromInt(-1)});
    return M.gmCellIncX;
  }
  static TFloatRect Bounds(const TArrayOfArrayOfFloatPoint& Polygons, std::size_t From, std::size_t To) {
    TFloatRect B{1e9f, 1e9f, -1e9f, -1e9f};
    for (std::size_t k = From; k < To; ++k)
      for (auto P : Polygons[k]) {
        B.Left = std::min(B.Left, P.X), B.Right = std::max(B.Right, P.X);
        B.Top = std::min(B.Top, P.Y), B.Bottom = std::max(B.Bottom, P.Y);
      }
    return B;
  }
  // Every point of Moved[k] is Base[k] shifted by (Dx, Dy).
  static void ExpectShifted(const TArrayOfArrayOfFloatPoint& Moved, std::size_t MovedFrom,
                            const TArrayOfArrayOfFloatPoint& Base, std::size_t BaseFrom, std::size_t Count, float Dx,
                            float Dy, const char* Why) {
    ASSERT_LE(MovedFrom + Count, Moved.size()) << Why;
    ASSERT_LE(BaseFrom + Count, Base.size()) << Why;
    for (std::size_t k = 0; k < Count; ++k) {
      ASSERT_EQ(Moved[MovedFrom + k].size(), Base[BaseFrom + k].size()) << Why;
      for (std::size_t j = 0; j < Base[BaseFrom + k].size(); ++j) {
        EXPECT_NEAR(Moved[MovedFrom + k][j].X, Base[BaseFrom + k][j].X + Dx, 1e-3) << Why;
        EXPECT_NEAR(Moved[MovedFrom + k][j].Y, Base[BaseFrom + k][j].Y + Dy, 1e-3) << Why;
      }
    }
  }

  TLogFont Font;
  std::unique_ptr<TGlyphContext> DC;
  TEXTMETRIC Tm;
};

TEST_F(TextToPath, MetricsAreWholePixels) {
  EXPECT_GT(Tm.tmAscent, 20);
  EXPECT_GT(Tm.tmDescent, 3);
  EXPECT_EQ(Tm.tmHeight, Tm.tmAscent + Tm.tmDescent);
  EXPECT_GT(Advance(U'A'), 10);
  EXPECT_EQ(Advance(U' '), 10);  // DejaVu Sans: 651/2048 em at 32 px
}

TEST_F(TextToPath, SingleLineGlyphsShareTheBaseline) {
  const auto A = Layout("A", {5, 7, 5, 7}, DT_SINGLELINE);
  const auto B = Layout("B", {5, 7, 5, 7}, DT_SINGLELINE);
  const auto AB = Layout("A B", {5, 7, 5, 7}, DT_SINGLELINE);
  ASSERT_FALSE(A.empty());
  ASSERT_EQ(AB.size(), A.size() + B.size());
  // "A" stands on the baseline: Top + ascent.
  EXPECT_NEAR(Bounds(A, 0, A.size()).Bottom, 7 + Tm.tmAscent, 1e-3);
  ExpectShifted(AB, 0, A, 0, A.size(), 0, 0, "A in place");
  ExpectShifted(AB, A.size(), B, 0, B.size(), float(Advance(U'A') + Advance(U' ')), 0,
                "B after A's advance and one space");
}

TEST_F(TextToPath, LineFeedBreaksCarriageReturnAddsNothing) {
  const TFloatRect R{0, 0, 400, 300};
  const auto A = Layout("A", R, 0);
  const auto Two = Layout("A\nA", R, 0);
  ExpectShifted(Two, A.size(), A, 0, A.size(), 0, float(Tm.tmHeight), "second A one line lower");
  const auto WithCr = Layout("A\rA", R, 0);
  const auto Plain = Layout("AA", R, 0);
  EXPECT_EQ(WithCr, Plain);
  // Controls, empty text: nothing, no crash.
  EXPECT_TRUE(Layout("", R, 0).empty());
  EXPECT_TRUE(Layout(std::string("\x01\x02\t\r\n\0 ", 7), R, DT_WORDBREAK | DT_CENTER).empty());
  EXPECT_NO_THROW(BuildTextPath(*DC, nullptr, R, "A B\nC", DT_WORDBREAK));  // layout without output
}

TEST_F(TextToPath, WordBreakMovesTheWordThatDoesNotFit) {
  const int WordWidth = 3 * Advance(U'A');
  // Room for one word and a bit, not for two.
  const TFloatRect R{10, 0, 10 + WordWidth + Advance(U' ') + 5.0f, 300};
  const auto Word = Layout("AAA", {10, 0, 400, 300}, 0);
  const auto Two = Layout("AAA AAA", R, DT_WORDBREAK);
  ASSERT_EQ(Two.size(), 2 * Word.size());
  ExpectShifted(Two, Word.size(), Word, 0, Word.size(), 0, float(Tm.tmHeight), "the second word starts line 2");
}

TEST_F(TextToPath, JustifySpreadsWrappedLinesOnly) {
  const float A = float(Advance(U'A')), Space = float(Advance(U' '));
  // Three one-letter words fit on a line, four do not.
  const float Right = 4 * A + 3 * Space - 1;
  const TFloatRect R{0, 0, Right, 400};
  const char* Text = "A A A A\nA A";  // line 1 wraps, line 2 ends with LF, line 3 ends the text
  const auto Left = Layout(Text, R, DT_WORDBREAK);
  const auto Justified = Layout(Text, R, DT_WORDBREAK | DT_JUSTIFY);
  const std::size_t G = Layout("A", R, 0).size();  // polygons per glyph
  ASSERT_EQ(Left.size(), 6 * G);
  ASSERT_EQ(Justified.size(), 6 * G);
  // Line 1 ("A A A", X = 3A + 2 spaces, the trailing space dropped): the
  // free width Right - X - 1 over its two spaces.
  const float Step = (Right - (3 * A + 2 * Space) - 1) / 2;
  for (int k = 0; k < 3; ++k)
    ExpectShifted(Justified, k * G, Left, k * G, G, k * Step, 0, "line 1, word k moves by k steps");
  // The line ended by the line feed and the text's last line stay left.
  ExpectShifted(Justified, 3 * G, Left, 3 * G, 3 * G, 0, 0, "lines 2 and 3 unjustified");
  // And line 2 really is line 2: one A below line 1's first.
  ExpectShifted(Left, 3 * G, Left, 0, G, 0, float(Tm.tmHeight), "line 2 starts at the left");
}

TEST_F(TextToPath, CentreRightAndVerticalAlignment) {
  const TFloatRect R{0, 0, 200, 100};
  const float A = float(Advance(U'A'));
  const auto Base = Layout("A", R, 0);
  const struct {
    std::uint32_t Flags;
    float Dx, Dy;
  } Cases[] = {
      {DT_CENTER, std::nearbyint((200 - A - 1) / 2), 0},
      {DT_RIGHT, std::nearbyint(200 - A - 1), 0},
      {DT_BOTTOM, 0, 100 - float(Tm.tmHeight)},
      {DT_VCENTER, 0, (100 - float(Tm.tmHeight)) / 2},
      // Aligning the last line neither moves the baseline nor depends on
      // the line breaking being on.
      {DT_CENTER | DT_VCENTER, std::nearbyint((200 - A - 1) / 2), (100 - float(Tm.tmHeight)) / 2},
      {DT_RIGHT | DT_SINGLELINE, std::nearbyint(200 - A - 1), 0},
  };
  for (const auto& C : Cases)
    ExpectShifted(Layout("A", R, C.Flags), 0, Base, 0, Base.size(), C.Dx, C.Dy,
                  ("flags " + std::to_string(C.Flags)).c_str());
}

TEST_F(TextToPath, StretchedHintingKeepsPositions) {
  const TFloatRect R{0, 0, 0, 0};
  const auto Unhinted = Layout("HHHH", R, DT_SINGLELINE);
  SelectGlyphHinting(1);
  EXPECT_EQ(GlyphHintingMode(), 1);
  const auto Stretched = Layout("HHHH", R, DT_SINGLELINE);
  ASSERT_EQ(Stretched.size(), Unhinted.size());
  const std::size_t G = Unhinted.size() / 4;
  for (std::size_t k = 0; k < 4; ++k) {
    const TFloatRect U = Bounds(Unhinted, k * G, (k + 1) * G), H = Bounds(Stretched, k * G, (k + 1) * G);
    // Hinting moves stems by less than a pixel; the 16-fold stretch is gone.
    EXPECT_NEAR(H.Left, U.Left, 1.0) << k;
    EXPECT_NEAR(H.Right, U.Right, 1.0) << k;
    EXPECT_NEAR(H.Top, U.Top, 1.0) << k;
  }
}

TEST_F(TextToPath, OneCharacterPerCodePoint) {
  // A character beyond the 16-bit range (a surrogate pair in UTF-16) is one
  // glyph: "B" follows after exactly one advance.
  const TFloatRect R{0, 0, 0, 0};
  const auto B = Layout("B", R, DT_SINGLELINE);
  const auto Both = Layout("\xF0\x9F\x98\x80" "B", R, DT_SINGLELINE);
  const std::size_t Emoji = Both.size() - B.size();
  ExpectShifted(Both, Emoji, B, 0, B.size(), float(Advance(U'\U0001F600')), 0, "B after one glyph");
}

TEST_F(TextToPath, MeasureRoundsItsInput) {
  EXPECT_EQ(MeasureTextOnDC(Font, {0.4f, 0.6f, 10.7f, 20.2f}, 0, "Text"), (TFloatRect{0, 1, 11, 20}));
}

TEST_F(TextToPath, FontsFromNamesAndFiles) {
  TLogFont Unknown;
  Unknown.FaceName = "No Such Family Anywhere";
  Unknown.Height = 20;  // cell height
  TGlyphContext Substitute(Unknown);  // fontconfig's substitute
  EXPECT_FALSE(Substitute.FontFile().empty());
  TEXTMETRIC M;
  Substitute.GetTextMetrics(M);
  EXPECT_NEAR(M.tmHeight, 20, 1);

  TGlyphContext ByFile(kDejaVu, Font);
  TEXTMETRIC Same;
  ByFile.GetTextMetrics(Same);
  EXPECT_EQ(Same.tmHeight, Tm.tmHeight);

  const std::string NotAFont = std::string(::testing::TempDir()) + "/not-a-font.ttf";
  FILE* F = std::fopen(NotAFont.c_str(), "w");
  std::fputs("not a font", F);
  std::fclose(F);
  try {
    TGlyphContext Broken(NotAFont, Font);
    ADD_FAILURE() << "no error";
  } catch (const EGlyphOutlineError& E) {
    EXPECT_NE(std::string(E.what()).find(NotAFont), std::string::npos) << E.what();
  }
}

}  // namespace
}  // namespace velkor::Raster_Text_Toolkit
