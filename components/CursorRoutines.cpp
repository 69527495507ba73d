#include "components/CursorRoutines.h"

#include <QFile>
#include <QGuiApplication>
#include <QPixmap>

#include <map>
#include <sstream>
#include <string>

#include "components/TrueImages.h"

namespace velkor {
namespace {

// Touched on the GUI thread only, like every cursor.
std::map<TCursor, QCursor>& Installed() {
  static std::map<TCursor, QCursor> cursors;
  return cursors;
}

Qt::CursorShape QtShapeOf(TCursor Id) {
  switch (Id) {
    case crNone: return Qt::BlankCursor;
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass: return Qt::WaitCursor;
    case crDrag: return Qt::DragMoveCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crNo: return Qt::ForbiddenCursor;
    case crAppStart: return Qt::BusyCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

struct TAppCursor {
  const char* Resource;
  TCursor Id;
  int HotX, HotY;
};

constexpr TAppCursor kAppCursors[] = {
    {"ARROWCURSOR", crArrow, 2, 0},
    {"HANDPOINTCURSOR", crHandPoint, 11, 1},
    {"HOURGLASSCURSOR", crHourGlass, 15, 15},
};

}  // namespace

QCursor CursorOf(TCursor Id) {
  const auto it = Installed().find(Id);
  return it != Installed().end() ? it->second : QCursor(QtShapeOf(Id));
}

void SetCursorOf(TCursor Id, const QCursor& Cursor) { Installed()[Id] = Cursor; }

bool LoadCursorResource(TCursor Id, const QString& Path, int HotX, int HotY) {
  QFile file(Path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  std::istringstream stream(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  TTrueImage image;
  try {
    image.LoadFromStream(stream);
  } catch (const std::exception&) {
    return false;
  }
  if (image.Empty()) return false;
  SetCursorOf(Id, QCursor(QPixmap::fromImage(image.ExportPNG()), HotX, HotY));
  return true;
}

void LoadAppCursors() {
  static bool loaded = false;
  if (loaded || QGuiApplication::instance() == nullptr) return;
  loaded = true;
  for (const TAppCursor& c : kAppCursors)
    LoadCursorResource(c.Id, QStringLiteral(":/velkor/cursors/%1.argb").arg(QLatin1String(c.Resource)), c.HotX,
                       c.HotY);
}

}  // namespace velkor
