#include "toolkit/DesktopOpen.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTimer>
#include <QUrl>

namespace velkor {

namespace {

QUrl UrlFor(const std::string& Path) {
  const QString text = QString::fromStdString(Path);
  // A path is a local file; anything with a scheme of two letters or more
  // (file:, http:, mailto:) is already a URL.
  const QUrl asUrl(text);
  if (!text.startsWith('/') && asUrl.isValid() && asUrl.scheme().size() > 1) return asUrl;
  return QUrl::fromLocalFile(text.isEmpty() ? text : QFileInfo(text).absoluteFilePath());
}

std::string& LastError() {
  static std::string error;
  return error;
}

int& WaitMs() {
  static int wait = 15000;
  return wait;
}

// What the exit codes of the desktop's opener mean.
std::string OpenerExitText(int Code) {
  switch (Code) {
    case 1: return "lệnh mở sai cú pháp";
    case 2: return "file hoặc thư mục không tồn tại";
    case 3: return "máy không có chương trình nào mở được loại file này";
    case 4: return "chương trình mở file báo lỗi";
    default: return "lỗi không rõ";
  }
}

bool OpenWithDesktop(const std::string& Path) {
  LastError().clear();
  const QUrl url = UrlFor(Path);
  const QString opener = QStandardPaths::findExecutable("xdg-open");
  if (opener.isEmpty()) {
    LastError() = "không tìm thấy chương trình xdg-open (gói xdg-utils)";
    return false;
  }
  // Owned by nobody: an opener still running when the wait ends must not be
  // killed with its owner; it deletes itself once it exits.
  auto* process = new QProcess;
  process->setProgram(opener);
  process->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
  // The application it starts inherits these: no pipe of ours that closes
  // under it.
  process->setStandardInputFile(QProcess::nullDevice());
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());

  enum { Running, Exited, FailedToStart } state = Running;
  QEventLoop loop;
  QObject::connect(process, &QProcess::finished, &loop, [&] {
    state = Exited;
    loop.quit();
  });
  QObject::connect(process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError Error) {
    if (Error == QProcess::FailedToStart) {
      state = FailedToStart;
      loop.quit();
    }
  });
  QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
  QTimer::singleShot(WaitMs(), &loop, &QEventLoop::quit);
  process->start();
  if (state == Running) loop.exec(QEventLoop::ExcludeUserInputEvents);

  switch (state) {
    case FailedToStart:
      LastError() = "không chạy được " + opener.toStdString() + ": " + process->errorString().toStdString();
      process->deleteLater();
      return false;
    case Exited:
      if (process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0) return true;
      if (process->exitStatus() == QProcess::CrashExit) {
        LastError() = "xdg-open bị dừng đột ngột";
      } else {
        LastError() = OpenerExitText(process->exitCode()) + " (xdg-open trả về mã " +
                      std::to_string(process->exitCode()) + ")";
      }
      return false;
    case Running:
      break;
  }
  // Still busy: some openers stay until the application they started ends.
  return true;
}

TDesktopOpener& Opener() {
  static TDesktopOpener opener = OpenWithDesktop;
  return opener;
}

}  // namespace

bool DesktopOpen(const std::string& Path) {
  LastError().clear();
  return Opener()(Path);
}

std::string DesktopOpenError() { return LastError(); }

int SetDesktopOpenWait(int Milliseconds) {
  const int previous = WaitMs();
  WaitMs() = Milliseconds;
  return previous;
}

std::string DesktopUrl(const std::string& Path) { return UrlFor(Path).toString(QUrl::FullyEncoded).toStdString(); }

TDesktopOpener SetDesktopOpener(TDesktopOpener NewOpener) {
  TDesktopOpener previous = std::move(Opener());
  Opener() = NewOpener ? std::move(NewOpener) : TDesktopOpener(OpenWithDesktop);
  return previous;
}

}  // namespace velkor
