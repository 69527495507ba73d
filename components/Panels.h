// The container controls drawn through the true-image cache: a parent
// control that holds children, the panel (frame, outside bevel, flat
// border, inside bevel around a flat face) and the group box (the same
// frame and bevels with a caption header in a vertical gradient).
#pragma once

#include <cstdint>

#include "components/Controls.h"

namespace velkor {

// A non-negative integer.
using TPosInt = std::int32_t;
enum TBevelType { btRaised, btSunken };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// A cached control for children, 80 x 80.
class TVQR_ParentControl : public TVQR_CustomControl {
 public:
  explicit TVQR_ParentControl(QWidget* Parent = nullptr);
};

class TVQR_Panel : public TVQR_ParentControl {
 public:
  explicit TVQR_Panel(QWidget* Parent = nullptr);

  TPosInt BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(TPosInt Value);
  TBevelType BevelType() const { return FBevelType; }
  void SetBevelType(TBevelType Value);
  TColor FrameColor() const { return FFrameColor; }
  void SetFrameColor(TColor Value);
  TPosInt OutsideBevelWidth() const { return FOutsideBevelWidth; }
  void SetOutsideBevelWidth(TPosInt Value);
  TPosInt InsideBevelWidth() const { return FInsideBevelWidth; }
  void SetInsideBevelWidth(TPosInt Value);
  TPosInt FrameWidth() const { return FFrameWidth; }
  void SetFrameWidth(TPosInt Value);

  void RenderCache(TTrueImage& Image) override;
  TRect GetInsideRect() const override;

 private:
  void SetWidthField(TPosInt& Field, TPosInt Value);
  void RenderNow();

  TPosInt FBorderWidth = 1;
  TBevelType FBevelType = btRaised;
  TColor FFrameColor = clWindowFrame;
  TPosInt FOutsideBevelWidth = 4;
  TPosInt FInsideBevelWidth = 1;
  TPosInt FFrameWidth = 1;
};

class TVQR_GroupBox : public TVQR_ParentControl {
 public:
  explicit TVQR_GroupBox(QWidget* Parent = nullptr);

  TPosInt HeaderHeight() const { return FHeaderHeight; }
  void SetHeaderHeight(TPosInt Value);
  TColor FrameColor() const { return FFrameColor; }
  void SetFrameColor(TColor Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  TPosInt OutsideBevelWidth() const { return FOutsideBevelWidth; }
  void SetOutsideBevelWidth(TPosInt Value);
  TPosInt InsideBevelWidth() const { return FInsideBevelWidth; }
  void SetInsideBevelWidth(TPosInt Value);
  TPosInt FrameWidth() const { return FFrameWidth; }
  void SetFrameWidth(TPosInt Value);
  TPosInt BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(TPosInt Value);
  // Stored only: a change shows at the next render.
  TColor CaptionTextColor() const { return FCaptionTextColor; }
  void SetCaptionTextColor(TColor Value) { FCaptionTextColor = Value; }
  TColor CaptionColor() const { return FCaptionColor; }
  void SetCaptionColor(TColor Value) { FCaptionColor = Value; }

  void RenderCache(TTrueImage& Image) override;
  TRect GetInsideRect() const override;

 private:
  void SetWidthField(TPosInt& Field, TPosInt Value);
  void RenderNow();

  TPosInt FHeaderHeight = 20;
  TColor FFrameColor = clWindowFrame;
  TAlignment FAlignment = taCenter;
  TPosInt FOutsideBevelWidth = 2;
  TPosInt FInsideBevelWidth = 1;
  TPosInt FFrameWidth = 1;
  TPosInt FBorderWidth = 1;
  TColor FCaptionTextColor = clCaptionText;
  TColor FCaptionColor = clActiveCaption;
};

}  // namespace velkor
