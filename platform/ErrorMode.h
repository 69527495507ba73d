// The process's error mode: which failures the system reports by itself.
// Of its flags only "no fault error box" has a meaning here: while it is
// set, a crash of Velkor or of anything it starts leaves no core file
// behind (the core size limit is 0). The other flags are kept and reported
// back, so a caller can save and restore the mode as a whole.
#pragma once

#include <cstdint>

namespace velkor::platform {

inline constexpr std::uint32_t SEM_FAILCRITICALERRORS = 0x0001;
inline constexpr std::uint32_t SEM_NOGPFAULTERRORBOX = 0x0002;
inline constexpr std::uint32_t SEM_NOALIGNMENTFAULTEXCEPT = 0x0004;
inline constexpr std::uint32_t SEM_NOOPENFILEERRORBOX = 0x8000;

std::uint32_t GetErrorMode();
// Sets the mode and returns the previous one.
std::uint32_t SetErrorMode(std::uint32_t Mode);

}  // namespace velkor::platform
