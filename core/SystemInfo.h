// Process-wide system information: the program's folders and parameters,
// the platform version, processor extensions, the current account, and the
// one pseudo-random generator of the process.
//
// SystemInfoInit fills the values once at start-up, before any other module
// of Velkor starts; afterwards they are read-only, except MyParams, which the
// main window replaces when a second instance hands its parameters over.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

struct TOSVersion {
  std::uint32_t Major = 0;
  std::uint32_t Minor = 0;

  friend bool operator==(const TOSVersion& a, const TOSVersion& b) {
    return a.Major == b.Major && a.Minor == b.Minor;
  }
  friend bool operator>(const TOSVersion& a, const TOSVersion& b) {
    return a.Major > b.Major || (a.Major == b.Major && a.Minor > b.Minor);
  }
  friend bool operator<(const TOSVersion& a, const TOSVersion& b) { return b > a; }
  friend bool operator>=(const TOSVersion& a, const TOSVersion& b) { return a > b || a == b; }
};

// Version numbers the system compares against. Several share one number.
extern TOSVersion wvServer2008, wvSeven, wvServerLonghorn, wvVista, wvServer2003, wvXP, wv2K,
    wvME, wv98, wvNT, wv95;

// The version Velkor reports as the one it runs on: a fixed value above
// Vista, so every "newer platform" path is taken.
inline constexpr TOSVersion kReportedOSVersion{10, 0};

extern std::string MyApp;                  // full path of the running executable
extern std::string MyDir, MyDirD;          // its folder, without and with a trailing "/"
extern std::string TempDir, TempDirD;      // per-user temporary folder
extern std::string SystemDir, SystemDirD;  // where the system's programs live
extern std::string WinDir, WinDirD;        // the system's root folder
extern std::vector<std::string> MyParams;  // parameters 1..n, trimmed, empty ones dropped
extern bool IsRunningFromIDE;              // a debugger was attached at start-up
extern TOSVersion OSVersion;

enum TCPUExt { ceMMX, ceEMMX, ceSSE, ceSSE2, ce3DNow, ce3DNowExt };

// One row of a program's version resource, answered by GetVersionInfoString.
using TVersionResource = std::map<std::string, std::string>;

struct TSystemInfoOptions {
  bool SeedRandom = true;      // Ostrevan leaves the generator unseeded
  bool ReportLeaks = false;    // Ostrevan asks for the leak report at shutdown
  const TVersionResource* VersionResource = nullptr;  // the program's own, if it has one
};

// Start-up: fills every value above from the process's arguments.
void SystemInfoInit(int argc, const char* const* argv, const TSystemInfoOptions& options = {});
// Clean-up: releases the values.
void SystemInfoFinalize();

// Whether the leak report at shutdown was asked for. Linux builds have no
// such report of the runtime; the flag is kept for a leak checker to read.
bool LeakReportRequested();

// Path of a well-known folder of the account (see platform/AccountFolders.h), "" when unknown.
std::string GetFolderLocation(int CSIDL);

// Index of the first parameter equal to S, or -1. Mode 0 ignores ASCII case,
// mode 1 compares exactly, any other mode finds nothing.
int IndexOfParam(std::string_view S, std::uint8_t Mode);

bool IsCPUIDAvailable();
std::uint32_t GetCPUSignature();
std::uint32_t GetCPUFeatures();
bool IsExtendedCPUIDAvailable();
std::uint32_t GetExtendedCPUFeatures();
bool HasCPUExt(TCPUExt Ext);

bool GetCurrentUserAndDomain(std::string& Domain, std::string& User);
std::string GetCurrentUserName();
std::string GetCurrentDomainName();
bool IsUserAdmin();

// Value Key of FileName's version resource, trimmed; "" when there is none.
// Only the running program can have one.
std::string GetVersionInfoString(const std::string& FileName, const std::string& Key);

std::string GetEnvVar(const std::string& Name);
// 0 on success, else an error code (platform/SystemErrors.h).
int SetEnvVar(const std::string& Name, const std::string& Value);

// The process-wide pseudo-random generator: a uniform integer in [0, n),
// 0 when n is 0. Safe to call from any thread.
std::uint32_t Random(std::uint32_t n);
// Re-seeds the generator (start-up, and tests that need a fixed sequence).
void RandSeed(std::uint64_t seed);

// Removes leading and trailing characters whose code is at most 32.
std::string TrimControl(std::string_view s);

}  // namespace velkor
