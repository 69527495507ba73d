// The one progress window of long work done on the GUI thread without
// returning to the event loop (packing and unpacking the contest archive).
// No paint event is processed while such work runs, so the window never
// waits for one: every visible change is drawn at once, synchronously, from
// an off-screen copy of its face. That copy is made by rendering the hidden
// group box (with the gauge and the label inside it) into BackBuffer; the
// window's own paint only copies BackBuffer, so it also comes back whole
// after being uncovered.
#pragma once

#include <QImage>
#include <QWidget>

#include <string>

#include "components/FastGauges.h"
#include "components/Labels.h"
#include "components/Panels.h"
#include "components/SimpleProgressRoutines.h"

namespace velkor {

class TProgressDlg : public QWidget {
 public:
  // Parentless, frameless tool window of 400 x 88, centred on Centre (the
  // main window) or, without one, on the screen.
  explicit TProgressDlg(QWidget* Centre = nullptr);

  // A position outside the range changes nothing; a repaint only when the
  // bar's width in pixels changed.
  void SetProgressValues(int AMin, int AMax, int APos);
  void SetProgressPos(int APos);
  // A repaint only when the text differs.
  void SetCaption(const std::string& Cap);
  void SetSubCaption(const std::string& Cap);
  // Renders the group box into BackBuffer and draws it onto the window now.
  void ForceRepaint();

  TVQR_GroupBox* Group() const { return _Group; }
  TVQR_FastGauge* Gauge() const { return _Gauge; }
  TSmartLab* Label() const { return _Label; }
  const QImage& Buffer() const { return BackBuffer; }
  // How many times ForceRepaint ran.
  int RepaintCount() const { return FRepaintCount; }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;

 private:
  TVQR_GroupBox* _Group = nullptr;
  TVQR_FastGauge* _Gauge = nullptr;
  TSmartLab* _Label = nullptr;
  QImage BackBuffer;
  int FRepaintCount = 0;
  QPoint FDragOffset;
};

// The process-wide window; the routines are in SimpleProgressRoutines.h.
namespace SimpleProgress {

// The window now, or nullptr.
TProgressDlg* ProgressDlg();
// The window to centre new progress windows on (the main window).
void SetMainWindow(QWidget* Window);

}  // namespace SimpleProgress

}  // namespace velkor
