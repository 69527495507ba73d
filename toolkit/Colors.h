// The toolkit's colour value and its system-colour references.
//
// A TColor is $00BBGGRR for a plain colour. A negative value ($FF0000nn)
// refers to system colour nn instead; the raster library's GetSysColor gives
// the classic value of such a reference, and the style services map it to
// the active visual style (VisualStyles.h).
#pragma once

#include <cstdint>

// TColor itself, the plain colours and the few system colours the raster
// library's fonts need are defined there, below the toolkit.
#include "graphics/Fonts.h"

namespace velkor {

constexpr TColor clSystemColor = std::int32_t(0xFF000000u);
constexpr TColor SystemColorRef(int Index) { return clSystemColor | Index; }
constexpr bool IsSystemColorRef(TColor C) { return (std::uint32_t(C) & 0xFF000000u) == 0xFF000000u; }
constexpr int SystemColorIndex(TColor C) { return int(std::uint32_t(C) & 0xFF); }

constexpr TColor clScrollBar = SystemColorRef(0);
constexpr TColor clBackground = SystemColorRef(1);
constexpr TColor clActiveCaption = SystemColorRef(2);
constexpr TColor clInactiveCaption = SystemColorRef(3);
constexpr TColor clMenu = SystemColorRef(4);
constexpr TColor clWindow = SystemColorRef(5);
constexpr TColor clWindowFrame = SystemColorRef(6);
constexpr TColor clMenuText = SystemColorRef(7);
constexpr TColor clCaptionText = SystemColorRef(9);
constexpr TColor clActiveBorder = SystemColorRef(10);
constexpr TColor clInactiveBorder = SystemColorRef(11);
constexpr TColor clAppWorkSpace = SystemColorRef(12);
constexpr TColor clHighlight = SystemColorRef(13);
constexpr TColor clHighlightText = SystemColorRef(14);
constexpr TColor clBtnFace = SystemColorRef(15);
constexpr TColor clBtnShadow = SystemColorRef(16);
constexpr TColor clGrayText = SystemColorRef(17);
constexpr TColor clInactiveCaptionText = SystemColorRef(19);
constexpr TColor clBtnHighlight = SystemColorRef(20);
constexpr TColor cl3DDkShadow = SystemColorRef(21);
constexpr TColor cl3DLight = SystemColorRef(22);
constexpr TColor clInfoText = SystemColorRef(23);
constexpr TColor clInfoBk = SystemColorRef(24);
constexpr TColor clHotLight = SystemColorRef(26);
constexpr TColor clGradientActiveCaption = SystemColorRef(27);
constexpr TColor clGradientInactiveCaption = SystemColorRef(28);
constexpr TColor clMenuHighlight = SystemColorRef(29);
constexpr TColor clMenuBar = SystemColorRef(30);
constexpr int kSystemColorCount = 31;

// The plain $00BBGGRR value of C, a system-colour reference taking its
// classic value.
std::uint32_t ColorToRGB(TColor C);

}  // namespace velkor
