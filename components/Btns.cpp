#include "components/Btns.h"

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <qdrawutil.h>

#include <algorithm>

#include "components/CursorRoutines.h"
#include "components/FaceRoutines.h"
#include "components/LowLevel.h"
#include "core/Dialogs.h"
#include "toolkit/Colors.h"
#include "toolkit/VisualStyles.h"

namespace velkor {

namespace {

constexpr TColor kBtnText = SystemColorRef(18);

bool& ClassicFrames() {
  static bool Value = false;
  return Value;
}

struct TKindInfo {
  const char* Caption;
  int ModalResult;
  bool Default, Cancel;
};

const TKindInfo& KindInfo(TSmartBtnKind Kind) {
  static const TKindInfo Table[] = {
      {"", 0, false, false},           {"OK", mrOk, true, false},        {"Cancel", mrCancel, false, true},
      {"&Help", mrNone, false, false}, {"&Yes", mrYes, true, false},     {"&No", mrNo, false, true},
      {"&Close", mrNone, false, false}, {"Abort", mrAbort, false, false}, {"&Retry", mrRetry, false, false},
      {"&Ignore", mrIgnore, false, false}, {"&All", mrAll, false, false},
  };
  return Table[Kind];
}

QColor ToQColor(TColor C) { return QColor::fromRgba(ResolveColor(C)); }

QRect ToQRect(const TRect& R) { return QRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top); }

TRect ToTRect(const QRect& R) { return {R.left(), R.top(), R.left() + R.width(), R.top() + R.height()}; }

// The centred variant of an All place: the caption of an All layout sits
// in the middle of the glyph's side.
TControlPosition CentredVariant(TControlPosition P) {
  switch (P) {
    case atAllofTop: return atCenterofTop;
    case atAllofBottom: return atCenterofBottom;
    case atAllofLeft: return atMiddleofLeft;
    case atAllofRight: return atMiddleofRight;
    default: return P;
  }
}

void Offset(TRect& R, int Dx, int Dy) {
  R.Left += Dx;
  R.Right += Dx;
  R.Top += Dy;
  R.Bottom += Dy;
}

}  // namespace

void SmartBtnKindCaption(TSmartBtnKind Kind, QString& Text) { Text = QString::fromLatin1(KindInfo(Kind).Caption); }

void SetActionImage(QAction* Action, TVQR_ImageList* List, int Index) {
  Action->setProperty("VelkorImageList", QVariant::fromValue(reinterpret_cast<quintptr>(List)));
  Action->setProperty("VelkorImageIndex", Index);
}

TVQR_ImageList* ActionImageList(const QAction* Action) {
  if (!Action) return nullptr;
  return reinterpret_cast<TVQR_ImageList*>(Action->property("VelkorImageList").value<quintptr>());
}

int ActionImageIndex(const QAction* Action) {
  if (!Action) return -1;
  const QVariant V = Action->property("VelkorImageIndex");
  return V.isValid() ? V.toInt() : -1;
}

void SetClassicButtonFrames(bool Value) { ClassicFrames() = Value; }

// ---- TButtonGlyph -------------------------------------------------------

TButtonGlyph::TButtonGlyph(TSmartBtn* Client) : FPicture(New<TPicture>()), FClient(Client) {
  FPicture->OnChange = [this](TObject*) { PictureChanged(); };
}

TButtonGlyph::~TButtonGlyph() { FPicture->OnChange = nullptr; }

QAction* TButtonGlyph::Action() const { return FClient ? FClient->Action() : nullptr; }

TVQR_ImageList* TButtonGlyph::ActImageList() const { return ActionImageList(Action()); }

TTrueImage* TButtonGlyph::TrueImage() const {
  return EmptyPic() ? nullptr : dynamic_cast<TTrueImage*>(FPicture->Graphic());
}

TBitmap32* TButtonGlyph::Bmp32() const {
  TTrueImage* T = TrueImage();
  return T ? &T->BMP32() : nullptr;
}

bool TButtonGlyph::EmptyPic() const { return !FPicture->Graphic() || FPicture->Graphic()->Empty(); }

bool TButtonGlyph::HasActionImage() const {
  const TVQR_ImageList* List = ActImageList();
  const int Index = ActionImageIndex(Action());
  return List && Index >= 0 && Index < List->Count();
}

bool TButtonGlyph::Empty() const { return EmptyPic() && !HasActionImage(); }

