// The cached custom control: the base of the library's custom-drawn
// controls (the panel, the group box, the fast gauge).
//
// How the true-image cache works. A control never paints its face straight
// onto the screen. Its whole face is drawn into FCache, a TTrueImage of
// exactly the widget's size, by one virtual RenderCache; paintEvent only
// copies that image onto the widget. NeedCache records that something
// visible changed since the last render:
//  - a resize resizes the cache, sets NeedCache and schedules a paint; a move
//    at the same size does nothing at all;
//  - a font, palette, enabled, style or application-palette change, a new
//    caption and a new colour set NeedCache and schedule a paint;
//  - paintEvent renders only when NeedCache is set and clears it, so any
//    number of paints after one change render once, and a paint after no
//    change is one block copy.
// The copy ignores the cache's alpha (the pixels are viewed as RGB32), as a
// block transfer to the screen does: frame rings stored with alpha 128 must
// not blend with what lies beneath. Nothing is erased first; the cache
// covers the whole widget.
// RenderCache and GetInsideRect are virtual and are never called from the
// base constructor (C++ would not reach a descendant's override there): a
// new control has NeedCache set and renders at its first paint. The inside
// rectangle becomes the widget's contents margins, so layouts and filling
// children stay inside the decoration.
#pragma once

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "components/TrueImages.h"
#include "toolkit/Colors.h"

namespace velkor {

class TVQR_CustomControl : public QWidget {
 public:
  explicit TVQR_CustomControl(QWidget* Parent = nullptr);
  ~TVQR_CustomControl() override;

  // The cache's master alpha. Stored and repainted; the opaque copy of the
  // paint does not use it.
  std::uint8_t Opacity() const;
  void SetOpacity(std::uint8_t Value);

  // The face colour (the toolkit's TColor, system colours allowed).
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  // The caption; a change re-renders the face.
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);

  // Draws the face into Image. This class only sizes Image to the widget;
  // descendants call it first and then draw.
  virtual void RenderCache(TTrueImage& Image);
  // The area inside the decoration: here the whole control.
  virtual TRect GetInsideRect() const;

  // A new image holding a copy of the cache.
  std::unique_ptr<TTrueImage> ExportCache() const;

  bool NeedCache = false;

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void changeEvent(QEvent* Event) override;

  // Marks the face stale and schedules a paint.
  void Invalidate();
  // Re-applies GetInsideRect as the contents margins and has the layout
  // place the children again.
  void Realign();
  // Brings the cache to the widget's size; a new size marks the face stale.
  void SyncCacheSize();
  // Renders the face now when it is stale.
  void RenderIfNeeded();

  std::unique_ptr<TTrueImage> FCache;

 private:
  TColor FColor = clBtnFace;
  std::string FCaption;
};

}  // namespace velkor
