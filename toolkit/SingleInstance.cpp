#include "toolkit/SingleInstance.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace velkor {

namespace {

// A caption longer than this is no caption: a peer that sends more is not
// one of ours.
constexpr qint64 kMaxCaptionBytes = 4096;

// How long Listen waits to learn whether a live copy answers on the socket.
// A listening socket of this machine accepts at once; a stale one refuses
// at once.
constexpr int kProbeMs = 200;

// A request runs from a timer of this length (see Accept); a timer of 0 ms
// may be delivered as a posted call.
constexpr int kRequestDelayMs = 1;

bool SomeoneListens(const QString& Name) {
  QLocalSocket probe;
  probe.connectToServer(Name);
  const bool answered = probe.waitForConnected(kProbeMs);
  probe.abort();
  return answered;
}

}  // namespace

TSingleInstanceLock::~TSingleInstanceLock() { Release(); }

void TSingleInstanceLock::Release() {
  if (FFd >= 0) ::close(FFd);  // closing the last descriptor drops the flock
  FFd = -1;
}

TSingleInstanceLock::TResult TSingleInstanceLock::Take(const std::string& Path, int RetryMs) {
  Release();
  const int fd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return lrFailed;
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      FFd = fd;
      return lrAcquired;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      ::close(fd);
      return lrFailed;
    }
    if (clock.elapsed() >= RetryMs) {
      ::close(fd);
      return lrHeldByOther;
    }
    QThread::msleep(10);
  }
}

TSingleInstanceServer::TSingleInstanceServer(std::function<QString()> Caption, std::function<void()> OnMessage,
                                             QObject* Parent)
    : QObject(Parent), FCaption(std::move(Caption)), FOnMessage(std::move(OnMessage)) {}

TSingleInstanceServer::~TSingleInstanceServer() { Close(); }

bool TSingleInstanceServer::Listen(const QString& Name) {
  Close();
  FServer = std::make_unique<QLocalServer>();
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  // Only a socket nobody listens on is removed. A copy that runs without
  // the lock (under a debugger, or when the lock file could not be opened)
  // would otherwise take the running copy's socket away, and with it every
  // later copy's way to hand its parameters over.
  if (SomeoneListens(Name)) {
    FServer.reset();
    return false;
  }
  QLocalServer::removeServer(Name);
  if (!FServer->listen(Name)) {
    FServer.reset();
    return false;
  }
  connect(FServer.get(), &QLocalServer::newConnection, this, &TSingleInstanceServer::Accept);
  return true;
}

void TSingleInstanceServer::Close() {
  if (!FServer) return;
  FServer->close();
  FServer.reset();
}

bool TSingleInstanceServer::Listening() const { return FServer && FServer->isListening(); }

void TSingleInstanceServer::Accept() {
  while (QLocalSocket* socket = FServer ? FServer->nextPendingConnection() : nullptr) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      // Every byte is one request; what the request carries is in the file.
      // The window acts after this handler has returned: acting may run
      // nested event loops (a contest load shows its progress), in which
      // this socket can disconnect and be deleted under the handler. It
      // acts from a timer, not a posted call: the passes that a save or a
      // load makes over the events to see Esc run no timers, while they
      // would deliver a posted call and start a load in the middle.
      const qint64 count = socket->readAll().size();
      for (qint64 i = 0; i < count; ++i)
        QTimer::singleShot(kRequestDelayMs, this, [this] {
          if (FOnMessage) FOnMessage();
        });
    });
    const QString caption = FCaption ? FCaption() : QString();
    socket->write(caption.toUtf8() + '\n');
    socket->flush();
  }
}

TRunningInstance::TRunningInstance() : FSocket(std::make_unique<QLocalSocket>()) {}

TRunningInstance::~TRunningInstance() {
  if (FSocket->state() == QLocalSocket::ConnectedState) {
    FSocket->disconnectFromServer();
    if (FSocket->state() != QLocalSocket::UnconnectedState) FSocket->waitForDisconnected(200);
  }
}

bool TRunningInstance::Connect(const QString& Name, int TimeoutMs) {
  FCaption.clear();
  FSocket->connectToServer(Name);
  if (!FSocket->waitForConnected(TimeoutMs)) return false;
  QByteArray line;
  while (!line.endsWith('\n')) {
    if (FSocket->bytesAvailable() == 0 && !FSocket->waitForReadyRead(TimeoutMs)) return false;
    line += FSocket->read(kMaxCaptionBytes + 1 - line.size());
    if (line.size() > kMaxCaptionBytes) return false;
  }
  line.chop(1);
  FCaption = QString::fromUtf8(line);
  return true;
}

bool TRunningInstance::Notify(int TimeoutMs) {
  if (FSocket->state() != QLocalSocket::ConnectedState) return false;
  if (FSocket->write("\1", 1) != 1) return false;
  while (FSocket->bytesToWrite() > 0)
    if (!FSocket->waitForBytesWritten(TimeoutMs)) return false;
  return true;
}

}  // namespace velkor
