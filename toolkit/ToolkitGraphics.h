// The toolkit's graphics over Qt, for the callers that use several parts:
// surfaces and device contexts (toolkit/Surfaces.h), the canvas with
// bitmaps, icons and metafiles (toolkit/CanvasGraphics.h), and pictures
// with their file-format registry and the clipboard (toolkit/Pictures.h).
#pragma once

#include "toolkit/CanvasGraphics.h"
#include "toolkit/Pictures.h"
#include "toolkit/Surfaces.h"
