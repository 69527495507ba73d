#include "platform/GlyphOutlines.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <fontconfig/fontconfig.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace velkor::GlyphOutlines {

namespace {

// The FreeType library, shared by every face made from it, so that a face
// still held by a context outlives DoneGlyphOutlines.
struct TFreeType {
  FT_Library Library = nullptr;
  ~TFreeType() {
    if (Library) FT_Done_FreeType(Library);
  }
};

struct TFace {
  std::shared_ptr<TFreeType> FreeType;
  FT_Face Face = nullptr;
  std::string File;
  std::mutex Lock;  // a face is used by one thread at a time
  TEXTMETRIC Metrics;
  ~TFace() {
    if (Face) FT_Done_Face(Face);
  }
};

// (file, face index, height) -> the sized face.
using TFaceKey = std::tuple<std::string, int, std::int32_t>;
// (family, weight, italic) -> (file, face index), as fontconfig matched it.
using TMatchKey = std::tuple<std::string, std::int32_t, bool>;

struct TState {
  std::mutex Lock;
  std::shared_ptr<TFreeType> FreeType;
  bool FontconfigReady = false;
  std::map<TFaceKey, std::shared_ptr<TFace>> Faces;
  std::map<TMatchKey, std::pair<std::string, int>> Matches;
};

TState& State() {
  static TState S;
  return S;
}

void InitLocked(TState& S) {
  if (!S.FreeType) {
    auto FreeType = std::make_shared<TFreeType>();
    if (const FT_Error E = FT_Init_FreeType(&FreeType->Library))
      throw EGlyphOutlineError("Cannot initialise FreeType: error " + std::to_string(E));
    S.FreeType = std::move(FreeType);
  }
  if (!S.FontconfigReady) {
    if (!FcInit()) throw EGlyphOutlineError("Cannot initialise fontconfig");
    S.FontconfigReady = true;
  }
}

// The em size for a height of 0, in pixels (9 points at 96 dpi).
constexpr int kDefaultEmPixels = 12;

std::pair<std::string, int> MatchFontFile(TState& S, const TLogFont& Font) {
  const TMatchKey Key{Font.FaceName, Font.Weight, Font.Italic};
  if (auto It = S.Matches.find(Key); It != S.Matches.end()) return It->second;

  FcPattern* Pattern = FcPatternCreate();
  if (!Font.FaceName.empty())
    FcPatternAddString(Pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(Font.FaceName.c_str()));
  FcPatternAddInteger(Pattern, FC_WEIGHT, FcWeightFromOpenType(Font.Weight > 0 ? Font.Weight : FW_NORMAL));
  FcPatternAddInteger(Pattern, FC_SLANT, Font.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(Pattern, FC_OUTLINE, FcTrue);
  FcConfigSubstitute(nullptr, Pattern, FcMatchPattern);
  FcDefaultSubstitute(Pattern);
  FcResult Result;
  FcPattern* Match = FcFontMatch(nullptr, Pattern, &Result);
  FcPatternDestroy(Pattern);
  FcChar8* File = nullptr;
  int Index = 0;
  if (!Match || FcPatternGetString(Match, FC_FILE, 0, &File) != FcResultMatch) {
    if (Match) FcPatternDestroy(Match);
    throw EGlyphOutlineError("No font file matches the font '" + Font.FaceName + "'");
  }
  FcPatternGetInteger(Match, FC_INDEX, 0, &Index);
  std::pair<std::string, int> Found{reinterpret_cast<const char*>(File), Index};
  FcPatternDestroy(Match);
  S.Matches.emplace(Key, Found);
  return Found;
}

std::shared_ptr<TFace> OpenFace(TState& S, const std::string& File, int Index, std::int32_t Height) {
  const TFaceKey Key{File, Index, Height};
  if (auto It = S.Faces.find(Key); It != S.Faces.end()) return It->second;

  auto Face = std::make_shared<TFace>();
  Face->FreeType = S.FreeType;
  Face->File = File;
  if (const FT_Error E = FT_New_Face(S.FreeType->Library, File.c_str(), Index, &Face->Face))
    throw EGlyphOutlineError("Cannot read the font file '" + File + "': FreeType error " + std::to_string(E));
  if (!FT_IS_SCALABLE(Face->Face))
    throw EGlyphOutlineError("The font file '" + File + "' has no outlines");

  // A negative height asks for the em size, a positive one for ascent +
  // descent.
  FT_Size_RequestRec Request{};
  Request.type = Height > 0 ? FT_SIZE_REQUEST_TYPE_REAL_DIM : FT_SIZE_REQUEST_TYPE_NOMINAL;
  const long Pixels = Height == 0 ? kDefaultEmPixels : std::abs(static_cast<long>(Height));
  Request.height = Pixels * 64;
  if (const FT_Error E = FT_Request_Size(Face->Face, &Request))
    throw EGlyphOutlineError("Cannot size the font file '" + File + "': FreeType error " + std::to_string(E));

  const FT_Size_Metrics& M = Face->Face->size->metrics;
  Face->Metrics.tmAscent = static_cast<std::int32_t>((M.ascender + 63) >> 6);
  Face->Metrics.tmDescent = static_cast<std::int32_t>((-M.descender + 63) >> 6);
  Face->Metrics.tmHeight = Face->Metrics.tmAscent + Face->Metrics.tmDescent;
  S.Faces.emplace(Key, Face);
  return Face;
}

// ----- The native outline layout -------------------------------------------

class TOutlineWriter {
 public:
  std::vector<std::uint8_t> Bytes;

  void MoveTo(const FT_Vector& P) {
    FinishPolygon();
    FPolygon = Bytes.size();
    Put32(0);  // cb, written when the polygon ends
    Put32(TT_POLYGON_TYPE);
    PutPoint(P);
    FRecord = kNone;
  }
  void Points(std::uint16_t Type, std::initializer_list<const FT_Vector*> Ps) {
    // Lines and cubics continue a record of their kind; every quadratic
    // piece is a record of its own (control, end), which the reader takes
    // as its last pair.
    if (FRecord == kNone || Type != RecordType() || Type == TT_PRIM_QSPLINE || RecordCount() > 0xFFFF - 3) {
      FRecord = Bytes.size();
      Put16(Type);
      Put16(0);
    }
    for (const FT_Vector* P : Ps) PutPoint(*P);
    const auto Count = static_cast<std::uint16_t>(RecordCount() + Ps.size());
    std::memcpy(&Bytes[FRecord + 2], &Count, 2);
  }
  void FinishPolygon() {
    if (FPolygon == kNone) return;
    const std::uint32_t Size = static_cast<std::uint32_t>(Bytes.size() - FPolygon);
    std::memcpy(&Bytes[FPolygon], &Size, 4);
    FPolygon = kNone;
  }

 private:
  static constexpr std::size_t kNone = ~std::size_t(0);
  std::size_t FPolygon = kNone, FRecord = kNone;

  std::uint16_t RecordCount() const {
    std::uint16_t N;
    std::memcpy(&N, &Bytes[FRecord + 2], 2);
    return N;
  }
  std::uint16_t RecordType() const {
    std::uint16_t T;
    std::memcpy(&T, &Bytes[FRecord], 2);
    return T;
  }
  void Put16(std::uint16_t V) { Append(&V, 2); }
  void Put32(std::uint32_t V) { Append(&V, 4); }
  // 26.6 to 16.16.
  void PutPoint(const FT_Vector& P) {
    Put32(static_cast<std::uint32_t>(static_cast<std::int32_t>(P.x)) << 10);
    Put32(static_cast<std::uint32_t>(static_cast<std::int32_t>(P.y)) << 10);
  }
  void Append(const void* Data, std::size_t Size) {
    const auto* B = static_cast<const std::uint8_t*>(Data);
    Bytes.insert(Bytes.end(), B, B + Size);
  }
};

std::vector<std::uint8_t> EncodeOutline(FT_Outline& Outline) {
  TOutlineWriter W;
  FT_Outline_Funcs Funcs{};
  Funcs.move_to = [](const FT_Vector* To, void* User) {
    static_cast<TOutlineWriter*>(User)->MoveTo(*To);
    return 0;
  };
  Funcs.line_to = [](const FT_Vector* To, void* User) {
    static_cast<TOutlineWriter*>(User)->Points(TT_PRIM_LINE, {To});
    return 0;
  };
  Funcs.conic_to = [](const FT_Vector* C, const FT_Vector* To, void* User) {
    static_cast<TOutlineWriter*>(User)->Points(TT_PRIM_QSPLINE, {C, To});
    return 0;
  };
  Funcs.cubic_to = [](const FT_Vector* C1, const FT_Vector* C2, const FT_Vector* To, void* User) {
    static_cast<TOutlineWriter*>(User)->Points(TT_PRIM_CSPLINE, {C1, C2, To});
    return 0;
  };
  if (FT_Outline_Decompose(&Outline, &Funcs, &W) != 0) return {};
  W.FinishPolygon();
  return std::move(W.Bytes);
}

}  // namespace

struct TGlyphContext::TImpl {
  std::shared_ptr<TFace> Face;
  // The last outline made, so that the size query and the fetch that
  // follows load the glyph once.
  char32_t LastGlyph = 0;
  std::uint32_t LastFormat = 0;
  MAT2 LastMatrix;
  bool HasLast = false;
  GLYPHMETRICS LastMetrics;
  std::vector<std::uint8_t> LastOutline;
  bool LastFailed = false;
};

void InitGlyphOutlines() {
  TState& S = State();
  std::lock_guard Guard(S.Lock);
  InitLocked(S);
}

void DoneGlyphOutlines() {
  TState& S = State();
  std::lock_guard Guard(S.Lock);
  S.Faces.clear();
  S.Matches.clear();
  S.FreeType.reset();
}

bool AddApplicationFont(const std::string& FontFile) {
  TState& S = State();
  std::lock_guard Guard(S.Lock);
  InitLocked(S);
  S.Matches.clear();
  return FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(FontFile.c_str())) == FcTrue;
}

