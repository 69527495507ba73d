#include "app/TickClock.h"

#include <QElapsedTimer>

#include <utility>

namespace velkor {

namespace {

std::uint32_t MonotonicTicks() {
  static QElapsedTimer started = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return static_cast<std::uint32_t>(started.elapsed());
}

TTickClock& Clock() {
  static TTickClock clock;
  return clock;
}

}  // namespace

TTickClock SetTickClock(TTickClock NewClock) { return std::exchange(Clock(), std::move(NewClock)); }

std::uint32_t GetTickCount() { return Clock() ? Clock()() : MonotonicTicks(); }

}  // namespace velkor