int TButtonGlyph::Width() const {
  if (!EmptyPic()) return FPicture->Width();
  return HasActionImage() ? ActImageList()->Width() : 0;
}

int TButtonGlyph::Height() const {
  if (!EmptyPic()) return FPicture->Height();
  return HasActionImage() ? ActImageList()->Height() : 0;
}

void TButtonGlyph::PictureChanged() {
  TToolkitGraphic* G = FPicture->Graphic();
  auto* Image = dynamic_cast<TTrueImage*>(G);
  const bool Convert = G && !G->Empty() && !Image;
  if (Convert || (Image && Image->BMP32().DrawMode() != dmBlend)) {
    auto Saved = std::move(FPicture->OnChange);
    FPicture->OnChange = nullptr;
    struct Reattach {
      TPicture& P;
      TNotifyEvent& E;
      ~Reattach() { P.OnChange = std::move(E); }
    } Guard{*FPicture, Saved};
    if (Convert) {
      FPicture->SetGraphic(TTrueImage::CreateFrom(G));
      Image = dynamic_cast<TTrueImage*>(FPicture->Graphic());
    }
    // The glyph is always blended over the face.
    if (Image) Image->BMP32().SetDrawMode(dmBlend);
  }
  if (OnChange) OnChange();
}

void TButtonGlyph::SetPicture(const TPicture* Value) {
  {
    auto Saved = std::move(FPicture->OnChange);
    FPicture->OnChange = nullptr;
    // Re-attached on every way out.
    struct Reattach {
      TPicture& P;
      TNotifyEvent& E;
      ~Reattach() { P.OnChange = std::move(E); }
    } Guard{*FPicture, Saved};
    if (Value && dynamic_cast<const TTrueImage*>(Value->Graphic())) {
      FPicture->Assign(Value);
    } else {
      auto Converted = New<TTrueImage>();
      if (Value && Value->Graphic() && !Value->Graphic()->Empty()) Converted->Assign(Value);
      FPicture->Assign(Converted.get());
    }
  }
  PictureChanged();
}

void TButtonGlyph::AssignFromHBitmap(const QImage& Bitmap, const TRect& R, bool PremulAlpha) {
  auto Temp = New<TTrueImage>();
  Temp->AssignFromHBitmap(Bitmap, R, PremulAlpha);
  auto P = New<TPicture>();
  P->Assign(Temp.get());
  SetPicture(P.get());
}

// ---- layout -------------------------------------------------------------

int DrawTextFormat(TControlPosition Layout, bool WordWrap) {
  int Flags = Qt::TextDontClip | Qt::TextShowMnemonic;
  switch (Layout) {
    case 0: case 4: case 8: case 9: case 10: case 11: Flags |= Qt::AlignLeft; break;
    case 2: case 6: case 12: case 13: case 14: case 15: Flags |= Qt::AlignRight; break;
    default: Flags |= Qt::AlignHCenter; break;
  }
  if (WordWrap) Flags |= Qt::TextWordWrap;
  return Flags;
}

