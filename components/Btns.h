// Owner-drawn push buttons. TSmartBtn shows a true-colour glyph (or its
// action's image-list image) and a caption placed against each other by a
// TControlPosition, with a frame from the visual style or a classic one,
// and offers standard kinds with their captions and modal results.
// TSmartToolBtn is the square tool-bar variant. TButtonGlyph keeps every
// picture given to it as a TTrueImage.
//
// Everything is painted in paintEvent; the layout is a free function of
// the button's state (CalcLayout), so tests call it directly.
#pragma once

#include <QAction>
#include <QImage>

#include <functional>
#include <memory>

#include "components/AlignRoutines.h"
#include "components/ImageLists.h"
#include "components/TrueImages.h"
#include "toolkit/Forms.h"
#include "toolkit/ToolkitGraphics.h"

namespace velkor {

enum TSmartBtnKind {
  sbkCustom, sbkOK, sbkCancel, sbkHelp, sbkYes, sbkNo, sbkClose, sbkAbort, sbkRetry, sbkIgnore, sbkAll,
};

// The caption of Kind; empty for sbkCustom.
void SmartBtnKindCaption(TSmartBtnKind Kind, QString& Text);

// An action's image: the image list and the index it carries.
void SetActionImage(QAction* Action, TVQR_ImageList* List, int Index);
TVQR_ImageList* ActionImageList(const QAction* Action);
int ActionImageIndex(const QAction* Action);  // -1 when none

class TSmartBtn;

class TButtonGlyph {
 public:
  explicit TButtonGlyph(TSmartBtn* Client);
  ~TButtonGlyph();

  QAction* Action() const;
  TVQR_ImageList* ActImageList() const;
  TPicture& Picture() const { return *FPicture; }
  // Stores Value as a true image; nullptr or an empty picture empties it.
  void SetPicture(const TPicture* Value);
  TTrueImage* TrueImage() const;
  TBitmap32* Bmp32() const;
  // R of Bitmap as the glyph.
  void AssignFromHBitmap(const QImage& Bitmap, const TRect& R, bool PremulAlpha);

  bool EmptyPic() const;
  // No picture and no usable action image.
  bool Empty() const;
  bool HasActionImage() const;
  int Width() const;
  int Height() const;

  std::function<void()> OnChange;

 private:
  void PictureChanged();

  std::unique_ptr<TPicture> FPicture;
  TSmartBtn* FClient;
};

// Draws every button's frame classically, as on a desktop without visual
// styles (the default follows the style services).
void SetClassicButtonFrames(bool Value);

// Qt alignment flags of the caption for Layout.
int DrawTextFormat(TControlPosition Layout, bool WordWrap);

// The inputs of the layout, apart from the button.
struct TBtnLayoutInput {
  int Width = 80, Height = 32;
  TControlPosition Layout = atMiddleofLeft;
  int Margin = -1, Spacing = 4;
  int GlyphWidth = 0, GlyphHeight = 0;
  bool GlyphIsPicture = true;  // false: an action image, never scaled
};
// Glyph and text rectangles; Measure gives the caption's size within a
// width limit (never negative).
void CalcLayout(const TBtnLayoutInput& In, const std::function<QSize(int Limit)>& Measure, TRect& GlyphRect,
                TRect& TextRect);

class TSmartBtn : public TModalButton {
 public:
  explicit TSmartBtn(QWidget* Parent = nullptr);
  ~TSmartBtn() override;

  QString Caption() const { return FCaption; }
  virtual void SetCaption(const QString& Value);
  TPicture& Glyph() const { return FBtnGlyph->Picture(); }
  void SetGlyph(const TPicture* Value) { FBtnGlyph->SetPicture(Value); }
  TButtonGlyph& BtnGlyph() const { return *FBtnGlyph; }
  TControlPosition Layout() const { return FLayout; }
  void SetLayout(TControlPosition Value);
  int Margin() const { return FMargin; }
  void SetMargin(int Value);
  TSmartBtnKind Kind() const { return FKind; }
  void SetKind(TSmartBtnKind Value);
  int Spacing() const { return FSpacing; }
  void SetSpacing(int Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  QAction* Action() const { return FAction; }
  void SetAction(QAction* Value);

  bool UseRightToLeftAlignment() const;
  void CalcLayout(TRect& GlyphRect, TRect& TextRect) const;
  // Focus, then help, closing or the modal result and clicked.
  virtual void Click();

  QSize sizeHint() const override { return {80, 32}; }
  QSize minimumSizeHint() const override { return {0, 0}; }

 protected:
  // False for a button whose caption is only drawn (no Qt text, so no
  // mnemonic shortcut).
  bool FTextToQt = true;

  void paintEvent(QPaintEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void enterEvent(QEnterEvent* Event) override;
  void leaveEvent(QEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void keyReleaseEvent(QKeyEvent* Event) override;

 private:
  void ActionChange();
  void DrawFrame(QPainter& P, TRect& Content) const;
  void DrawGlyph(QPainter& P, const TRect& R) const;
  void DrawCaption(QPainter& P, const TRect& R) const;

  std::unique_ptr<TButtonGlyph> FBtnGlyph;
  TControlPosition FLayout = atMiddleofLeft;
  int FMargin = -1;
  TSmartBtnKind FKind = sbkCustom;
  int FSpacing = 4;
  bool FWordWrap = false;
  QString FCaption;
  QAction* FAction = nullptr;
  QMetaObject::Connection FActionChanged;
  bool FInClick = false;
};

// The square tool-bar button: 48 x 48, spacing 0, no tab stop. Its caption
// is drawn, never given to Qt as text, so no mnemonic shortcut exists.
class TSmartToolBtn : public TSmartBtn {
 public:
  explicit TSmartToolBtn(QWidget* Parent = nullptr);
  QSize sizeHint() const override { return {48, 48}; }
};

}  // namespace velkor
