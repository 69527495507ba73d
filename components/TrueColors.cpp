#include "components/TrueColors.h"

#include "toolkit/VisualStyles.h"

namespace velkor {

TTrueColor ColorToTrueColor(TColor C) {
  if (IsCustomStyleActive()) C = GetSystemColor(C);
  return TTrueColor(WinColorToColor32(C));
}

}  // namespace velkor
