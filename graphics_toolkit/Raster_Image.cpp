#include "graphics_toolkit/Raster_Image.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <climits>
#include <exception>

#include "graphics/Raster_MicroTiles.h"
#include "toolkit/ToolkitGraphics.h"

namespace velkor::Raster_Image {

namespace {

std::unique_ptr<Raster_RepaintOpt::TCustomRepaintOptimizer> MakeMicroTilesOptimizer(
    TBitmap32* Buffer, Raster_Containers::TRectList* InvalidRects) {
  return std::make_unique<Raster_MicroTiles::TMicroTilesRepaintOptimizer>(Buffer, InvalidRects);
}

QRect ToQRect(const TRect& R) { return QRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top); }

// The new buffer extent for a viewport extent W and a buffer extent B.
int NextBufferExtent(int W, int B, int Oversize) {
  W = std::max(W, 0);
  long long next = B;
  if (B < W) {
    next = static_cast<long long>(W) + Oversize;
  } else if (static_cast<long long>(W) < static_cast<long long>(B) - Oversize) {
    next = W;
  }
  return static_cast<int>(std::clamp<long long>(next, 1, INT_MAX));
}

bool IsArrowKey(int Key) {
  return Key == Qt::Key_Left || Key == Qt::Key_Right || Key == Qt::Key_Up || Key == Qt::Key_Down;
}

// Qt event handlers must not let exceptions through: a failed buffer
// allocation or copy is reported and the event ends.
template <class F>
void Guarded(const char* What, F&& Work) {
  try {
    Work();
  } catch (const std::exception& E) {
    qWarning("TCustomPaintBox32: %s failed: %s", What, E.what());
  }
}

// Locks a thread-persistent object for one scope.
class TScopedLock {
 public:
  explicit TScopedLock(TThreadPersistent& Object) : FObject(Object) { FObject.Lock(); }
  ~TScopedLock() { FObject.Unlock(); }
  TScopedLock(const TScopedLock&) = delete;
  TScopedLock& operator=(const TScopedLock&) = delete;

 private:
  TThreadPersistent& FObject;
};

}  // namespace

TRepaintOptimizerClass RepaintOptimizerClass = MakeMicroTilesOptimizer;

TCustomPaintBox32::TCustomPaintBox32(QWidget* Parent) : QWidget(Parent), FBuffer(New<TBitmap32>()) {
  if (RepaintOptimizerClass) FRepaintOptimizer = RepaintOptimizerClass(FBuffer.get(), &FInvalidRects);
  // Every pixel is copied from the buffer: nothing to erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::TabFocus);
  resize(192, 192);
}

TCustomPaintBox32::~TCustomPaintBox32() {
  FRepaintOptimizer.reset();
  FBuffer->OnAreaChanged = nullptr;
}

TRect TCustomPaintBox32::GetViewportRect() const { return {0, 0, width(), height()}; }

void TCustomPaintBox32::SetBufferOversize(int Value) {
  Value = std::max(Value, 0);
  if (Value == FBufferOversize) return;
  FBufferOversize = Value;
  AdjustBufferSize();
  FBufferValid = false;
}

void TCustomPaintBox32::SetRepaintMode(TRepaintMode Value) {
  switch (Value) {
    case rmDirect:
      FBuffer->OnAreaChanged = [this](TPersistent* Sender, const TRect& Area, std::uint32_t Info) {
        DirectAreaChanged(Sender, Area, Info);
      };
      break;
    case rmOptimizer:
      if (!FRepaintOptimizer) return;
      FBuffer->OnAreaChanged = [Optimizer = FRepaintOptimizer.get()](TPersistent* Sender, const TRect& Area,
                                                                   std::uint32_t Info) {
        Optimizer->AreaUpdateHandler(Sender, Area, Info);
      };
      break;
    case rmFull:
      FBuffer->OnAreaChanged = nullptr;
      break;
  }
  if (FRepaintOptimizer) FRepaintOptimizer->SetEnabled(Value == rmOptimizer);
  FRepaintMode = Value;
  Invalidate();
}

void TCustomPaintBox32::DirectAreaChanged(TPersistent*, const TRect& Area, std::uint32_t) {
  FInvalidRects.Add(Area);
  if (!FCanvas) Repaint();
}

void TCustomPaintBox32::AdjustBufferSize() {
  const int oldWidth = FBuffer->Width(), oldHeight = FBuffer->Height();
  const int newWidth = NextBufferExtent(width(), oldWidth, FBufferOversize);
  const int newHeight = NextBufferExtent(height(), oldHeight, FBufferOversize);
  if (newWidth == oldWidth && newHeight == oldHeight) return;
  {
    TScopedLock lock(*FBuffer);
    FBuffer->SetSize(newWidth, newHeight);
  }
  BufferSizeChanged(oldWidth, oldHeight);
  ForceFullInvalidate();
}

