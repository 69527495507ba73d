// A light-weight image control: its picture is always kept as a TTrueImage
// and drawn with per-pixel alpha over whatever lies beneath (nothing is
// filled first), in one of five placement modes.
#pragma once

#include <QWidget>

#include <memory>

#include "components/TrueImages.h"

namespace velkor {

// The base: 32 x 32, arrow cursor, transparent.
class TImgBox : public QWidget {
 public:
  explicit TImgBox(QWidget* Parent = nullptr);
};

class TVQR_Image : public TImgBox {
 public:
  enum class TDrawMode { dmNone, dmAutoSize, dmCenter, dmStretch, dmScale };

  explicit TVQR_Image(QWidget* Parent = nullptr);
  ~TVQR_Image() override;

  TPicture& Picture() const { return *FPicture; }
  // A non-empty graphic of another class is converted to a TTrueImage; a
  // TTrueImage is copied; an empty picture (or nullptr) empties the control.
  void SetPicture(const TPicture* Value);
  // The picture's graphic when it is a TTrueImage, else nullptr.
  TTrueImage* TrueImage() const;

  bool Opaque() const { return FOpaque; }
  void SetOpaque(bool Value);
  TDrawMode DrawMode() const { return FDrawMode; }
  void SetDrawMode(TDrawMode Value);

  // In dmAutoSize a picture with a size gives the control that size.
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);

  // Where the picture lands in the control for the current mode.
  TRect DestRect() const;

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  std::unique_ptr<TPicture> FPicture;
  bool FOpaque = false;
  TDrawMode FDrawMode = TDrawMode::dmNone;
};

}  // namespace velkor
