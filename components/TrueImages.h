// The true image: the toolkit graphic of 32-bit pixels with straight alpha,
// a master alpha and a resampling mode, over one owned TBitmap32. Every
// picture a component receives becomes a TTrueImage first; its own file and
// clipboard format is ARGB (components/ArgbFormat.h).
//
// Change notification: every change of the bitmap reaches Changed(), which
// fires OnChange unless an update block (BeginUpdate/EndUpdate) is open;
// EndUpdate of the outermost block reports once. OnChanged is a slot that
// holders may fill; the image itself never fires it.
//
// Painting never notifies. PaintTo blends with an effective master alpha
// (the image's scaled by the opacity) that it sets on the bitmap silently
// and restores silently: a holder that invalidated on OnChange would
// otherwise be asked to repaint from inside its own paint, forever.
#pragma once

#include <QImage>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "components/ArgbFormat.h"
#include "components/TrueColors.h"
#include "graphics/Raster.h"
#include "toolkit/ToolkitGraphics.h"

namespace velkor {

enum TResamplingMode : std::uint8_t {
  rmBox, rmLinear, rmCosine, rmSpline, rmMitchell, rmCubic, rmHermite,
  rmLanczos, rmGaussian, rmBlackman, rmHann, rmHamming, rmSinsh
};
// The kernel class a mode selects; any other value selects "TLinearKernel".
const char* KernelClassNameOf(TResamplingMode Mode);

// A lookup from an 8-bit channel value to a new one.
using TIntensityMap = std::array<std::uint8_t, 256>;

// [a][v]: v scaled by alpha a, and back (capped at 255); row 0 is zero in
// both. Filled by InitPremultiplyTables.
using TPremultiplyTable = std::array<std::array<std::uint8_t, 256>, 256>;
extern TPremultiplyTable PremulTable;
extern TPremultiplyTable UnpremulTable;
void InitPremultiplyTables();

// The clipboard format number of ARGB images.
inline constexpr std::uint32_t CF_ARGB = 1112;

class TTrueImage : public TToolkitGraphic {
 public:
  TTrueImage();
  ~TTrueImage() override;
  static std::unique_ptr<TTrueImage> CreateFrom(const TPersistent* Source);
  // Through a toolkit picture, so any registered format loads.
  static std::unique_ptr<TTrueImage> CreateFromFile(const std::string& FileName);
  static std::unique_ptr<TTrueImage> CreateSize(int W, int H);

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // nil empties the image. Otherwise MasterAlpha becomes 255 and the first
  // matching source kind converts: a TBitmap32, a toolkit graphic, a
  // picture, the clipboard holding CF_ARGB; any other source changes
  // nothing more. One OnChange at the end, also when a conversion fails.
  void Assign(const TPersistent* Source) override;
  // OnChange, unless an update block is open.
  void Changed() override;

  void Draw(TCanvas& ACanvas, const TRect& Rect) const override;
  void DrawTransparent(TCanvas& ACanvas, const TRect& Rect, std::uint8_t Opacity) const;
  // Another TTrueImage of the same size and pixels; master alpha and mode
  // are not compared.
  bool Equals(const TToolkitGraphic* Graphic) const;
  bool Empty() const override;
  int Width() const override;
  int Height() const override;
  void SetWidth(int Value);
  void SetHeight(int Value);
  void SetSize(int W, int H);
  bool SupportsPartialTransparency() const { return true; }

  // The ARGB file; any other content is loaded through a toolkit picture by
  // the file's extension (LoadFromFileIndirect). Errors name the file.
  void LoadFromFile(const std::string& FileName) override;
  void LoadFromFileIndirect(const std::string& FileName);
  void LoadFromStream(std::istream& Stream) override;
  void SaveToStream(std::ostream& Stream) const override;
  // AFormat must be CF_ARGB (else EInvalidGraphic "Invalid format"); AData
  // holds the ARGB bytes.
  void LoadFromClipboardFormat(std::uint32_t AFormat, const std::string& AData) override;
  void SaveToClipboardFormat(std::uint32_t& AFormat, std::string& AData) const override;
  // Puts the image on the clipboard as CF_ARGB / takes it from there.
  void CopyToClipboard() const;