void TCustomPaintBox32::BufferSizeChanged(int, int) {
  if (OptimizerEnabled()) FRepaintOptimizer->BufferResizedHandler(FBuffer->Width(), FBuffer->Height());
}

void TCustomPaintBox32::Invalidate() {
  FBufferValid = false;
  if (!WantsDirectRepaint()) {
    update();
  } else if (!FDirectRepaintPosted) {
    // Changes collected by the optimiser: one posted repaint of just their
    // rectangles, however many invalidations come before it.
    FDirectRepaintPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          FDirectRepaintPosted = false;
          RepaintInvalidRects(false);
        },
        Qt::QueuedConnection);
  }
}

void TCustomPaintBox32::RepaintInvalidRects(bool Now) {
  // Settles the invalid list before the paint event (the paint finds the
  // buffer valid and copies that list), so that Qt repaints and flushes
  // only those rectangles and not the whole window.
  QRegion region;
  Guarded("repaint", [&] {
    if (!FBufferValid) {
      IPaintSupport* support = BackendInterface<IPaintSupport>(FBuffer->Backend());
      if (support) support->ImageNeeded();
      ValidateBuffer();
      if (support) support->CheckPixmap();
    }
    if (FInvalidRects.Count() == 0 || !HasInvalidRects()) {
      region = rect();
    } else {
      for (int i = 0; i < FInvalidRects.Count(); ++i) region += ToQRect(*FInvalidRects.Get(i)) & rect();
    }
  });
  if (region.isEmpty()) return;
  if (Now) {
    repaint(region);
  } else {
    update(region);
  }
}

void TCustomPaintBox32::ForceFullInvalidate() {
  if (OptimizerEnabled()) FRepaintOptimizer->Reset();
  FForceFullRepaint = true;
  Invalidate();
}

void TCustomPaintBox32::Repaint() {
  FBufferValid = false;  // as an invalidation does
  // The optimiser's rectangles, or the areas reported in rmDirect, are
  // known before the paint: only they are repainted.
  if (WantsDirectRepaint() || FRepaintMode == rmDirect) {
    RepaintInvalidRects(true);
  } else {
    repaint();
  }
}

void TCustomPaintBox32::Flush() { Flush(GetViewportRect()); }

void TCustomPaintBox32::Flush(const TRect& SrcRect) {
  if (!Supports<IDeviceContextSupport>(FBuffer->Backend()) || !FBuffer->Handle()) return;
  if (FCanvas) {
    CopyBuffer(SrcRect);
  } else {
    // Qt paints only inside a paint event: ask for one now.
    FPendingFlush = SrcRect;
    repaint(ToQRect(SrcRect));
  }
}

void TCustomPaintBox32::CopyBuffer(const TRect& SrcRect) {
  if (!FCanvas || !FCanvas->Handle()) return;
  // Canvas first, then buffer: a thread drawing into the buffer under its
  // lock is kept out of the copy.
  FCanvas->Lock();
  TScopedLock lock(*FBuffer);
  const TRect view = GetViewportRect();
  BitBlt(FCanvas->Handle(), SrcRect.Left + view.Left, SrcRect.Top + view.Top, SrcRect.Right - SrcRect.Left,
         SrcRect.Bottom - SrcRect.Top, FBuffer->Handle(), SrcRect.Left, SrcRect.Top, SRCCOPY);
  FCanvas->Unlock();
}

bool TCustomPaintBox32::WantsDirectRepaint() {
  return OptimizerEnabled() && !FForceFullRepaint && FRepaintOptimizer->UpdatesAvailable();
}

bool TCustomPaintBox32::HasInvalidRects() { return true; }

void TCustomPaintBox32::PrepareInvalidRects() {
  if (OptimizerEnabled() && !FForceFullRepaint) FRepaintOptimizer->PerformOptimization();
}

void TCustomPaintBox32::ValidateBuffer() {
  if (FForceFullRepaint) {
    FForceFullRepaint = false;
    FInvalidRects.Clear();  // empty: copy everything
  } else {
    PrepareInvalidRects();
  }
  FBufferValid = true;
}

void TCustomPaintBox32::PaintOverlay() {
  if (OnGDIOverlay) OnGDIOverlay(this);
}

void TCustomPaintBox32::MouseEntered() {
  FMouseInControl = true;
  if (OnMouseEnter) OnMouseEnter(this);
}

void TCustomPaintBox32::MouseLeft() {
  FMouseInControl = false;
  if (OnMouseLeave) OnMouseLeave(this);
}

