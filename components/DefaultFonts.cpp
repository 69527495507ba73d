#include "components/DefaultFonts.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>

#include "core/NumberFormat.h"
#include "core/SystemInfo.h"

namespace velkor {
namespace {

constexpr int kDefaultSize = 9;
constexpr int kSwitchSize = 8;  // "/GUIFONT Name" without a usable size

TGuiFont& GuiFontRef() {
  static TGuiFont font;
  return font;
}

// The id of the font file added by LoadGuiFontFile, -1 when none.
int gAddedFontId = -1;

// The size after the first ":" of a "/GUIFONT" parameter, 8 when there is
// none or it is not a positive 32-bit number (Qt would ignore a size of 0
// or less with a warning).
int SizeOf(const std::string& Parameter) {
  const std::size_t colon = Parameter.find(':');
  if (colon == std::string::npos) return kSwitchSize;
  int size = 0;
  return TryStrToInt(std::string_view(Parameter).substr(colon + 1), size) && size > 0 ? size : kSwitchSize;
}

}  // namespace

const TGuiFont& CurrentGuiFont() { return GuiFontRef(); }

bool FontFamilyAvailable(const std::string& Family) {
  const QString family = QString::fromStdString(Family);
  for (const QString& f : QFontDatabase::families())
    if (f.compare(family, Qt::CaseInsensitive) == 0) return true;
  return false;
}

bool LoadGuiFontFile() { return LoadGuiFontFile(MyDirD); }

bool LoadGuiFontFile(const std::string& Folder) {
  if (gAddedFontId >= 0 || FontFamilyAvailable(kGuiFontFamily)) return false;
  const QString file = QString::fromStdString(Folder + kGuiFontFile);
  if (!QFileInfo(file).exists()) return false;  // follows links
  const int id = QFontDatabase::addApplicationFont(file);
  if (id < 0) return false;
  gAddedFontId = id;
  return true;
}

bool GuiFontFileAdded() { return gAddedFontId >= 0; }

void ChooseGuiFont() {
  const int at = IndexOfParam("/GUIFONT", 0);
  if (at >= 0 && static_cast<std::size_t>(at) + 1 < MyParams.size()) {
    const std::string& parameter = MyParams[static_cast<std::size_t>(at) + 1];
    CreateGuiFont(parameter.substr(0, parameter.find(':')), SizeOf(parameter));
  } else if (FontFamilyAvailable(kGuiFontFamily)) {
    CreateGuiFont(kGuiFontFamily, kDefaultSize);
  } else {
    CreateGuiFont(kFallbackGuiFontFamily, kDefaultSize);
  }
}

void CreateGuiFont(const std::string& Name, int Size) {
  QFont font(QString::fromStdString(Name));
  font.setPointSize(Size > 0 ? Size : kSwitchSize);
  GuiFontRef() = TGuiFont{font, clBtnText};
}

void ApplyDefaultFont(const QFont* Font) {
  // A copy: the GUI font may be replaced while the application keeps this.
  const QFont font = Font != nullptr ? *Font : GuiFontRef().Font;
  QApplication::setFont(font);
  for (const char* className : {"QMenu", "QMenuBar", "QToolTip", "QMessageBox"})
    QApplication::setFont(font, className);
}

void DefaultFontsStartup() {
  LoadGuiFontFile();
  ChooseGuiFont();
  ApplyDefaultFont(nullptr);
}

void DefaultFontsShutdown() {
  GuiFontRef() = TGuiFont{};
  if (gAddedFontId >= 0) QFontDatabase::removeApplicationFont(gAddedFontId);
  gAddedFontId = -1;
}

}  // namespace velkor
