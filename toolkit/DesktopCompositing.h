// Whether the desktop composites windows, i.e. can show a window's
// translucent pixels over what lies behind it. Without a compositing
// manager an X11 server shows them as if they were opaque: a window that
// relies on per-pixel transparency must then paint an opaque picture.
#pragma once

#include <functional>

namespace velkor {

using TCompositingQuery = std::function<bool()>;

// The answer of the installed query; by default the desktop's own answer:
// on X11, whether the screen's "_NET_WM_CM_S<n>" selection has an owner;
// on every other platform (Wayland always composites; the offscreen one
// keeps what it is given) true.
bool DesktopComposites();

// Installs Query (an empty one restores the desktop's answer) and gives
// back the previous one. For tests.
TCompositingQuery SetCompositingQuery(TCompositingQuery Query);

}  // namespace velkor
