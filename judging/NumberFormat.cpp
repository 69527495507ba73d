#include "judging/NumberFormat.h"

#include <mutex>
#include <utility>

namespace velkor {
namespace {

std::mutex gSourceLock;
TNumberFormatSource gSource;

}  // namespace

TNumberFormatSource SetNumberFormatSource(TNumberFormatSource Source) {
  std::lock_guard<std::mutex> lock(gSourceLock);
  return std::exchange(gSource, std::move(Source));
}

std::string FormatScore(double Value) {
  TNumberFormatSource source;
  {
    std::lock_guard<std::mutex> lock(gSourceLock);
    source = gSource;
  }
  std::string pattern = source ? source() : std::string();
  if (pattern.empty()) pattern = kDefaultNumberFormat;
  return FormatNumber(pattern, Value);
}

}  // namespace velkor
