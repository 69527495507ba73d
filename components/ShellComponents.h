// The folder-change notifier: one event, OnChange, whenever the watched
// folder changes and, optionally, on a fixed interval as well. The event
// carries no detail; the receiver rescans the folder itself.
//
// Watching is inotify (platform/FolderChanges.h), read on the GUI thread
// through a QSocketNotifier: no thread of ours waits, OnChange always runs
// on the GUI thread, and one read of the queue gives at most one OnChange.
// StopMonitor closes the inotify descriptor, so an event still queued at
// that moment is never delivered. (QFileSystemWatcher has neither the
// per-kind filters nor recursive watches, and reports every write.)
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/FolderChanges.h"

class QSocketNotifier;
class QTimer;

namespace velkor {

using platform::TNotifyFilter;
using platform::TNotifyFilters;
using platform::nfAttributeChange;
using platform::nfDirNameChange;
using platform::nfFileNameChange;
using platform::nfLastWrite;
using platform::nfSecurityChange;
using platform::nfSizeChange;

// A notify event of a component: the component that raised it.
using TComponentNotifyEvent = std::function<void(QObject* Sender)>;

// The toolkit's shell change notifier: one folder watch whose changes call
// OnChange on the GUI thread.
class TShellChangeNotifier : public QObject {
 public:
  TShellChangeNotifier(const std::string& Root, TNotifyFilters Filters, bool WatchSubTree,
                       std::function<void()> OnChange, QObject* Owner = nullptr);
  ~TShellChangeNotifier() override;

  // Closes the watch at once: nothing is reported after this, even for
  // events already queued.
  void Close();
  // Whether the notifier is inside its OnChange right now.
  bool Busy() const { return FBusy; }
  const platform::TFolderWatch* Watch() const { return FWatch.get(); }

 private:
  void Activated();

  std::unique_ptr<platform::TFolderWatch> FWatch;
  std::unique_ptr<QSocketNotifier> FSocket;
  std::function<void()> FOnChange;
  bool FBusy = false;
};

class TVQRShellChangeNotifier : public QObject {
 public:
  explicit TVQRShellChangeNotifier(QObject* AOwner = nullptr);
  ~TVQRShellChangeNotifier() override;

  // Stops, makes newroot the root and starts monitoring it.
  void StartMonitor(const std::string& newroot);
  // Stops, then, unless the root is empty, watches it and starts the timer
  // when Interval is not 0.
  void StartMonitor();
  // Stops the timer and the watch with OnChange detached meanwhile, so a
  // change delivered while stopping raises no event.
  void StopMonitor();

  const std::string& Root() const { return FRoot; }
  // Starts monitoring Value at once (an empty root only stops).
  void SetRoot(const std::string& Value);
  std::uint32_t Interval() const { return FInterval; }
  // A non-zero value becomes the timer's period without starting a stopped
  // timer; 0 stops it.
  void SetInterval(std::uint32_t Value);
  // The kinds and the sub-tree flag take effect at the next StartMonitor.
  TNotifyFilters NotifyFilters() const { return FNotifyFilters; }
  void SetNotifyFilters(TNotifyFilters Value) { FNotifyFilters = Value; }
  bool WatchSubTree() const { return FWatchSubTree; }
  void SetWatchSubTree(bool Value) { FWatchSubTree = Value; }
  const TComponentNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TComponentNotifyEvent Value) { FOnChange = std::move(Value); }

  // Whether a folder is being watched (between StartMonitor with a
  // non-empty root and StopMonitor).
  bool Monitoring() const { return FShellChange != nullptr; }
  bool TimerActive() const;
  const TShellChangeNotifier* ShellChange() const { return FShellChange.get(); }

 protected:
  // Raises OnChange when assigned.
  virtual void Change();

 private:
  std::uint32_t FInterval = 0;
  std::unique_ptr<TShellChangeNotifier> FShellChange;
  TNotifyFilters FNotifyFilters{nfFileNameChange, nfDirNameChange};
  TComponentNotifyEvent FOnChange;
  bool FWatchSubTree = false;
  std::string FRoot;
  QTimer* FTimer;  // a child of the component
};

}  // namespace velkor
