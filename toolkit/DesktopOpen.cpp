#include "toolkit/DesktopOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QString>
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

bool OpenWithDesktop(const std::string& Path) { return QDesktopServices::openUrl(UrlFor(Path)); }

TDesktopOpener& Opener() {
  static TDesktopOpener opener = OpenWithDesktop;
  return opener;
}

}  // namespace

bool DesktopOpen(const std::string& Path) { return Opener()(Path); }

std::string DesktopUrl(const std::string& Path) { return UrlFor(Path).toString(QUrl::FullyEncoded).toStdString(); }

TDesktopOpener SetDesktopOpener(TDesktopOpener NewOpener) {
  TDesktopOpener previous = std::move(Opener());
  Opener() = NewOpener ? std::move(NewOpener) : TDesktopOpener(OpenWithDesktop);
  return previous;
}

}  // namespace velkor