void CalcLayout(const TBtnLayoutInput& In, const std::function<QSize(int Limit)>& Measure, TRect& GlyphRect,
                TRect& TextRect) {
  const int Shrink = 1 + std::max(In.Margin, 0);
  const TRect A{Shrink, Shrink, In.Width - Shrink, In.Height - Shrink};
  const int aw = A.Right - A.Left, ah = A.Bottom - A.Top;
  const TControlPosition L = In.Layout;

  int gw = In.GlyphWidth, gh = In.GlyphHeight;
  if (In.GlyphIsPicture && gw > 0 && gh > 0) {
    if (L == atAllofTop || L == atAllofBottom) {
      const int Avail = std::max(0, aw - 2 * In.Spacing);
      gh = LowLevel::MulDivRounded(gh, Avail, gw);
      gw = Avail;
    } else if (L == atAllofLeft || L == atAllofRight) {
      const int Avail = std::max(0, ah - 2 * In.Spacing);
      gw = LowLevel::MulDivRounded(gw, Avail, gh);
      gh = Avail;
    }
  }
  const bool HasGlyph = gw > 0 && gh > 0;
  if (!HasGlyph) gw = gh = 0;

  const bool Beside = L >= atTopofLeft;
  // A glyph wider than the area leaves no room, never a negative width.
  const int Limit = std::max(0, Beside ? aw - gw - In.Spacing : aw);
  const QSize Text = Measure(Limit);
  TextRect = {0, 0, Text.width(), Text.height()};

  if (!HasGlyph) {
    GlyphRect = {0, 0, 0, 0};
    if (In.Margin < 0) CenterRectIn(TextRect, A);
    else AlignRectInside(TextRect, A, L, In.Margin);
    return;
  }
  GlyphRect = {0, 0, gw, gh};
  const TControlPosition P = CentredVariant(OppositePosition(L));
  if (In.Margin <= 0) {
    PlaceRectBeside(TextRect, GlyphRect, P, In.Spacing);
    const TRect U{std::min(TextRect.Left, GlyphRect.Left), std::min(TextRect.Top, GlyphRect.Top),
                  std::max(TextRect.Right, GlyphRect.Right), std::max(TextRect.Bottom, GlyphRect.Bottom)};
    const int Dx = (A.Left + A.Right - U.Left - U.Right) / 2;
    const int Dy = (A.Top + A.Bottom - U.Top - U.Bottom) / 2;
    Offset(GlyphRect, Dx, Dy);
    Offset(TextRect, Dx, Dy);
  } else {
    AlignRectInside(GlyphRect, A, L, 0);
    PlaceRectBeside(TextRect, GlyphRect, P, In.Spacing);
  }
}

// ---- TSmartBtn ----------------------------------------------------------

TSmartBtn::TSmartBtn(QWidget* Parent) : TModalButton(Parent), FBtnGlyph(std::make_unique<TButtonGlyph>(this)) {
  setCursor(CursorOf(crHandPoint));
  setGeometry(0, 0, 80, 32);
  setAttribute(Qt::WA_Hover);
  FBtnGlyph->OnChange = [this] { update(); };
  connect(this, &QPushButton::clicked, this, [this] {
    if (FAction) FAction->trigger();
  });
}

TSmartBtn::~TSmartBtn() { FBtnGlyph->OnChange = nullptr; }

void TSmartBtn::SetCaption(const QString& Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  if (FTextToQt) setText(Value);
  update();
}

void TSmartBtn::SetLayout(TControlPosition Value) {
  if (Value == FLayout) return;
  FLayout = Value;
  update();
}

void TSmartBtn::SetMargin(int Value) {
  if (Value == FMargin) return;
  FMargin = Value;
  update();
}

void TSmartBtn::SetSpacing(int Value) {
  if (Value == FSpacing) return;
  FSpacing = Value;
  update();
}

void TSmartBtn::SetWordWrap(bool Value) {
  if (Value == FWordWrap) return;
  FWordWrap = Value;
  update();
}

void TSmartBtn::SetKind(TSmartBtnKind Value) {
  if (Value == FKind) return;
  FKind = Value;
  if (Value != sbkCustom) {
    const TKindInfo& Info = KindInfo(Value);
    SetCaption(QString::fromLatin1(Info.Caption));
    SetDefault(Info.Default);
    SetCancel(Info.Cancel);
    SetModalResult(Info.ModalResult);
  }
  update();
}

void TSmartBtn::SetAction(QAction* Value) {
  if (Value == FAction) return;
  disconnect(FActionChanged);
  FAction = Value;
  if (FAction) FActionChanged = connect(FAction, &QAction::changed, this, [this] { ActionChange(); });
  ActionChange();
}

// The action's caption, hint and enabled state become the button's.
void TSmartBtn::ActionChange() {
  if (FAction) {
    SetCaption(FAction->text());
    setToolTip(FAction->toolTip());
    setEnabled(FAction->isEnabled());
  }
  update();
}

bool TSmartBtn::UseRightToLeftAlignment() const {
  return QLocale::system().textDirection() == Qt::RightToLeft && layoutDirection() == Qt::RightToLeft;
}

void TSmartBtn::CalcLayout(TRect& GlyphRect, TRect& TextRect) const {
  TBtnLayoutInput In;
  In.Width = width();
  In.Height = height();
  In.Layout = FLayout;
  In.Margin = FMargin;
  In.Spacing = FSpacing;
  In.GlyphIsPicture = !FBtnGlyph->EmptyPic();
  In.GlyphWidth = FBtnGlyph->Width();
  In.GlyphHeight = FBtnGlyph->Height();
  const int Flags = DrawTextFormat(FLayout, FWordWrap);
  const QFontMetrics Metrics(font());
  velkor::CalcLayout(
      In,
      [&](int Limit) {
        if (FCaption.isEmpty()) return QSize(0, 0);
        return Metrics.boundingRect(QRect(0, 0, Limit, 0), Flags, FCaption).size();
      },
      GlyphRect, TextRect);
}

