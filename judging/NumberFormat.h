// Scores as the jury sees them: the environment's number pattern (default
// "%.2n", see core/NumberFormat.h) applied to one floating-point value in
// the user's locale.
#pragma once

#include <functional>
#include <string>

#include "core/NumberFormat.h"

namespace velkor {

// Where score texts take their pattern from: the environment settings bind
// their NumberFormat here at start-up; without a binding (or when it gives
// an empty text) scores use "%.2n". Returns the previous source.
using TNumberFormatSource = std::function<std::string()>;
TNumberFormatSource SetNumberFormatSource(TNumberFormatSource Source);

// Value formatted with the bound pattern in the current locale: the text
// of a score in reports and logs.
std::string FormatScore(double Value);

}  // namespace velkor