  void CopyPropertiesFrom(const TTrueImage& Source);
  void CopyPropertiesTo(TTrueImage& Dest) const;
  void BeginUpdate();
  void EndUpdate();

  // Conversions (Assign picks one).
  void AssignBitmap32(const TCustomBitmap32& B);
  void AssignGraphic(const TToolkitGraphic& G);
  void AssignTrueImage(const TTrueImage& T);
  // A PNG with alpha (a TPngImage of colour type 6 comes here as its
  // image; any QImage, read as straight ARGB): alpha 0 gives the pixel 0.
  void AssignPngImage(const QImage& P);
  // By the image's format: ARGB32 (straight) copied, ARGB32_Premultiplied
  // un-premultiplied through UnpremulTable, anything else opaque.
  void AssignDIB32(const QImage& B);
  void AssignPicture(const TPicture& P);
  // R of Bitmap (clipped to it; empty gives an empty image); PremulAlpha
  // un-premultiplies the colours.
  void AssignFromHBitmap(const QImage& Bitmap, TRect R, bool PremulAlpha);

  // Draws SourceRect of the image into DestRect of DC at Opacity. A memory
  // context: with Opaque and equal sizes a plain copy (alpha included);
  // otherwise the destination's pixels are blended with (or, Opaque,
  // replaced by) the image scaled through the resampler. A painter context
  // cannot be read back: opaque drawing copies ignoring alpha, other drawing
  // blends the same colours SourceOver. Nothing for an empty rectangle.
  void PaintTo(HDC DC, const TRect& DestRect, const TRect& SourceRect, std::uint8_t Opacity, bool Opaque) const;

  std::unique_ptr<TBitmap> ExportBitmap() const;
  void ExportBitmap(TBitmap& Dest) const;
  // Alpha a' = Premul[MasterAlpha][a], colours Premul[a'][c].
  std::unique_ptr<TBitmap> ExportBitmapPremul() const;
  // Format_ARGB32 of the pixels as they are; master alpha not applied.
  QImage ExportPNG() const;
  std::unique_ptr<TTrueImage> Extract(const TRect& R) const;
  void ExtractTo(TTrueImage& Dest, const TRect& R) const;

  void Clear(TTrueColor cl);
  void ChangeIntensity(const TIntensityMap& Map);
  // map[i] = Round(clamp((pow(i/255, gamma) - 0.5) * contrast + 0.5 +
  // brightness, 0, 1) * 255) in single floats; NaN counts as 0.
  void GammaBrightnessContrast(float Gamma, float Brightness, float Contrast);

  PTrueColor ScanLine(int Line) const;
  PTrueColor PixelPtr(int X, int Y) const;
  PTrueColor Bits() const;
  int nPixels() const;
  std::uint8_t MasterAlpha() const;
  void SetMasterAlpha(std::uint8_t Value);
  TResamplingMode ResampleMode() const { return FResampleMode; }
  void SetResampleMode(TResamplingMode Value);
  TBitmap32& BMP32() const { return *FBmp32; }
  TCanvas* Canvas() const { return FBmp32->Canvas(); }
  std::ptrdiff_t LockChange() const { return FLockChange; }

  TNotifyEvent OnChanged;  // never fired by the image

 private:
  void BitmapChanged();
  void BlendIntoSurface(TDIBSection& Surface, const TRect& DestRect, const TRect& SourceRect,
                        std::uint8_t Opacity) const;

  TResamplingMode FResampleMode = rmLinear;
  std::ptrdiff_t FLockChange = 0;
  std::unique_ptr<TBitmap32> FBmp32;
  // Set while PaintTo adjusts the bitmap for one paint: those changes are
  // not changes of the image.
  mutable int FSilent = 0;
};

// Start-up: the premultiply tables, then "ARGB" ("ARGB True Image") as a
// picture file format and CF_ARGB as a picture clipboard format. Shut-down
// unregisters both.
void TrueImagesStartup();
void TrueImagesShutdown();

}  // namespace velkor
