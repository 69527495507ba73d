#include "toolkit/DesktopCompositing.h"

#include <QByteArray>
#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#if __has_include(<xcb/xcb.h>) && defined(QT_FEATURE_xcb) && QT_CONFIG(xcb)
#define VELKOR_HAS_XCB 1
#include <xcb/xcb.h>
#endif

namespace velkor {

namespace {

TCompositingQuery gQuery;

#ifdef VELKOR_HAS_XCB
// The screen number of the display Qt connected to: ":0.1" gives 1.
int DisplayScreen() {
  const char* display = std::getenv("DISPLAY");
  if (!display) return 0;
  const std::string d(display);
  const auto colon = d.rfind(':');
  const auto dot = d.find('.', colon == std::string::npos ? 0 : colon);
  return dot == std::string::npos ? 0 : std::atoi(d.c_str() + dot + 1);
}

bool X11Composites() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (!c) return true;
  const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DisplayScreen());
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(name.size()), name.constData()), nullptr);
  // An atom nobody has made yet: no compositing manager ever ran.
  if (!atom) return false;
  const xcb_atom_t a = atom->atom;
  std::free(atom);
  if (a == XCB_ATOM_NONE) return false;
  xcb_get_selection_owner_reply_t* owner =
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, a), nullptr);
  const bool owned = owner && owner->owner != XCB_NONE;
  std::free(owner);
  return owned;
}
#endif

bool PlatformComposites() {
#ifdef VELKOR_HAS_XCB
  if (QGuiApplication::platformName() == QLatin1String("xcb")) return X11Composites();
#endif
  return true;
}

}  // namespace

bool DesktopComposites() { return gQuery ? gQuery() : PlatformComposites(); }

TCompositingQuery SetCompositingQuery(TCompositingQuery Query) { return std::exchange(gQuery, std::move(Query)); }

}  // namespace velkor
