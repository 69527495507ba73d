// One running copy per user: a lock held for the whole run, and a local
// socket through which a later copy reaches the running one.
//
// The lock is an flock on a file in a folder private to the account (the
// program names it: app/RunOnceUtils.h). The kernel drops it when its
// holder dies, however it dies, so a crashed copy never blocks the next
// start. A copy that cannot take it within the retry time knows another
// copy runs.
//
// The running copy's main window listens on a local socket beside the lock.
// The conversation is short and always the same:
//
//   later copy                          running copy
//   connects                 --------->
//                            <---------  its window caption, UTF-8, "\n"
//   (checks the caption, writes whatever it hands over to a file)
//   one byte                 --------->  OnMessage runs on the GUI thread
//
// Nobody listens until the main window exists, so a copy started while the
// running one still shows its splash finds no server and gives up.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace velkor {

// An flock held from Take until destruction.
class TSingleInstanceLock {
 public:
  enum TResult {
    lrAcquired,      // this process holds the lock now
    lrHeldByOther,   // another process kept it for the whole retry time
    lrFailed,        // the lock file could not be opened or locked at all
  };

  TSingleInstanceLock() = default;
  ~TSingleInstanceLock();
  TSingleInstanceLock(const TSingleInstanceLock&) = delete;
  TSingleInstanceLock& operator=(const TSingleInstanceLock&) = delete;

  // Opens (creating, mode 0600, never through a symbolic link) the file
  // Path and tries to lock it exclusively, again and again for RetryMs.
  TResult Take(const std::string& Path, int RetryMs);
  bool Held() const { return FFd >= 0; }
  // Gives the lock up (also done by the destructor).
  void Release();

 private:
  int FFd = -1;
};

// The running copy's end: answers every connection with Caption() and calls
// OnMessage for each byte a client sends afterwards.
class TSingleInstanceServer : public QObject {
 public:
  TSingleInstanceServer(std::function<QString()> Caption, std::function<void()> OnMessage,
                        QObject* Parent = nullptr);
  ~TSingleInstanceServer() override;

  // Listens on Name (a socket path), reachable by this user only. A socket
  // left behind by a copy that died is removed first; false, leaving it
  // alone, while a live copy still answers on it.
  bool Listen(const QString& Name);
  void Close();
  bool Listening() const;

 private:
  void Accept();

  std::unique_ptr<QLocalServer> FServer;
  std::function<QString()> FCaption;
  std::function<void()> FOnMessage;
};

// A later copy's end of one conversation.
class TRunningInstance {
 public:
  TRunningInstance();
  ~TRunningInstance();
  TRunningInstance(const TRunningInstance&) = delete;
  TRunningInstance& operator=(const TRunningInstance&) = delete;

  // Connects to Name and reads the caption back, waiting at most TimeoutMs
  // for each step; false when nobody answers.
  bool Connect(const QString& Name, int TimeoutMs);
  const QString& Caption() const { return FCaption; }
  // Sends the one byte that makes the running copy act; true once written.
  bool Notify(int TimeoutMs);

 private:
  std::unique_ptr<QLocalSocket> FSocket;
  QString FCaption;
};

}  // namespace velkor