void TSmartBtn::Click() {
  if (FInClick) return;
  FInClick = true;
  struct Reset {
    bool& F;
    ~Reset() { F = false; }
  } Guard{FInClick};
  SafeSetFocus(this);
  if (FKind == sbkHelp) {
    for (QWidget* W = this; W; W = W->parentWidget()) {
      if (HelpType(W) == htContext && HelpContext(W) != 0) {
        ShowHelpContext(HelpContext(W));
        return;
      }
      if (HelpType(W) == htKeyword && !HelpKeyword(W).isEmpty()) {
        ShowHelpKeyword(HelpKeyword(W));
        return;
      }
    }
  } else if (FKind == sbkClose) {
    if (QWidget* W = window(); W && W != this) {
      W->close();
      return;
    }
  }
  QAbstractButton::click();
}

void TSmartBtn::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton && isDown() && hitButton(Event->position().toPoint())) {
    setDown(false);
    Event->accept();
    Click();
    return;
  }
  TModalButton::mouseReleaseEvent(Event);
}

void TSmartBtn::keyPressEvent(QKeyEvent* Event) {
  if ((Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) && autoDefault() &&
      Event->modifiers() == Qt::NoModifier) {
    Event->accept();
    Click();
    return;
  }
  TModalButton::keyPressEvent(Event);
}

void TSmartBtn::keyReleaseEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Space && !Event->isAutoRepeat() && isDown()) {
    setDown(false);
    Event->accept();
    Click();
    return;
  }
  TModalButton::keyReleaseEvent(Event);
}

void TSmartBtn::changeEvent(QEvent* Event) {
  TModalButton::changeEvent(Event);
  switch (Event->type()) {
    case QEvent::EnabledChange:
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
      update();
      break;
    default:
      break;
  }
}

void TSmartBtn::enterEvent(QEnterEvent* Event) {
  TModalButton::enterEvent(Event);
  update();
}

void TSmartBtn::leaveEvent(QEvent* Event) {
  TModalButton::leaveEvent(Event);
  update();
}

void TSmartBtn::DrawFrame(QPainter& P, TRect& Content) const {
  const bool Pressed = isDown();
  const bool OwnsFocus = hasFocus();
  const bool Hot = underMouse();
  QRect Client = rect();
  if (StyleServicesEnabled() && !ClassicFrames()) {
    QStyleOptionButton Opt;
    Opt.initFrom(this);
    Opt.rect = Client;
    Opt.features = QStyleOptionButton::None;
    Opt.state &= ~(QStyle::State_MouseOver | QStyle::State_HasFocus | QStyle::State_Sunken | QStyle::State_Raised);
    if (!isEnabled()) {
      Opt.state &= ~QStyle::State_Enabled;
    } else if (Pressed) {
      Opt.state |= QStyle::State_Sunken;
    } else if (Hot) {
      Opt.state |= QStyle::State_MouseOver | QStyle::State_Raised;
    } else if (OwnsFocus || isDefault()) {
      Opt.features |= QStyleOptionButton::DefaultButton;
      Opt.state |= QStyle::State_Raised;
    } else {
      Opt.state |= QStyle::State_Raised;
    }
    style()->drawControl(QStyle::CE_PushButtonBevel, &Opt, &P, this);
    const QRect Inner = style()->subElementRect(QStyle::SE_PushButtonContents, &Opt, this);
    if (OwnsFocus && IsSystemStyle()) {
      QStyleOptionFocusRect Focus;
      Focus.initFrom(this);
      Focus.rect = Inner;
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &Focus, &P, this);
    }
    Content = ToTRect(Inner);
    return;
  }
  if (OwnsFocus) {
    P.setPen(ToQColor(clWindowFrame));
    P.setBrush(Qt::NoBrush);
    P.drawRect(Client.adjusted(0, 0, -1, -1));
    Client.adjust(1, 1, -1, -1);
  }
  QPalette Pal = palette();
  Pal.setColor(QPalette::Button, ToQColor(clBtnFace));
  Pal.setColor(QPalette::Light, ToQColor(clBtnHighlight));
  Pal.setColor(QPalette::Dark, ToQColor(clBtnShadow));
  Pal.setColor(QPalette::Shadow, ToQColor(clWindowFrame));
  QBrush Fill(ToQColor(clBtnFace));
  qDrawWinButton(&P, Client, Pal, Pressed, &Fill);
  if (OwnsFocus) {
    const QRect F = Client.adjusted(4, 4, -4, -4);
    QPen Dots(ToQColor(clWindowFrame), 1, Qt::DotLine);
    P.setPen(Dots);
    P.setBrush(Qt::NoBrush);
    if (F.width() > 1 && F.height() > 1) P.drawRect(F.adjusted(0, 0, -1, -1));
  }
  Content = ToTRect(Client);
}

