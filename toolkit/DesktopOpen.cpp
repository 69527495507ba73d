#include "toolkit/DesktopOpen.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace velkor {

namespace {

bool OpenWithDesktop(const std::string& Path) {
  const QString text = QString::fromStdString(Path);
  // A path is a local file; anything with a scheme of two letters or more
  // (file:, http:, mailto:) is already a URL.
  const QUrl asUrl(text);
  const bool isUrl = !text.startsWith('/') && asUrl.isValid() && asUrl.scheme().size() > 1;
  return QDesktopServices::openUrl(isUrl ? asUrl : QUrl::fromLocalFile(text));
}

TDesktopOpener& Opener() {
  static TDesktopOpener opener = OpenWithDesktop;
  return opener;
}

}  // namespace

bool DesktopOpen(const std::string& Path) { return Opener()(Path); }

TDesktopOpener SetDesktopOpener(TDesktopOpener NewOpener) {
  TDesktopOpener previous = std::move(Opener());
  Opener() = NewOpener ? std::move(NewOpener) : TDesktopOpener(OpenWithDesktop);
  return previous;
}

}  // namespace velkor
