#include "components/SimpleProgress.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include "toolkit/VisualStyles.h"

namespace velkor {

namespace {

QPointer<TProgressDlg> gProgressDlg;
QPointer<QWidget> gMainWindow;
bool gPostRoutineAdded = false;

// A window the caller never freed goes with the application.
void FreeAtExit() { delete gProgressDlg.data(); }

}  // namespace

TProgressDlg::TProgressDlg(QWidget* Centre) : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint) {
  QPalette pal = palette();
  pal.setColor(QPalette::Window, TColorToQColor(GetSystemColor(clBtnFace)));
  setPalette(pal);
  resize(400, 88);

  _Group = new TVQR_GroupBox(this);
  _Group->setGeometry(0, 0, 400, 88);
  _Group->SetCaption("Progress");
  _Group->hide();  // only ever rendered into BackBuffer

  _Gauge = new TVQR_FastGauge(_Group);
  _Gauge->setGeometry(16, 52, 368, 16);
  _Label = new TSmartLab(_Group);
  _Label->SetFocusControl(_Gauge);
  _Label->SetCaption("");

  BackBuffer = QImage(_Group->size(), QImage::Format_RGB32);
  BackBuffer.fill(TColorToQColor(GetSystemColor(clBtnFace)));

  const QRect area = Centre ? Centre->frameGeometry()
                            : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                                : QRect(0, 0, 400, 88));
  move(area.center() - rect().center());
}

void TProgressDlg::SetProgressValues(int AMin, int AMax, int APos) {
  int oldMin, oldMax, oldPos;
  _Gauge->Get3(oldMin, oldMax, oldPos);
  _Gauge->Set3(AMin, AMax, APos);
  int newMin, newMax, newPos;
  _Gauge->Get3(newMin, newMax, newPos);
  if (GetBarSize(oldMin, oldMax, oldPos, _Gauge->width()) != GetBarSize(newMin, newMax, newPos, _Gauge->width()))
    ForceRepaint();
}

void TProgressDlg::SetProgressPos(int APos) { SetProgressValues(_Gauge->VMin(), _Gauge->VMax(), APos); }

void TProgressDlg::SetCaption(const std::string& Cap) {
  if (Cap == _Group->Caption()) return;
  _Group->SetCaption(Cap);
  ForceRepaint();
}

void TProgressDlg::SetSubCaption(const std::string& Cap) {
  if (QString::fromStdString(Cap) == _Label->text()) return;
  _Label->SetCaption(Cap);
  ForceRepaint();
}

void TProgressDlg::ForceRepaint() {
  ++FRepaintCount;
  _Group->render(&BackBuffer);
  repaint();
}

void TProgressDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, BackBuffer);
}

void TProgressDlg::mousePressEvent(QMouseEvent* Event) {
  // The whole window is its caption: a drag from any point moves it.
  if (Event->button() != Qt::LeftButton) return;
  FDragOffset = Event->globalPosition().toPoint() - pos();
  if (windowHandle() && windowHandle()->startSystemMove()) FDragOffset = {};
}

void TProgressDlg::mouseMoveEvent(QMouseEvent* Event) {
  if ((Event->buttons() & Qt::LeftButton) && !FDragOffset.isNull())
    move(Event->globalPosition().toPoint() - FDragOffset);
}

namespace SimpleProgress {

TProgressDlg* ProgressDlg() { return gProgressDlg.data(); }

void SetMainWindow(QWidget* Window) { gMainWindow = Window; }

void ProgressCreate() {
  if (gProgressDlg) return;
  if (!gPostRoutineAdded) {
    qAddPostRoutine(FreeAtExit);
    gPostRoutineAdded = true;
  }
  gProgressDlg = new TProgressDlg(gMainWindow.data());
}

void ProgressFree() {
  TProgressDlg* dlg = gProgressDlg.data();
  if (!dlg) return;
  gProgressDlg = nullptr;
  delete dlg;
}

void ProgressSetValues(int AMin, int AMax, int APos) {
  if (gProgressDlg) gProgressDlg->SetProgressValues(AMin, AMax, APos);
}

void ProgressSetPos(int APos) {
  if (gProgressDlg) gProgressDlg->SetProgressPos(APos);
}

void ProgressSetCaption(const std::string& Cap) {
  if (gProgressDlg) gProgressDlg->SetCaption(Cap);
}

void ProgressSetSubCaption(const std::string& Cap) {
  if (gProgressDlg) gProgressDlg->SetSubCaption(Cap);
}

void ProgressShow(bool Flag) {
  if (!gProgressDlg) return;
  if (!Flag) {
    gProgressDlg->hide();
    return;
  }
  gProgressDlg->show();
  gProgressDlg->ForceRepaint();
  gProgressDlg->raise();
}

}  // namespace SimpleProgress

}  // namespace velkor