void TSmartBtn::DrawGlyph(QPainter& P, const TRect& R) const {
  if (R.Right <= R.Left || R.Bottom <= R.Top) return;
  if (const TTrueImage* Image = FBtnGlyph->TrueImage()) {
    // The quarter alpha of a disabled glyph is computed here and handed to
    // the paint, never set on the image: its OnChange would repaint the
    // button from its own paint, forever.
    const int Master = Image->MasterAlpha();
    const std::uint8_t Opacity =
        isEnabled() || Master == 0 ? 255 : std::uint8_t(LowLevel::MulDivRounded(Master >> 2, 255, Master));
    // Only the part inside the button is painted, with the matching part of
    // the picture, so a huge glyph costs no more than the button.
    const int gw = R.Right - R.Left, gh = R.Bottom - R.Top;
    const int iw = Image->Width(), ih = Image->Height();
    const TRect D{std::max(R.Left, 0), std::max(R.Top, 0), std::min(R.Right, width()), std::min(R.Bottom, height())};
    if (D.Right <= D.Left || D.Bottom <= D.Top) return;
    TRect S{LowLevel::MulDivRounded(D.Left - R.Left, iw, gw), LowLevel::MulDivRounded(D.Top - R.Top, ih, gh),
            LowLevel::MulDivRounded(D.Right - R.Left, iw, gw), LowLevel::MulDivRounded(D.Bottom - R.Top, ih, gh)};
    if (S.Right <= S.Left || S.Bottom <= S.Top) return;
    TDeviceContext DC(&P);
    Image->PaintTo(&DC, D, S, Opacity, false);
    return;
  }
  if (FBtnGlyph->HasActionImage())
    FBtnGlyph->ActImageList()->Draw(P, R.Left, R.Top, ActionImageIndex(FAction), isEnabled());
}

void TSmartBtn::DrawCaption(QPainter& P, const TRect& R) const {
  if (FCaption.isEmpty()) return;
  P.setFont(font());
  P.setBrush(Qt::NoBrush);
  const int Flags = DrawTextFormat(FLayout, FWordWrap);
  const QRect Box = ToQRect(R);
  if (isEnabled()) {
    P.setPen(IsCustomStyleActive() ? ToQColor(GetSystemColor(kBtnText)) : palette().color(QPalette::ButtonText));
    P.drawText(Box, Flags, FCaption);
    return;
  }
  P.setPen(ToQColor(clBtnHighlight));
  P.drawText(Box.translated(1, 1), Flags, FCaption);
  P.setPen(ToQColor(clBtnShadow));
  P.drawText(Box, Flags, FCaption);
}

void TSmartBtn::paintEvent(QPaintEvent*) {
  if (width() <= 0 || height() <= 0) return;
  QPainter P(this);
  TRect Content;
  DrawFrame(P, Content);
  TRect GlyphRect, TextRect;
  CalcLayout(GlyphRect, TextRect);
  if (isEnabled() && isDown()) {
    Offset(GlyphRect, 1, 1);
    Offset(TextRect, 1, 1);
  }
  DrawGlyph(P, GlyphRect);
  DrawCaption(P, TextRect);
}

// ---- TSmartToolBtn ------------------------------------------------------

TSmartToolBtn::TSmartToolBtn(QWidget* Parent) : TSmartBtn(Parent) {
  FTextToQt = false;
  setFocusPolicy(Qt::NoFocus);
  SetSpacing(0);
  setGeometry(0, 0, 48, 48);
}

}  // namespace velkor
