// The main window's toolbar fitting: the toolbar never wraps, so the
// buttons of the highest priorities that fit the panel's width show and
// the others hide, the help button always at the right edge.
#include "app/MainUnit.h"

#include <QAction>

#include "components/Btns.h"
#include "components/Panels.h"

namespace velkor {

namespace {

constexpr int kToolBtnLeft = 6, kToolBtnTop = 6, kToolBtnSize = 56;
constexpr int kToolGap = 8;

// A toolbar button shows its action's image only: at 56 pixels the caption
// has no room, so it is the button's hint instead.
class TMainToolBtn : public TSmartToolBtn {
 public:
  using TSmartToolBtn::TSmartToolBtn;
  void SetCaption(const QString&) override {}
};

}  // namespace

// --- toolbar fitting ------------------------------------------------------------------

void TMainForm::MakeToolBtn(QAction* Action, std::intptr_t Priority) {
  if (!Action) {
    FBtns.push_back({nullptr, 0});
    return;
  }
  auto* btn = new TMainToolBtn(ControlPanel);
  btn->setObjectName("btn" + Action->objectName().mid(3));
  btn->setGeometry(kToolBtnLeft, kToolBtnTop, kToolBtnSize, kToolBtnSize);
  Action->setToolTip(Action->text());
  btn->SetAction(Action);
  btn->installEventFilter(this);
  FBtns.push_back({btn, Priority});
}

int TMainForm::LayoutToolBtns(std::intptr_t T, bool Apply) {
  int x = kToolBtnLeft;
  bool lastWasGap = true;
  for (const TToolRec& slot : FBtns) {
    if (T >= slot.priority) {
      if (slot.btn) {
        if (Apply) {
          slot.btn->move(x, slot.btn->y());
          slot.btn->setVisible(true);
        }
        lastWasGap = false;
        x += slot.btn->width();
      } else {
        if (!lastWasGap) x += kToolGap;
        lastWasGap = true;
      }
    } else if (Apply && slot.btn) {
      slot.btn->setVisible(false);
    }
  }
  return x;
}

void TMainForm::AlignToolBtns() {
  if (!ControlPanel || ControlPanel->isHidden() || FBtns.empty()) return;
  const TRect inside = ControlPanel->GetInsideRect();
  const int W = inside.Right - inside.Left;
  std::intptr_t lo = 0, hi = static_cast<std::intptr_t>(FBtns.size());
  while (lo <= hi) {
    const std::intptr_t mid = (lo + hi) / 2;
    if (LayoutToolBtns(mid, false) > W) hi = mid - 1;
    else lo = mid + 1;
  }
  LayoutToolBtns(hi, true);
  if (TSmartToolBtn* help = FBtns.back().btn) help->move(inside.Right - help->width(), help->y());
}

}  // namespace velkor
