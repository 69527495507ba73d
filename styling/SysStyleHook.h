// The base of every style hook, and the widget wrapper the hooks query.
//
// A style hook takes over one widget the toolkit does not paint in the
// active visual style by itself. It installs itself as the widget's event
// filter, which stands for the replaced window procedure: every event reaches
// HookWndProc first; what the hook does not handle goes on to the widget as
// before, so the widget's own answer is the answer. Removing the filter (the
// hook's destruction) gives the widget back exactly as it was.
//
// The paint event carries what the three paint messages of a native window
// carry: the background (erase), the client area and the border (non-client).
// Qt widgets have no frame of their own, so the border is drawn inside the
// widget over the widths QueryBorderWidths gives.
#pragma once

#include <QColor>
#include <QFont>
#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>

class QPainter;

namespace velkor {

// For the styling layer a popup menu is a window of its own; every other
// widget belongs to one of the toolkit's controls, which style themselves.
bool IsToolkitControl(const QWidget* Widget);

class TSysControl {
 public:
  explicit TSysControl(QWidget* AHandle);

  QWidget* Handle() const { return FHandle; }
  QWidget* ParentHandle() const;
  // A new wrapper for the parent; none when there is no parent.
  std::unique_ptr<TSysControl> Parent() const;

  Qt::WindowFlags Style() const;
  // In global (screen) coordinates, as the window's rectangle.
  QRect WindowRect() const;
  int Left() const { return WindowRect().left(); }
  int Top() const { return WindowRect().top(); }
  int Width() const;
  int Height() const;
  QRect BoundsRect() const { return {Left(), Top(), Width(), Height()}; }
  QRect ClientRect() const;
  int ClientWidth() const { return ClientRect().width(); }
  int ClientHeight() const { return ClientRect().height(); }

  bool IsChild() const;
  bool Enabled() const;
  bool Visible() const;
  bool Focused() const;
  bool Destroyed() const { return FHandle.isNull(); }
  QString Text() const;
  std::string ControlClassName() const;
  QFont Font() const;

  Qt::LayoutDirection BidiMode() const;
  bool UseRightToLeftAlignment() const;
  bool UseRightToLeftReading() const;
  // Under right-to-left alignment a right alignment becomes a left one and
  // any other but a centred one becomes right; AlignAbsolute keeps Qt from
  // mirroring the result once more.
  Qt::Alignment DrawTextBiDiModeFlags(Qt::Alignment Flags) const;

 private:
  QPointer<QWidget> FHandle;
  mutable std::string FWindowClassName;
};

class TSysStyleHook : public QObject {
 public:
  enum TStyleElement : unsigned { seFont = 1, seClient = 2, seBorder = 4 };
  using TStyleElements = unsigned;

  explicit TSysStyleHook(QWidget* AHandle);
  ~TSysStyleHook() override;
  TSysStyleHook(const TSysStyleHook&) = delete;
  TSysStyleHook& operator=(const TSysStyleHook&) = delete;

  QWidget* Handle() const { return FWidgetGone ? nullptr : FHandle.data(); }
  QWidget* ParentHandle() const;
  TSysControl& SysControl() { return FSysControl; }

  TStyleElements StyleElements() const { return FStyleElements; }
  void SetStyleElements(TStyleElements Value);
  bool OverridePaint() const { return FOverridePaint; }
  void SetOverridePaint(bool Value);
  bool OverridePaintNC() const { return FOverridePaintNC; }
  void SetOverridePaintNC(bool Value) { FOverridePaintNC = Value; }
  bool OverrideFont() const { return FOverrideFont; }
  void SetOverrideFont(bool Value) { FOverrideFont = Value; }
  bool OverrideEraseBkgnd() const { return FOverrideEraseBkgnd; }
  void SetOverrideEraseBkgnd(bool Value) { FOverrideEraseBkgnd = Value; }
  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value) { FParentColor = Value; }

  QColor Color() const { return FColor; }
  void SetColor(const QColor& Value) { FColor = Value; }
  QColor FontColor() const { return FFontColor; }
  void SetFontColor(const QColor& Value) { FFontColor = Value; }
  QFont Font() const { return FFont; }
  void SetFont(const QFont& Value) { FFont = Value; }

  bool Focused() const;
  QString Text();
  bool Handled() const { return FHandled; }
  bool HookedDirectly() const { return FHookedDirectly; }
  bool MustRemove() const { return FMustRemove; }

  // The manager hooked the widget itself (not as a waiting child).
  void MarkHookedDirectly() { FHookedDirectly = true; }
  // The widget is being destroyed: the hook must not touch it any more and
  // is to be removed.
  void WidgetDestroyed();

  // The active style is a custom one, and the widget is one the styling
  // layer is to paint.
  bool StylingActive() const;

  virtual void QueryBorderWidths(QMargins& R) { R = {}; }
  virtual void DrawClient(QPainter&) {}
  virtual void DrawFrameEdge(QPainter& Painter);
  virtual void FillBackground(QPainter& Painter);
  virtual void DrawNonClient(QPainter&) {}
  // Every event of the widget comes here first. True means the event is
  // dealt with (by the hook, or by the widget through CallPreviousProc);
  // false hands it on to the widget as if there were no hook.
  virtual bool HookWndProc(QEvent* Event);
  // True makes the paint handler skip DrawClient.
  virtual bool CustomPaint(QPainter&) { return false; }
  virtual void RefreshColors();
  virtual void Invalidate();
  virtual void InvalidateNC();
  virtual void Refresh();

  // Text in the hook's colours: the element's text colour when the hook
  // overrides the font and one is given, else FontColor. The result is the
  // height of the text drawn.
  int DrawText(QPainter& Painter, const QColor* ElementColor, const QString& S, const QRect& R, int Flags);
  // Word-wrapped and centred both ways in R; the result is the number of
  // characters drawn.
  int DrawTextCentered(QPainter& Painter, const QColor* ElementColor, const QRect& R, const QString& S,
                       int Flags);
  // In the widget's font, with the element's colour, else the widget's own.
  void DrawControlText(QPainter& Painter, const QColor* ElementColor, const QString& S, const QRect& R,
                       int Flags);

 protected:
  // The widget's own handling of the event, bypassing every filter.
  bool CallPreviousProc(QEvent* Event);
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  bool PaintHandler(QEvent* Event);

  QPointer<QWidget> FHandle;
  TSysControl FSysControl;
  bool FWidgetGone = false;
  bool FOverrideEraseBkgnd = false, FOverridePaint = false, FOverridePaintNC = false, FOverrideFont = false;
  bool FDoubleBuffered = false;
  QColor FFontColor;
  bool FHandled = false;
  bool FParentColor = false;
  TStyleElements FStyleElements = 0;
  QColor FColor;
  QFont FFont;
  QString FText;
  bool FHookedDirectly = false, FMustRemove = false;
};

}  // namespace velkor
