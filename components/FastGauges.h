// A horizontal progress bar built to be updated very often: a new value is
// stored always, but the face is rendered again (through the control's
// true-image cache) and the widget repainted only when the bar's width in
// pixels changes. Nothing is erased before a paint: the cache covers the
// whole widget.
#pragma once

#include <cstdint>

#include "components/Controls.h"

namespace velkor {

// The bar's width in pixels for a gauge AWidth wide: 0 when AWidth - 4 < 0
// or AMin = AMax, else the position (kept in the range) over the range,
// scaled to AWidth - 4 with a rounded 64-bit multiply-divide.
int GetBarSize(int AMin, int AMax, int APos, int AWidth);

class TVQR_FastGauge : public TVQR_CustomControl {
 public:
  explicit TVQR_FastGauge(QWidget* Parent = nullptr);

  // A position outside [AVMin, AVMax] makes the whole call do nothing.
  void Set3(int AVMin, int AVMax, int AVPos);
  void Get3(int& AVMin, int& AVMax, int& AVPos) const;

  int VMin() const { return FVMin; }
  void SetVMin(int Value);
  int VMax() const { return FVMax; }
  void SetVMax(int Value);
  int VPos() const { return FVPos; }
  void SetVPos(int Value);
  // The position as a fraction of the range (0 for an empty range). A new
  // fraction is kept in [0, 1] (NaN counts as 0) and rounded to a position,
  // halves to even.
  double RealPos() const;
  void SetRealPos(double Value);

  TColor ColorProgress() const { return FColorProgress; }
  void SetColorProgress(TColor Value);
  TColor ColorFrame() const { return FColorFrame; }
  void SetColorFrame(TColor Value);

  void RenderCache(TTrueImage& Image) override;

 private:
  int FVMin = 0;
  int FVMax = 100;
  int FVPos = 0;
  TColor FColorProgress = clHighlight;
  TColor FColorFrame = clActiveBorder;
};

}  // namespace velkor
