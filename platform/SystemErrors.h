// Error codes and their texts, in the numbering the rest of Velkor reports.
//
// The judge stores and shows Windows-style error codes (the process runner's
// start failures, SetEnvVar, the shell file routines). On Linux every failure
// arrives as an errno; this one table turns it into such a code. Codes with
// no Windows counterpart are 0x20000000 | errno (the "application-defined"
// bit of Windows codes), so they never collide with a real one.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>

namespace velkor::platform {

inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorBadExeFormat = 193;
inline constexpr std::uint32_t kErrorDirectory = 267;
inline constexpr std::uint32_t kErrnoCodeBit = 0x20000000;

// The code for an errno value; 0 stays 0.
std::uint32_t ErrorCodeFromErrno(int err);

// The system text for a code made by ErrorCodeFromErrno, in Vietnamese as
// everything the jury reads.
std::string SystemErrorMessage(std::uint32_t code);

// SystemErrorMessage(ErrorCodeFromErrno(err)).
std::string ErrnoMessage(int err);

// A failure of the system call that What names (in Vietnamese): what()
// reads "What: " and ErrnoMessage(err); code() is err, equal to the same
// errno of the generic category.
std::system_error SystemError(int err, const std::string& What);

}  // namespace velkor::platform
