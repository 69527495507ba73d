// Processor features, timing services and the processor count of the raster
// library, plus the start-up counter every raster module uses.
//
// The feature set is computed once per process (DetectCPUFeatures, run by
// this module's start-up) and then only read: the routine registries of
// Raster_Bindings bind each routine pointer to the best variant the set
// allows, once, before any drawing.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace velkor::Raster_System {

// Ordinals are part of the contract: bit n of TCPUFeatures stands for ordinal n.
enum TCPUInstructionSet : std::uint8_t { ciMMX, ciEMMX, ciSSE, ciSSE2, ci3DNow, ci3DNowExt };

// A set of TCPUInstructionSet held in one byte (ciMMX = 1, ciEMMX = 2,
// ciSSE = 4, ciSSE2 = 8, ci3DNow = 16, ci3DNowExt = 32).
struct TCPUFeatures {
  std::uint8_t Bits = 0;

  constexpr TCPUFeatures() = default;
  constexpr explicit TCPUFeatures(std::uint8_t bits) : Bits(bits) {}
  constexpr TCPUFeatures(std::initializer_list<TCPUInstructionSet> sets) {
    for (TCPUInstructionSet s : sets) Bits |= static_cast<std::uint8_t>(1u << s);
  }

  constexpr bool Contains(TCPUInstructionSet s) const { return (Bits >> s) & 1u; }
  constexpr void Include(TCPUInstructionSet s) { Bits |= static_cast<std::uint8_t>(1u << s); }
  // Every set of `sub` is in this one.
  constexpr bool Covers(TCPUFeatures sub) const { return (sub.Bits & ~Bits) == 0; }
  constexpr bool Empty() const { return Bits == 0; }
  friend constexpr bool operator==(TCPUFeatures, TCPUFeatures) = default;
};

// The CPUID test of one instruction-set extension (core/SystemInfo holds the
// one CPUID helper of the program; the rules are the same).
bool IsInstructionSetSupported(TCPUInstructionSet Value);
// Computes the process-wide feature set once; no effect when already done.
void DetectCPUFeatures();
// The process-wide feature set, detected on first use.
TCPUFeatures CPUFeatureMask();

// Number of processors online.
int GetProcessorCount();
// Milliseconds since boot, wrapping after about 49.7 days like the counter
// the library was designed around; compare two readings by their difference.
std::uint32_t GetTickCount32();

// An interval timer over a monotonic counter. The counter ticks at 10 MHz:
// ReadValue multiplies the elapsed count by 1,000,000 in 64 bits, which at
// this frequency overflows only after about ten days (a nanosecond counter
// would overflow after two and a half hours).
class TPerfTimer {
 public:
  void Start();
  // Elapsed microseconds, rounded to nearest with ties to even.
  std::int64_t ReadValue();
  // The same number as ReadValue, as decimal text. Despite the name it
  // counts microseconds; nothing in the program reads it.
  std::string ReadNanoseconds();
  // Elapsed milliseconds / seconds with three decimals and the locale's
  // decimal separator.
  std::string ReadMilliseconds();
  std::string ReadSeconds();

 private:
  void StoreStop();
  std::int64_t Elapsed() const { return FPerformanceCountStop - FPerformanceCountStart; }

  std::int64_t FFrequency = 0;
  std::int64_t FPerformanceCountStart = 0;
  std::int64_t FPerformanceCountStop = 0;
};

// Lives from this module's start-up to its shut-down.
extern TPerfTimer* SharedPerfTimer;

// Start-up: DetectCPUFeatures and create SharedPerfTimer. Shut-down frees it.
void Startup();
void Shutdown();

// Each raster module starts at most once however often its start-up is
// called: the work runs when the counter passes from 0 to -1, and shut-down
// undoes it only when the counter climbs back to 0.
class TUnitInitCounter {
 public:
  // True when the caller should do the start-up work now.
  bool Enter() { return --FCount == -1; }
  // True when the caller should undo the start-up work now.
  bool Leave() { return FCount < 0 && ++FCount == 0; }

 private:
  int FCount = 0;
};

}  // namespace velkor::Raster_System
