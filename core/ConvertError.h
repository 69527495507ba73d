// The error of a text that does not convert to the type its reader asked
// for (StrToBool, StrToInt64 and the XML attribute readers raise it).
//
// Kept out of core/NumberFormat.h: the raster library declares a class of
// the same name for its own conversions (graphics/Persistent.h), token for
// token the same, and the GUI components include both libraries' headers.
// A translation unit that needs to catch it includes one of the two.
#pragma once

#include <stdexcept>

namespace velkor {

class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velkor
