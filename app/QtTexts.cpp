#include "app/QtTexts.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QTranslator>

namespace velkor {
namespace {

// The file dialogs' list as the application's locale writes it. Qt's file
// model writes sizes and dates in the environment's locale, which setting
// the application's does not change.
class TLocalizedFileList : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& Index, int Role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (Role != Qt::DisplayRole || !files || !Index.isValid()) return QIdentityProxyModel::data(Index, Role);
    const QModelIndex source = mapToSource(Index);
    const QLocale locale;
    switch (Index.column()) {
      case kSizeColumn:
        if (files->isDir(source)) break;
        return locale.formattedDataSize(files->size(source));
      case kDateColumn:
        return locale.toString(files->lastModified(source), QLocale::ShortFormat);
      default:
        break;
    }
    return QIdentityProxyModel::data(Index, Role);
  }

 private:
  static constexpr int kSizeColumn = 1;
  static constexpr int kDateColumn = 3;
};

// Gives every file dialog drawn by Qt itself the localized list before it
// first shows; a desktop's own dialog follows the desktop's locale.
class TFileDialogLocalizer : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Show)
      if (auto* dialog = qobject_cast<QFileDialog*>(Watched); dialog && !dialog->proxyModel())
        dialog->setProxyModel(new TLocalizedFileList(dialog));
    return QObject::eventFilter(Watched, Event);
  }
};

}  // namespace

bool InstallQtTexts() {
  static QTranslator* installed = nullptr;
  if (installed) return true;
  QLocale::setDefault(QLocale(QLocale::Vietnamese, QLocale::Vietnam));
  static bool filtering = false;
  if (!filtering) {
    qApp->installEventFilter(new TFileDialogLocalizer(qApp));
    filtering = true;
  }
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
