#include "components/Images.h"

#include <QPainter>

#include "components/LowLevel.h"

namespace velkor {

TImgBox::TImgBox(QWidget* Parent) : QWidget(Parent) {
  setCursor(Qt::ArrowCursor);
  setGeometry(0, 0, 32, 32);
  setAutoFillBackground(false);
}

TVQR_Image::TVQR_Image(QWidget* Parent) : TImgBox(Parent), FPicture(std::make_unique<TPicture>()) {
  FPicture->OnChange = [this](TObject*) { update(); };
}

TVQR_Image::~TVQR_Image() { FPicture->OnChange = nullptr; }

void TVQR_Image::SetPicture(const TPicture* Value) {
  const TToolkitGraphic* graphic = Value ? Value->Graphic() : nullptr;
  if (graphic && !graphic->Empty() && !dynamic_cast<const TTrueImage*>(graphic)) {
    std::unique_ptr<TTrueImage> converted = TTrueImage::CreateFrom(Value);
    FPicture->Assign(converted.get());
  } else {
    FPicture->Assign(Value);
  }
}

TTrueImage* TVQR_Image::TrueImage() const { return dynamic_cast<TTrueImage*>(FPicture->Graphic()); }

void TVQR_Image::SetOpaque(bool Value) {
  if (Value == FOpaque) return;
  FOpaque = Value;
  update();
}

void TVQR_Image::SetDrawMode(TDrawMode Value) {
  if (Value == FDrawMode) return;
  FDrawMode = Value;
  if (Value == TDrawMode::dmAutoSize) SetBounds(x(), y(), width(), height());
  update();
}

void TVQR_Image::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const TToolkitGraphic* graphic = FPicture->Graphic();
  if (FDrawMode == TDrawMode::dmAutoSize && graphic && !graphic->Empty()) {
    AWidth = graphic->Width();
    AHeight = graphic->Height();
  }
  setGeometry(ALeft, ATop, std::max(AWidth, 0), std::max(AHeight, 0));
}

TRect TVQR_Image::DestRect() const {
  const int pw = FPicture->Width(), ph = FPicture->Height();
  const int W = width(), H = height();
  switch (FDrawMode) {
    case TDrawMode::dmNone:
    case TDrawMode::dmAutoSize:
      return {0, 0, pw, ph};
    case TDrawMode::dmCenter: {
      const int dx = (W - pw) / 2, dy = (H - ph) / 2;
      return {dx, dy, dx + pw, dy + ph};
    }
    case TDrawMode::dmStretch:
      return {0, 0, W, H};
    case TDrawMode::dmScale: {
      if (pw == 0 || ph == 0) return {0, 0, 0, 0};
      int w = W, h = H;
      if (double(H) / ph > double(W) / pw)
        h = LowLevel::MulDivRounded(W, ph, pw);
      else
        w = LowLevel::MulDivRounded(H, pw, ph);
      const int dx = (W - w) / 2, dy = (H - h) / 2;
      return {dx, dy, dx + w, dy + h};
    }
  }
  return {0, 0, 0, 0};
}

void TVQR_Image::paintEvent(QPaintEvent*) {
  const TTrueImage* image = TrueImage();
  if (!image || image->Width() == 0 || image->Height() == 0) return;
  QPainter painter(this);
  TDeviceContext dc(&painter);
  image->PaintTo(&dc, DestRect(), {0, 0, image->Width(), image->Height()}, 255, FOpaque);
}

}  // namespace velkor
