// The paint box: a widget showing a TBitmap32 back buffer of (about) its
// own size. Application code draws into Buffer; the widget copies the
// buffer to the screen when it paints, whole or only the invalid
// rectangles.
//
// Buffer size. The buffer follows the widget's size with hysteresis
// BufferOversize (O): it grows to width + O when the widget outgrows it and
// shrinks to the widget's width only once that is more than O below the
// buffer's (the height likewise), so small resizes reallocate nothing. A
// buffer is at least 1 x 1. A size change forces a full repaint.
//
// Repaint modes decide which rectangles a paint copies:
//   rmFull       all of the viewport, every time;
//   rmDirect     every area the buffer reports as changed, as reported; a
//                change outside a paint repaints at once (synchronously);
//   rmOptimizer  the rectangles the repaint optimiser derives from the
//                buffer's (and its layers') change reports.
// An empty invalid list always means "copy the whole viewport"; the first
// paint after creation or ForceFullInvalidate is one.
//
// A descendant that composes the buffer (from layers, say) redraws it in
// ValidateBuffer, after the base has settled the invalid list: the areas in
// the list, or everything when it is empty, inside the buffer's
// BeginUpdate/EndUpdate (so that its own drawing is not collected as a
// change) and between the optimiser's BeginPaintBuffer and EndPaintBuffer.
// It calls Invalidate when its content changes.
//
// On Qt: the widget paints only in paintEvent, through a canvas on the
// event's QPainter, copying buffer pixels 1:1 with alpha ignored. It is
// opaque (WA_OpaquePaintEvent, WA_NoSystemBackground): nothing is erased
// before a paint, so whatever a partial copy leaves out keeps what the
// window last showed. Invalidation is update(), an immediate repaint is
// repaint(); when the rectangles to copy are known before the paint (the
// optimiser's, rmDirect's), the invalid list is settled first and Qt is
// asked to repaint only that region (an invalidation then posts one such
// repaint). Flush outside a paint asks for a repaint of just the flushed
// rectangle, which the next paint event copies from the buffer. Buffer
// pixels are widget pixels: on a screen with a device-pixel ratio above 1
// Qt scales the copy.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "graphics/Raster.h"
#include "graphics/Raster_Backends.h"
#include "graphics/Raster_Containers.h"
#include "graphics/Raster_RepaintOpt.h"

namespace velkor {

class TCanvas;

namespace Raster_Image {

enum TRepaintMode { rmFull, rmDirect, rmOptimizer };

// Makes a paint box's repaint optimiser over its buffer and invalid list.
using TRepaintOptimizerClass = std::unique_ptr<Raster_RepaintOpt::TCustomRepaintOptimizer> (*)(
    TBitmap32* Buffer, Raster_Containers::TRectList* InvalidRects);
// Every paint box made afterwards takes its optimiser from this one;
// initially the micro-tiles optimiser. nullptr: paint boxes without one
// (rmOptimizer is then refused).
extern TRepaintOptimizerClass RepaintOptimizerClass;

// A set of TPaintBoxOption bits.
enum TPaintBoxOption : std::uint8_t { pboWantArrowKeys = 1, pboAutoFocus = 2 };
using TPaintBoxOptions = std::uint8_t;

class TCustomPaintBox32 : public QWidget, public IPaintBoxViewport {
 public:
  // 192 x 192 with an empty buffer, rmFull and a pending full repaint. It
  // takes the focus by tabbing (and, with pboAutoFocus, by clicking).
  explicit TCustomPaintBox32(QWidget* Parent = nullptr);
  ~TCustomPaintBox32() override;

  TBitmap32* Buffer() const { return FBuffer.get(); }
  int BufferOversize() const { return FBufferOversize; }
  // Negative counts as 0; a change adjusts the buffer at once.
  void SetBufferOversize(int Value);
  TPaintBoxOptions Options() const { return FOptions; }
  void SetOptions(TPaintBoxOptions Value) { FOptions = Value; }
  bool MouseInControl() const { return FMouseInControl; }
  TRepaintMode RepaintMode() const { return FRepaintMode; }
  // rmOptimizer routes the buffer's change reports to the optimiser and
  // enables it; rmDirect to DirectAreaChanged; rmFull nowhere.
  virtual void SetRepaintMode(TRepaintMode Value);
  // Disabled unless the mode is rmOptimizer; nullptr without a class.
  Raster_RepaintOpt::TCustomRepaintOptimizer* RepaintOptimizer() const { return FRepaintOptimizer.get(); }

