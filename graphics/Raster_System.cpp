#include "graphics/Raster_System.h"

#include <unistd.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <ctime>
#include <memory>

#include "core/SystemInfo.h"

namespace velkor::Raster_System {

namespace {

TCPUFeatures gFeatures;
bool gFeaturesComputed = false;
TUnitInitCounter gUnitCounter;
std::unique_ptr<TPerfTimer> gSharedTimer;

// The performance counter: CLOCK_MONOTONIC in 100 ns ticks.
constexpr std::int64_t kCounterFrequency = 10'000'000;

std::int64_t QueryPerformanceCounter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t(ts.tv_sec) * kCounterFrequency + ts.tv_nsec / 100;
}

// Fixed notation with three decimals, then the locale's decimal separator
// in place of the point, so the text reads as the user expects it.
std::string FormatThreeDecimals(long double value) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                 std::chars_format::fixed, 3);
  if (ec != std::errc()) return "0.000";
  std::string text(buf, end);
  const char* sep = std::localeconv()->decimal_point;
  if (sep && *sep && std::string_view(sep) != ".") {
    const auto dot = text.find('.');
    if (dot != std::string::npos) text.replace(dot, 1, sep);
  }
  return text;
}

}  // namespace

TPerfTimer* SharedPerfTimer = nullptr;

bool IsInstructionSetSupported(TCPUInstructionSet Value) {
  // The ordinals of both enumerations are the same six extensions.
  return HasCPUExt(static_cast<TCPUExt>(Value));
}

void DetectCPUFeatures() {
  if (gFeaturesComputed) return;
  TCPUFeatures set;
  for (int i = ciMMX; i <= ci3DNowExt; ++i) {
    const auto s = static_cast<TCPUInstructionSet>(i);
    if (IsInstructionSetSupported(s)) set.Include(s);
  }
  gFeatures = set;
  gFeaturesComputed = true;
}

TCPUFeatures CPUFeatureMask() {
  if (!gFeaturesComputed) DetectCPUFeatures();
  return gFeatures;
}

int GetProcessorCount() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

std::uint32_t GetTickCount32() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  const std::uint64_t ms = std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1'000'000u;
  return static_cast<std::uint32_t>(ms);
}

void TPerfTimer::Start() { FPerformanceCountStart = QueryPerformanceCounter(); }

void TPerfTimer::StoreStop() {
  FPerformanceCountStop = QueryPerformanceCounter();
  FFrequency = kCounterFrequency;
}

std::int64_t TPerfTimer::ReadValue() {
  StoreStop();
  // Product in 64-bit integers, division in extended precision, rounding
  // to nearest with ties to even (the default rounding mode).
  const long double us = static_cast<long double>(Elapsed() * 1'000'000) / FFrequency;
  return static_cast<std::int64_t>(std::nearbyintl(us));
}

std::string TPerfTimer::ReadNanoseconds() { return std::to_string(ReadValue()); }

std::string TPerfTimer::ReadMilliseconds() {
  StoreStop();
  return FormatThreeDecimals(static_cast<long double>(Elapsed()) * 1000 / FFrequency);
}

std::string TPerfTimer::ReadSeconds() {
  StoreStop();
  return FormatThreeDecimals(static_cast<long double>(Elapsed()) / FFrequency);
}

void Startup() {
  if (!gUnitCounter.Enter()) return;
  DetectCPUFeatures();
  gSharedTimer = std::make_unique<TPerfTimer>();
  SharedPerfTimer = gSharedTimer.get();
}

void Shutdown() {
  if (!gUnitCounter.Leave()) return;
  SharedPerfTimer = nullptr;
  gSharedTimer.reset();
}

}  // namespace velkor::Raster_System
