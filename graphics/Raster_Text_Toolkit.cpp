#include "graphics/Raster_Text_Toolkit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "graphics/Raster_System.h"

namespace velkor::Raster_Text_Toolkit {

using namespace GlyphOutlines;
using Raster_Paths::TCustomPath;
using Raster_Paths::TFlattenedPath;

namespace {

// ----- Process-wide hinting settings ----------------------------------------

struct THinting {
  int Mode = 0;
  bool Hinted = false;
  int Stretch = 1;  // S
  float InvStretch = 1;
  std::uint32_t Format = GGO_NATIVE | GGO_UNHINTED;
  MAT2 Matrix{FixedFromInt(1), 0, 0, FixedFromInt(-1)};  // screen orientation: y down
};
THinting Hinting;
Raster_System::TUnitInitCounter gUnitCounter;

constexpr float kNoLimit = 3.4e38f;

// ----- UTF-8 ---------------------------------------------------------------

std::vector<char32_t> DecodeUtf8(std::string_view Text) {
  std::vector<char32_t> Out;
  Out.reserve(Text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(Text.data());
  const auto* End = p + Text.size();
  while (p < End) {
    const unsigned char b = *p;
    int Length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t c = Length == 1 ? b : Length == 2 ? b & 0x1F : Length == 3 ? b & 0x0F : b & 0x07;
    bool Valid = Length > 0 && End - p >= Length;
    for (int k = 1; Valid && k < Length; ++k) {
      Valid = (p[k] & 0xC0) == 0x80;
      c = (c << 6) | (p[k] & 0x3F);
    }
    // Overlong forms, surrogates and values beyond the code space are no
    // characters.
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    Valid = Valid && c >= kMin[Length] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
    Out.push_back(Valid ? c : U'\uFFFD');
    p += Valid ? Length : 1;
  }
  return Out;
}

// ----- The outline buffer ----------------------------------------------------

std::uint32_t Read32(const std::uint8_t* p) {
  std::uint32_t V;
  std::memcpy(&V, p, 4);
  return V;
}
std::uint16_t Read16(const std::uint8_t* p) {
  std::uint16_t V;
  std::memcpy(&V, p, 2);
  return V;
}
// A 16.16 point: integer part plus fraction / 65536.
TFloatPoint ReadPoint(const std::uint8_t* p, float X, float Y) {
  return {X + static_cast<float>(static_cast<std::int32_t>(Read32(p))) / 65536.0f,
          Y + static_cast<float>(static_cast<std::int32_t>(Read32(p + 4))) / 65536.0f};
}

// Advances of the characters of one conversion, by code point.
class TAdvances {
 public:
  explicit TAdvances(TGlyphContext& DC) : FDC(DC) {}
  int Of(char32_t c) {
    if (auto It = FCache.find(c); It != FCache.end()) return It->second;
    GLYPHMETRICS M;
    FDC.GetGlyphOutline(c, Hinting.Format, M, 0, nullptr, Hinting.Matrix);
    return FCache[c] = M.gmCellIncX;
  }

 private:
  TGlyphContext& FDC;
  std::unordered_map<char32_t, int> FCache;
};

}  // namespace

// ----- Settings and start-up --------------------------------------------------

void SelectGlyphHinting(int Mode) {
  if (Mode != 1 && Mode != 2) Mode = 0;
  Hinting.Mode = Mode;
  Hinting.Hinted = Mode != 0;
  Hinting.Stretch = Mode == 1 ? 16 : 1;
  Hinting.InvStretch = 1.0f / static_cast<float>(Hinting.Stretch);
  Hinting.Format = Hinting.Hinted ? GGO_NATIVE : GGO_NATIVE | GGO_UNHINTED;
  Hinting.Matrix = MAT2{FixedFromInt(Hinting.Stretch), 0, 0, FixedFromInt(-1)};
}

int GlyphHintingMode() { return Hinting.Mode; }

void InitTextToolkit() {
  InitGlyphOutlines();
  SelectGlyphHinting(0);
}

void Startup() {
  if (gUnitCounter.Enter()) InitTextToolkit();
}

void Shutdown() {
  if (gUnitCounter.Leave()) DoneGlyphOutlines();
}

// ----- Outlines ---------------------------------------------------------------

void WalkGlyphOutline(TCustomPath& Path, std::span<const std::uint8_t> Buffer, float X, float Y) {
  const std::uint8_t* Base = Buffer.data();
  const std::size_t Size = Buffer.size();
  std::size_t Pos = 0;
  while (Size - Pos >= kPolygonHeaderSize) {
    const std::uint32_t Cb = Read32(Base + Pos);
    if (Read32(Base + Pos + 4) != TT_POLYGON_TYPE || Cb < kPolygonHeaderSize || Cb > Size - Pos) return;
    Path.MoveTo(ReadPoint(Base + Pos + 8, X, Y));
    const std::size_t End = Pos + Cb;
    std::size_t R = Pos + kPolygonHeaderSize;
    while (End - R >= kCurveHeaderSize) {
      const std::uint16_t Type = Read16(Base + R);
      const std::size_t n = Read16(Base + R + 2);
      if (n * kPointSize > End - R - kCurveHeaderSize) {
        Path.ClosePath();
        return;
      }
      const std::uint8_t* Pts = Base + R + kCurveHeaderSize;
      const auto P = [&](std::size_t k) { return ReadPoint(Pts + k * kPointSize, X, Y); };
      switch (Type) {
        case TT_PRIM_LINE:
          for (std::size_t k = 0; k < n; ++k) Path.LineTo(P(k));
          break;
        case TT_PRIM_QSPLINE:
          // Between two control points the curve passes through their
          // midpoint; the record's last point is on the curve.
          for (std::size_t k = 0; k + 1 < n; ++k) {
            const TFloatPoint C = P(k), Next = P(k + 1);
            Path.ConicTo(C, k + 2 == n ? Next : TFloatPoint{(C.X + Next.X) / 2, (C.Y + Next.Y) / 2});
          }
          break;
        case TT_PRIM_CSPLINE:
          // Each cubic piece takes three points: two controls and its end.
          for (std::size_t k = 0; k + 2 < n; k += 3) Path.CurveTo(P(k), P(k + 1), P(k + 2));
          break;
        default:
          break;
      }
      R += kCurveHeaderSize + n * kPointSize;
    }
    Path.ClosePath();
    Pos = End;
  }
}

bool GlyphOutlineToPath(TGlyphContext& DC, TCustomPath* Path, char32_t Glyph, float X, float MaxX, float Y,
                        GLYPHMETRICS& Metrics) {
  Metrics = {};
  const std::uint32_t Size = DC.GetGlyphOutline(Glyph, Hinting.Format, Metrics, 0, nullptr, Hinting.Matrix);
  const bool Fits = static_cast<float>(Metrics.gmCellIncX) + X <= MaxX;
  // A failed query (GDI_ERROR) or an empty outline adds nothing; the pen
  // still moves by the advance.
  if (!Fits || !Path || Size == GDI_ERROR || Size == 0) return Fits;
  std::vector<std::uint8_t> Buffer(Size);
  GLYPHMETRICS Again;
  if (DC.GetGlyphOutline(Glyph, Hinting.Format, Again, Size, Buffer.data(), Hinting.Matrix) == GDI_ERROR) return Fits;
  if (Size >= kPolygonHeaderSize && Read32(Buffer.data() + 4) == TT_POLYGON_TYPE)
    WalkGlyphOutline(*Path, Buffer, X, Y);
  return Fits;
}

// ----- Layout -------------------------------------------------------------------

void BuildTextPath(TGlyphContext& DC, TCustomPath* Path, const TFloatRect& ARect, std::string_view Text,
                   std::uint32_t Flags) {
  std::unique_ptr<TFlattenedPath> Temporary;
  TFlattenedPath* Out = nullptr;
  if (Path) {
    Out = dynamic_cast<TFlattenedPath*>(Path);
    if (Out) {
      Out->Clear();
      Out->BeginPath();
    } else {
      Temporary = New<TFlattenedPath>();
      Out = Temporary.get();
    }
  }

  TEXTMETRIC Tm;
  DC.GetTextMetrics(Tm);
  const float S = static_cast<float>(Hinting.Stretch);
  float X = S * ARect.Left;
  float Y = ARect.Top + static_cast<float>(Tm.tmAscent);
  float MaxX = Path && ARect.Right != ARect.Left ? S * ARect.Right : kNoLimit;
  TAdvances Advances(DC);
  const float SpaceWidth = static_cast<float>(Advances.Of(U' '));

  std::uint32_t Align = Flags & DT_JUSTIFY;
  bool WordBreak = (Flags & DT_WORDBREAK) != 0;
  const bool SingleLine = (Flags & DT_SINGLELINE) != 0;
  if (SingleLine || ARect.Left == ARect.Right) {
    if (Align == DT_JUSTIFY) Align = 0;
    WordBreak = false;
    MaxX = kNoLimit;
  }
  const auto Exceeds = [&](float Position) { return ARect.Right > ARect.Left && S * ARect.Right < Position; };
  const auto PolygonCount = [&]() -> std::size_t { return Out ? Out->Path().size() : 0; };

  // The current line: its first polygon, its spaces, and the polygon count
  // at each space (the words after it move when the line is justified).
  std::size_t LinePolygons = 0;
  int SpaceCount = 0;
  std::vector<std::size_t> SpacePolygons;
  bool SpaceBefore = false;  // the previous character was a space added to the line

  const auto AlignLine = [&](bool MayJustify) {
    if (!Out) return;
    auto& Polygons = Out->Path();
    const float Free = S * ARect.Right - X - 1;
    if (Align == DT_CENTER || Align == DT_RIGHT) {
      const float Dx = std::nearbyint(Align == DT_CENTER ? Free / 2 : Free);
      for (std::size_t k = LinePolygons; k < Polygons.size(); ++k)
        for (TFloatPoint& P : Polygons[k]) P.X += Dx;
    } else if (Align == DT_JUSTIFY && MayJustify && SpaceCount > 0) {
      const float Step = Free / static_cast<float>(SpaceCount);
      std::size_t Word = 0;
      for (std::size_t k = LinePolygons; k < Polygons.size(); ++k) {
        while (Word < SpacePolygons.size() && SpacePolygons[Word] <= k) ++Word;
        if (Word == 0) continue;
        for (TFloatPoint& P : Polygons[k]) P.X += static_cast<float>(Word) * Step;
      }
    }
  };
  // Starts a new line; a line ended by a line feed is not justified.
  const auto NewLine = [&](bool ByLineFeed) {
    if (SingleLine) return;
    AlignLine(!ByLineFeed);
    X = S * ARect.Left;
    Y += static_cast<float>(Tm.tmHeight);
    LinePolygons = PolygonCount();
    SpaceCount = 0;
    SpacePolygons.clear();
    SpaceBefore = false;
  };

  const std::vector<char32_t> Chars = DecodeUtf8(Text);
  for (std::size_t i = 0; i < Chars.size(); ++i) {
    char32_t c = Chars[i];
    if (c > 32) {
      GLYPHMETRICS Gm;
      if (!GlyphOutlineToPath(DC, Out, c, X, MaxX, Y, Gm)) {
        // The trailing space is not part of the line that ends here.
        if (SpaceBefore) {
          X -= SpaceWidth;
          --SpaceCount;
          SpacePolygons.pop_back();
        }
        NewLine(false);
        if (!GlyphOutlineToPath(DC, Out, c, X, MaxX, Y, Gm)) break;
      }
      SpaceBefore = false;
      X += static_cast<float>(Gm.gmCellIncX);
      continue;
    }
    if (SingleLine) c = U' ';
    SpaceBefore = false;
    if (c == U'\n') {
      NewLine(true);
    } else if (c == U' ') {
      float Position = X + SpaceWidth;
      if (WordBreak) {
        // The space and the word after it, up to the next line break,
        // carriage return or space.
        float Word = 0;
        for (std::size_t k = i; k < Chars.size(); ++k) {
          if (k > i && (Chars[k] == U'\n' || Chars[k] == U'\r' || Chars[k] == U' ')) break;
          Word += static_cast<float>(Advances.Of(Chars[k]));
        }
        Position = X + Word;
      }
      if (Exceeds(Position)) {
        NewLine(false);
      } else {
        ++SpaceCount;
        SpacePolygons.push_back(PolygonCount());
        X += SpaceWidth;
        SpaceBefore = true;
      }
    }
    // Carriage returns and other control characters add nothing.
  }
  // The last line is aligned too when centred or right-aligned, a single
  // line as well. The baseline stays, so that vertical alignment measures
  // the text's real bottom. A justified text leaves its last line as it is.
  if (Align == DT_CENTER || Align == DT_RIGHT) AlignLine(false);

  const float TextBottom = Y + static_cast<float>(Tm.tmHeight - Tm.tmAscent);
  if (Out && Hinting.Stretch != 1)
    for (auto& Polygon : Out->Path())
      for (TFloatPoint& P : Polygon) P.X *= Hinting.InvStretch;
  if (Out && (Flags & (DT_VCENTER | DT_BOTTOM))) {
    float Dy = ARect.Bottom - TextBottom;
    if (Flags & DT_VCENTER) Dy /= 2;
    for (auto& Polygon : Out->Path())
      for (TFloatPoint& P : Polygon) P.Y += Dy;
  }

  if (Temporary)
    Path->Assign(Temporary.get());
  else if (Out)
    Out->EndPath();
}

TFloatRect MeasureTextPath(TGlyphContext& DC, const TFloatRect& ARect, std::string_view Text, std::uint32_t Flags) {
  TFloatRect R = ARect;
  BuildTextPath(DC, nullptr, R, Text, Flags);
  return {std::nearbyint(R.Left), std::nearbyint(R.Top), std::nearbyint(R.Right), std::nearbyint(R.Bottom)};
}

void TextToPathOnDC(const TLogFont& Font, TCustomPath* Path, const TFloatRect& ARect, std::uint32_t Flags,
                    std::string_view Text) {
  TGlyphContext DC(Font);
  BuildTextPath(DC, Path, ARect, Text, Flags);
}

TFloatRect MeasureTextOnDC(const TLogFont& Font, const TFloatRect& ARect, std::uint32_t Flags, std::string_view Text) {
  TGlyphContext DC(Font);
  return MeasureTextPath(DC, ARect, Text, Flags);
}

}  // namespace velkor::Raster_Text_Toolkit
