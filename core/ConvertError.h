// The error of a text that does not convert to the type its reader asked
// for (StrToBool, StrToInt64 and the XML attribute readers raise it).
// The raster library's property conversions raise it too
// (graphics/Persistent.h).
#pragma once

#include <stdexcept>

namespace velkor {

class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velkor