void TCustomPaintBox32::Paint() {
  if (!FCanvas) return;  // no device to paint on
  const bool optimized = OptimizerEnabled();
  if (optimized) FRepaintOptimizer->BeginPaint();
  IPaintSupport* support = BackendInterface<IPaintSupport>(FBuffer->Backend());
  if (!FBufferValid) {
    if (support) support->ImageNeeded();
    ValidateBuffer();
    if (support) support->CheckPixmap();
  }
  {
    TScopedLock lock(*FBuffer);
    if (support) {
      support->DoPaint(FBuffer.get(), &FInvalidRects, FCanvas, this);
    } else {
      // A buffer on the memory backend (the toolkit has not started):
      // the same copy from its pixels.
      const QImage pixels(reinterpret_cast<const uchar*>(FBuffer->Bits()), FBuffer->Width(), FBuffer->Height(),
                          FBuffer->Width() * 4, QImage::Format_ARGB32);
      auto copy = [&](const TRect& R) { DrawImageTo(FCanvas->Handle(), R, pixels.copy(ToQRect(R)), false); };
      if (FInvalidRects.Count() == 0) {
        if (!pixels.isNull()) copy(GetViewportRect());
      } else if (!pixels.isNull()) {
        for (int i = 0; i < FInvalidRects.Count(); ++i) copy(*FInvalidRects.Get(i));
      }
    }
  }
  PaintOverlay();
  if (optimized) FRepaintOptimizer->EndPaint();
  FInvalidRects.Clear();
  FForceFullRepaint = false;
}

void TCustomPaintBox32::AssignTo(TCustomPaintBox32* Dest) const {
  if (!Dest || Dest == this) return;
  Dest->FBuffer->Assign(FBuffer.get());
  Dest->FBufferOversize = FBufferOversize;
  Dest->FBufferValid = FBufferValid;
  Dest->FRepaintMode = FRepaintMode;
  Dest->FForceFullRepaint = FForceFullRepaint;
  Dest->FOptions = FOptions;
  Dest->OnGDIOverlay = OnGDIOverlay;
  Dest->OnMouseEnter = OnMouseEnter;
  Dest->OnMouseLeave = OnMouseLeave;
}

// --- Qt's side ----------------------------------------------------------------------------

void TCustomPaintBox32::paintEvent(QPaintEvent* Event) {
  QPainter painter(this);
  TDeviceContext dc(&painter);
  TCanvas canvas;
  canvas.SetHandle(&dc);
  FCanvas = &canvas;
  Guarded("paint", [&] {
    bool paint = true;
    if (FPendingFlush) {
      const TRect flushed = *FPendingFlush;
      FPendingFlush.reset();
      CopyBuffer(flushed);
      // Only the flushed rectangle was asked for: no paint of its own.
      paint = !(Event->region() - QRegion(ToQRect(flushed))).isEmpty();
    }
    if (paint) Paint();
  });
  FCanvas = nullptr;
}

void TCustomPaintBox32::showEvent(QShowEvent* Event) {
  // A window that appears shows nothing yet: all of it must be copied,
  // whatever the invalid list holds.
  if (OptimizerEnabled()) FRepaintOptimizer->Reset();
  FForceFullRepaint = true;
  FBufferValid = false;
  QWidget::showEvent(Event);
}

void TCustomPaintBox32::resizeEvent(QResizeEvent* Event) {
  Guarded("resize", [&] { AdjustBufferSize(); });
  FBufferValid = false;
  QWidget::resizeEvent(Event);
}

void TCustomPaintBox32::mousePressEvent(QMouseEvent* Event) {
  if ((FOptions & pboAutoFocus) && focusPolicy() != Qt::NoFocus && !hasFocus()) setFocus(Qt::MouseFocusReason);
  QWidget::mousePressEvent(Event);
}

bool TCustomPaintBox32::event(QEvent* Event) {
  if (Event->type() == QEvent::KeyPress && IsArrowKey(static_cast<QKeyEvent*>(Event)->key()) &&
      !(FOptions & pboWantArrowKeys)) {
    // Not ours: the parent may move the focus with it.
    Event->ignore();
    return false;
  }
  return QWidget::event(Event);
}

void TCustomPaintBox32::keyPressEvent(QKeyEvent* Event) {
  if (OnKeyDown) {
    OnKeyDown(this, Event->key());
    Event->accept();
  } else if (IsArrowKey(Event->key())) {
    Event->accept();  // wanted (pboWantArrowKeys), even when nobody listens
  } else {
    QWidget::keyPressEvent(Event);
  }
}

void TCustomPaintBox32::enterEvent(QEnterEvent* Event) {
  QWidget::enterEvent(Event);
  MouseEntered();
}

void TCustomPaintBox32::leaveEvent(QEvent* Event) {
  MouseLeft();
  QWidget::leaveEvent(Event);
}

}  // namespace velkor::Raster_Image
