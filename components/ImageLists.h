// The image list of the program's actions and grids: 32-bit images with
// alpha, all Width x Height, drawn at their own size and half transparent
// when disabled. Its "handle" is its storage, allocated by the first image
// added (or by HandleNeeded); without it nothing is drawn.
#pragma once

#include <QIcon>

#include <cstdint>
#include <memory>
#include <vector>

#include "components/TrueImages.h"
#include "toolkit/Colors.h"

class QPainter;

namespace velkor {

enum TColorDepth : std::uint8_t { cdDeviceDependent, cd4Bit, cd8Bit, cd16Bit, cd24Bit, cd32Bit };
// How an image is drawn: normal and transparent with its alpha, focused
// blended 25 % and selected 50 % toward what lies beneath.
enum TDrawingStyle : std::uint8_t { dsFocus, dsSelected, dsNormal, dsTransparent };

class TVQR_ImageList {
 public:
  TVQR_ImageList(int Width = 16, int Height = 16);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // A new size empties the list.
  void SetWidth(int Value);
  void SetHeight(int Value);
  void SetSize(int W, int H);
  TColor BkColor() const { return FBkColor; }
  void SetBkColor(TColor Value) { FBkColor = Value; }
  TColor BlendColor() const { return FBlendColor; }
  void SetBlendColor(TColor Value) { FBlendColor = Value; }
  TColorDepth ColorDepth() const { return FColorDepth; }
  bool Masked() const { return FMasked; }

  bool HandleAllocated() const { return FAllocated; }
  void HandleNeeded() { FAllocated = true; }

  int Count() const { return static_cast<int>(FImages.size()); }
  // Adds Image cut into Width x Height cells from left to right (a strip
  // adds several images; a smaller one is placed top left on transparent
  // pixels). Returns the index of the first image added, -1 for an empty
  // image.
  int Add(const TTrueImage& Image);
  void Delete(int Index);
  void Clear();
  // Image Index, nullptr outside 0..Count-1.
  const TTrueImage* Image(int Index) const;
  // Image Index for an action or a menu; an empty icon outside the range.
  QIcon Icon(int Index) const;

  // Draws image Index with its top left at (X, Y), at its own size and with
  // its alpha; at half opacity when Enabled is false. Nothing without
  // storage or for an index outside 0..Count-1.
  void Draw(QPainter& Painter, int X, int Y, int Index, bool Enabled = true) const;
  virtual void DoDraw(int Index, QPainter& Painter, int X, int Y, TDrawingStyle Style, bool Enabled) const;

  virtual ~TVQR_ImageList() = default;

 private:
  int FWidth, FHeight;
  TColor FBkColor = clNone;
  TColor FBlendColor = clNone;
  TColorDepth FColorDepth = cd32Bit;
  bool FMasked = false;
  bool FAllocated = false;
  std::vector<std::unique_ptr<TTrueImage>> FImages;
};

}  // namespace velkor
