#include "components/Controls.h"

#include <QEvent>
#include <QLayout>
#include <QPainter>

namespace velkor {

TVQR_CustomControl::TVQR_CustomControl(QWidget* Parent) : QWidget(Parent), FCache(std::make_unique<TTrueImage>()) {
  setCursor(Qt::ArrowCursor);
  setGeometry(0, 0, 0, 0);
  NeedCache = true;
}

TVQR_CustomControl::~TVQR_CustomControl() = default;

std::uint8_t TVQR_CustomControl::Opacity() const { return FCache->MasterAlpha(); }

void TVQR_CustomControl::SetOpacity(std::uint8_t Value) {
  if (Value == FCache->MasterAlpha()) return;
  FCache->SetMasterAlpha(Value);
  update();
}

void TVQR_CustomControl::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  Invalidate();
}

void TVQR_CustomControl::SetCaption(const std::string& Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  Invalidate();
}

void TVQR_CustomControl::RenderCache(TTrueImage& Image) { Image.SetSize(width(), height()); }

TRect TVQR_CustomControl::GetInsideRect() const { return {0, 0, width(), height()}; }

std::unique_ptr<TTrueImage> TVQR_CustomControl::ExportCache() const {
  auto copy = std::make_unique<TTrueImage>();
  copy->Assign(FCache.get());
  return copy;
}

void TVQR_CustomControl::Invalidate() {
  NeedCache = true;
  update();
}

void TVQR_CustomControl::Realign() {
  const TRect r = GetInsideRect();
  setContentsMargins(r.Left, r.Top, width() - r.Right, height() - r.Bottom);
  if (layout()) layout()->invalidate();
}

void TVQR_CustomControl::SyncCacheSize() {
  if (FCache->Width() == width() && FCache->Height() == height()) return;
  FCache->SetSize(width(), height());
  NeedCache = true;
}

void TVQR_CustomControl::RenderIfNeeded() {
  SyncCacheSize();
  if (!NeedCache) return;
  RenderCache(*FCache);
  NeedCache = false;
}

void TVQR_CustomControl::paintEvent(QPaintEvent*) {
  RenderIfNeeded();
  const int w = FCache->Width(), h = FCache->Height();
  if (w <= 0 || h <= 0) return;
  // A view of the cache's words as RGB32: the alpha byte is ignored.
  const QImage face(reinterpret_cast<const uchar*>(FCache->Bits()), w, h, w * 4, QImage::Format_RGB32);
  QPainter painter(this);
  painter.drawImage(0, 0, face);
}

void TVQR_CustomControl::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  if (FCache->Width() != width() || FCache->Height() != height()) {
    SyncCacheSize();
    update();
  }
  Realign();
}

void TVQR_CustomControl::changeEvent(QEvent* Event) {
  QWidget::changeEvent(Event);
  switch (Event->type()) {
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
    case QEvent::StyleChange:
    case QEvent::ApplicationPaletteChange:
      Invalidate();
      break;
    default:
      break;
  }
}

}  // namespace velkor
