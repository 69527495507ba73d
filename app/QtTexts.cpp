#include "app/QtTexts.h"

#include <QCoreApplication>
#include <QTranslator>

namespace velkor {

bool InstallQtTexts() {
  static QTranslator* installed = nullptr;
  if (installed) return true;
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QStringLiteral(":/velkor/app/qt_vi.qm")) || !QCoreApplication::installTranslator(translator)) {
    qWarning("Velkor: cannot load Qt's texts in Vietnamese");
    delete translator;
    return false;
  }
  installed = translator;
  return true;
}

}  // namespace velkor