TGlyphContext::TGlyphContext(const TLogFont& Font) : FImpl(std::make_unique<TImpl>()) {
  TState& S = State();
  std::lock_guard Guard(S.Lock);
  InitLocked(S);
  const auto [File, Index] = MatchFontFile(S, Font);
  FImpl->Face = OpenFace(S, File, Index, Font.Height);
}

TGlyphContext::TGlyphContext(const std::string& FontFile, const TLogFont& Font) : FImpl(std::make_unique<TImpl>()) {
  TState& S = State();
  std::lock_guard Guard(S.Lock);
  InitLocked(S);
  FImpl->Face = OpenFace(S, FontFile, 0, Font.Height);
}

TGlyphContext::~TGlyphContext() = default;

const std::string& TGlyphContext::FontFile() const { return FImpl->Face->File; }

bool TGlyphContext::GetTextMetrics(TEXTMETRIC& Metrics) const {
  Metrics = FImpl->Face->Metrics;
  return true;
}

std::uint32_t TGlyphContext::GetGlyphOutline(char32_t Glyph, std::uint32_t Format, GLYPHMETRICS& Metrics,
                                             std::uint32_t BufferSize, void* Buffer, const MAT2& Matrix) {
  TImpl& I = *FImpl;
  const bool Same = I.HasLast && I.LastGlyph == Glyph && I.LastFormat == Format &&
                    std::memcmp(&I.LastMatrix, &Matrix, sizeof Matrix) == 0;
  if (!Same) {
    TFace& F = *I.Face;
    std::lock_guard Guard(F.Lock);
    I.HasLast = true;
    I.LastGlyph = Glyph;
    I.LastFormat = Format;
    I.LastMatrix = Matrix;
    I.LastMetrics = {};
    I.LastOutline.clear();
    I.LastFailed = true;

    FT_Matrix M{Matrix.eM11, Matrix.eM21, Matrix.eM12, Matrix.eM22};
    FT_Set_Transform(F.Face, &M, nullptr);
    const FT_Int32 Load = FT_LOAD_NO_BITMAP | ((Format & GGO_UNHINTED) ? FT_LOAD_NO_HINTING : FT_LOAD_DEFAULT);
    const FT_UInt Index = FT_Get_Char_Index(F.Face, Glyph);  // 0: the missing-glyph symbol
    if (FT_Load_Glyph(F.Face, Index, Load) == 0 && F.Face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
      FT_GlyphSlot Slot = F.Face->glyph;
      FT_BBox Box;
      FT_Outline_Get_CBox(&Slot->outline, &Box);
      I.LastMetrics.gmBlackBoxX = static_cast<std::uint32_t>((Box.xMax - Box.xMin + 63) >> 6);
      I.LastMetrics.gmBlackBoxY = static_cast<std::uint32_t>((Box.yMax - Box.yMin + 63) >> 6);
      I.LastMetrics.gmptGlyphOriginX = static_cast<std::int32_t>(Box.xMin >> 6);
      I.LastMetrics.gmptGlyphOriginY = static_cast<std::int32_t>((Box.yMax + 63) >> 6);
      I.LastMetrics.gmCellIncX = static_cast<std::int16_t>((Slot->advance.x + 32) >> 6);
      I.LastMetrics.gmCellIncY = static_cast<std::int16_t>((Slot->advance.y + 32) >> 6);
      if (Slot->outline.n_contours > 0) I.LastOutline = EncodeOutline(Slot->outline);
      I.LastFailed = Slot->outline.n_contours > 0 && I.LastOutline.empty();
    }
    FT_Set_Transform(F.Face, nullptr, nullptr);
  }
  Metrics = I.LastMetrics;
  if (I.LastFailed) return GDI_ERROR;
  const auto Size = static_cast<std::uint32_t>(I.LastOutline.size());
  if (BufferSize == 0 || !Buffer) return Size;
  if (BufferSize < Size) return GDI_ERROR;
  std::memcpy(Buffer, I.LastOutline.data(), Size);
  return Size;
}

}  // namespace velkor::GlyphOutlines
