#include "components/ShellComponents.h"

#include <QSocketNotifier>
#include <QTimer>

#include <climits>
#include <utility>

namespace velkor {
namespace {

int TimerPeriod(std::uint32_t Interval) {
  return Interval > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(Interval);
}

}  // namespace

TShellChangeNotifier::TShellChangeNotifier(const std::string& Root, TNotifyFilters Filters, bool WatchSubTree,
                                           std::function<void()> OnChange, QObject* Owner)
    : QObject(Owner),
      FWatch(std::make_unique<platform::TFolderWatch>(Root, Filters, WatchSubTree)),
      FOnChange(std::move(OnChange)) {
  if (FWatch->Fd() < 0) return;
  FSocket = std::make_unique<QSocketNotifier>(FWatch->Fd(), QSocketNotifier::Read);
  QObject::connect(FSocket.get(), &QSocketNotifier::activated, this, [this] { Activated(); });
}

TShellChangeNotifier::~TShellChangeNotifier() { Close(); }

void TShellChangeNotifier::Close() {
  FOnChange = nullptr;
  // The socket notifier goes before the descriptor it polls.
  if (FSocket) FSocket->setEnabled(false);
  FSocket.reset();
  FWatch.reset();
}

void TShellChangeNotifier::Activated() {
  if (!FWatch || !FWatch->Drain() || !FOnChange) return;
  // The handler may stop the owner's monitoring, which closes this notifier
  // and hands it to deleteLater: nothing of ours is touched after the call.
  const std::function<void()> handler = FOnChange;
  FBusy = true;
  handler();
  FBusy = false;
}

TVQRShellChangeNotifier::TVQRShellChangeNotifier(QObject* AOwner) : QObject(AOwner), FTimer(new QTimer(this)) {
  QObject::connect(FTimer, &QTimer::timeout, this, [this] { Change(); });
}

TVQRShellChangeNotifier::~TVQRShellChangeNotifier() { StopMonitor(); }

void TVQRShellChangeNotifier::StartMonitor(const std::string& newroot) {
  StopMonitor();
  // The field, not SetRoot: the setter starts monitoring itself.
  FRoot = newroot;
  StartMonitor();
}

void TVQRShellChangeNotifier::StartMonitor() {
  StopMonitor();
  if (FRoot.empty()) return;
  FShellChange = std::make_unique<TShellChangeNotifier>(FRoot, FNotifyFilters, FWatchSubTree, [this] { Change(); });
  if (FInterval != 0) {
    FTimer->setInterval(TimerPeriod(FInterval));
    FTimer->start();
  }
}

void TVQRShellChangeNotifier::StopMonitor() {
  struct RestoreOnChange {
    TVQRShellChangeNotifier& Self;
    TComponentNotifyEvent Saved;
    ~RestoreOnChange() { Self.FOnChange = std::move(Saved); }
  } restore{*this, std::exchange(FOnChange, nullptr)};
  FTimer->stop();
  std::unique_ptr<TShellChangeNotifier> old = std::move(FShellChange);
  if (!old) return;
  old->Close();
  // Stopped from inside its own OnChange: it is still on the call stack.
  if (old->Busy()) old.release()->deleteLater();
}

void TVQRShellChangeNotifier::SetRoot(const std::string& Value) { StartMonitor(Value); }

void TVQRShellChangeNotifier::SetInterval(std::uint32_t Value) {
  FInterval = Value;
  // A QTimer at 0 would fire on every pass of the event loop.
  if (Value != 0)
    FTimer->setInterval(TimerPeriod(Value));
  else
    FTimer->stop();
}

bool TVQRShellChangeNotifier::TimerActive() const { return FTimer->isActive(); }

void TVQRShellChangeNotifier::Change() {
  // A copy: the handler may assign OnChange or stop the monitor meanwhile.
  const TComponentNotifyEvent handler = FOnChange;
  if (handler) handler(this);
}

}  // namespace velkor