  // The rectangle of the widget the buffer is shown in: (0, 0, width,
  // height).
  TRect GetViewportRect() const override;
  // Resizes the buffer to follow the viewport (see the top of this file).
  void AdjustBufferSize();
  // The buffer's viewport rectangle (or SrcRect of it) onto the widget now.
  void Flush();
  void Flush(const TRect& SrcRect);
  // Marks the buffer's content stale and schedules a paint.
  virtual void Invalidate();
  // The next paint copies everything.
  virtual void ForceFullInvalidate();
  // Invalidates and paints now (only the known invalid rectangles when
  // the optimiser or rmDirect has them).
  void Repaint();

  // Another paint box takes a copy of the buffer and the settings; its
  // invalid list stays its own and its mode is taken without running its
  // setter.
  void AssignTo(TCustomPaintBox32* Dest) const;

  using TPaintBoxEvent = std::function<void(TCustomPaintBox32* Sender)>;
  TPaintBoxEvent OnMouseEnter;
  TPaintBoxEvent OnMouseLeave;
  // Draws over the copied buffer on Canvas().
  TPaintBoxEvent OnGDIOverlay;
  // A key the paint box takes (Qt::Key); arrow keys only with
  // pboWantArrowKeys, otherwise they go on to the parent.
  std::function<void(TCustomPaintBox32* Sender, int Key)> OnKeyDown;

  // True with the optimiser on, no full repaint pending and changes
  // collected: invalidation then posts one repaint of only the
  // optimiser's rectangles (settled before the paint event, so that Qt
  // repaints just them), and Repaint does the same at once.
  virtual bool WantsDirectRepaint();

  // The rectangles the next paint copies (empty: the whole viewport).
  const Raster_Containers::TRectList& InvalidRects() const { return FInvalidRects; }
  // The canvas of the paint in progress, else nullptr.
  TCanvas* Canvas() const { return FCanvas; }

 protected:
  bool OptimizerEnabled() const { return FRepaintOptimizer && FRepaintOptimizer->Enabled(); }
  // Whether a direct repaint may limit itself to the invalid list (True);
  // False repaints the whole widget region.
  virtual bool HasInvalidRects();
  virtual void PrepareInvalidRects();
  virtual void ValidateBuffer();
  virtual void PaintOverlay();
  virtual void BufferSizeChanged(int OldWidth, int OldHeight);
  virtual void MouseEntered();
  virtual void MouseLeft();
  // The copy protocol of one paint (see the top of this file); runs inside
  // paintEvent with Canvas() set.
  virtual void Paint();
  // A buffer area reported as changed, in rmDirect.
  void DirectAreaChanged(TPersistent* Sender, const TRect& Area, std::uint32_t Info);

  // Qt's side.
  void paintEvent(QPaintEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  bool event(QEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void enterEvent(QEnterEvent* Event) override;
  void leaveEvent(QEvent* Event) override;

  bool FBufferValid = false;
  bool FForceFullRepaint = true;
  Raster_Containers::TRectList FInvalidRects;

 private:
  void CopyBuffer(const TRect& SrcRect);
  void RepaintInvalidRects(bool Now);

  std::unique_ptr<TBitmap32> FBuffer;
  int FBufferOversize = 40;
  TRepaintMode FRepaintMode = rmFull;
  TPaintBoxOptions FOptions = 0;
  bool FMouseInControl = false;
  bool FDirectRepaintPosted = false;
  TCanvas* FCanvas = nullptr;
  // A Flush asked for outside a paint: copied by the next paint event.
  std::optional<TRect> FPendingFlush;
  // Last: it refers to the buffer and the list, and goes first.
  std::unique_ptr<Raster_RepaintOpt::TCustomRepaintOptimizer> FRepaintOptimizer;
};

}  // namespace Raster_Image
}  // namespace velkor
