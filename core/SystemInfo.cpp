#include "core/SystemInfo.h"

#include <cpuid.h>

#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>

#include "core/NameCompare.h"
#include "platform/CurrentProcess.h"
#include "platform/AccountFolders.h"
#include "platform/SystemErrors.h"

namespace velkor {

TOSVersion wvServer2008, wvSeven, wvServerLonghorn, wvVista, wvServer2003, wvXP, wv2K, wvME,
    wv98, wvNT, wv95;

std::string MyApp, MyDir, MyDirD, TempDir, TempDirD, SystemDir, SystemDirD, WinDir, WinDirD;
std::vector<std::string> MyParams;
bool IsRunningFromIDE = false;
TOSVersion OSVersion;

namespace {

bool gReportLeaks = false;
const TVersionResource* gVersionResource = nullptr;

std::mutex gRandomMutex;
std::mt19937 gRandom;  // default-seeded until start-up seeds it

std::string WithDelimiter(const std::string& dir) {
  return !dir.empty() && dir.back() == '/' ? dir : dir + "/";
}

std::string WithoutDelimiter(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

void SetVer(TOSVersion& v, std::uint32_t major, std::uint32_t minor) { v = {major, minor}; }

void InitWindowsVersionConstants() {
  SetVer(wvServer2008, 6, 1);
  SetVer(wvSeven, 6, 1);
  SetVer(wvServerLonghorn, 6, 0);
  SetVer(wvVista, 6, 0);
  SetVer(wvServer2003, 5, 2);
  SetVer(wvXP, 5, 1);
  SetVer(wv2K, 5, 0);
  SetVer(wvME, 4, 9);
  SetVer(wv98, 4, 1);
  SetVer(wvNT, 4, 0);
  SetVer(wv95, 4, 0);
}

struct CpuidRegs {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

CpuidRegs Cpuid(unsigned leaf) {
  CpuidRegs r;
#if defined(__x86_64__) || defined(__i386__)
  __cpuid(leaf, r.eax, r.ebx, r.ecx, r.edx);
#else
  (void)leaf;
#endif
  return r;
}

void InitTempDir() {
  TempDir = platform::TemporaryFolder();
  if (TempDir.empty()) {
    TempDir = WithDelimiter(GetFolderLocation(platform::kFolderDocuments)) + "temp";
    std::error_code ec;
    std::filesystem::create_directories(TempDir, ec);
  }
  TempDirD = WithDelimiter(TempDir);
}

}  // namespace

std::string TrimControl(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return std::string(s.substr(b, e - b));
}

void SystemInfoInit(int argc, const char* const* argv, const TSystemInfoOptions& options) {
  InitWindowsVersionConstants();

  MyApp = platform::ExecutablePath();
  if (MyApp.empty() && argc > 0 && argv[0]) MyApp = argv[0];
  MyDir = WithoutDelimiter(std::filesystem::path(MyApp).parent_path().string());
  MyDirD = WithDelimiter(MyDir);

  OSVersion = kReportedOSVersion;

  MyParams.clear();
  MyParams.reserve(argc > 1 ? static_cast<std::size_t>(argc - 1) : 0);
  for (int i = 1; i < argc; ++i) {
    std::string p = TrimControl(argv[i] ? argv[i] : "");
    if (!p.empty()) MyParams.push_back(std::move(p));
  }

  InitTempDir();

  SystemDir = "/usr/bin";
  SystemDirD = WithDelimiter(SystemDir);
  WinDir = "/usr";
  WinDirD = WithDelimiter(WinDir);

  IsRunningFromIDE = platform::DebuggerAttached();

  if (options.SeedRandom)
    RandSeed(static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count()));

  gReportLeaks = options.ReportLeaks;
  gVersionResource = options.VersionResource;
}

void SystemInfoFinalize() {
  for (std::string* s : {&MyApp, &MyDir, &MyDirD, &TempDir, &TempDirD, &SystemDir, &SystemDirD,
                         &WinDir, &WinDirD})
    s->clear();
  MyParams.clear();
  gVersionResource = nullptr;
}

bool LeakReportRequested() { return gReportLeaks; }

std::string GetFolderLocation(int CSIDL) { return platform::SpecialFolderPath(CSIDL); }

int IndexOfParam(std::string_view S, std::uint8_t Mode) {
  for (std::size_t i = 0; i < MyParams.size(); ++i) {
    if ((Mode == 0 && SameText(MyParams[i], S)) || (Mode == 1 && MyParams[i] == S))
      return static_cast<int>(i);
  }
  return -1;
}

bool IsCPUIDAvailable() {
#if defined(__x86_64__)
  return true;  // every x86-64 processor has CPUID
#elif defined(__i386__)
  return __get_cpuid_max(0, nullptr) != 0;
#else
  return false;
#endif
}

std::uint32_t GetCPUSignature() { return Cpuid(1).eax; }
std::uint32_t GetCPUFeatures() { return Cpuid(1).edx; }

bool IsExtendedCPUIDAvailable() {
  return IsCPUIDAvailable() && Cpuid(0x80000000u).eax > 0x80000000u;
}

std::uint32_t GetExtendedCPUFeatures() { return Cpuid(0x80000001u).edx; }

bool HasCPUExt(TCPUExt Ext) {
  if (!IsCPUIDAvailable() || ((GetCPUSignature() >> 8) & 0xF) < 5) return false;
  constexpr std::uint32_t kMasks[] = {0x00800000, 0x00400000, 0x02000000,
                                      0x04000000, 0x80000000, 0x40000000};
  const std::uint32_t mask = kMasks[Ext];
  switch (Ext) {
    case ceEMMX:
      if (GetCPUFeatures() & kMasks[ceSSE]) return true;
      return IsExtendedCPUIDAvailable() && (GetExtendedCPUFeatures() & mask);
    case ce3DNow:
    case ce3DNowExt:
      return IsExtendedCPUIDAvailable() && (GetExtendedCPUFeatures() & mask);
    default:
      return (GetCPUFeatures() & mask) != 0;
  }
}

bool GetCurrentUserAndDomain(std::string& Domain, std::string& User) {
  return platform::CurrentUserAndHost(User, Domain);
}

std::string GetCurrentUserName() {
  std::string domain, user;
  GetCurrentUserAndDomain(domain, user);
  return user;
}

std::string GetCurrentDomainName() {
  std::string domain, user;
  GetCurrentUserAndDomain(domain, user);
  return domain;
}

bool IsUserAdmin() { return platform::IsPrivileged(); }

std::string GetVersionInfoString(const std::string& FileName, const std::string& Key) {
  if (!gVersionResource || FileName.empty()) return {};
  std::error_code ec;
  const auto file = std::filesystem::canonical(FileName, ec);
  if (ec) return {};
  const auto self = std::filesystem::canonical(MyApp, ec);
  if (ec || file != self) return {};
  auto it = gVersionResource->find(Key);
  if (it == gVersionResource->end()) return {};
  return TrimControl(it->second);
}

std::string GetEnvVar(const std::string& Name) {
  const char* v = std::getenv(Name.c_str());
  return v ? std::string(v) : std::string();
}

int SetEnvVar(const std::string& Name, const std::string& Value) {
  if (Name.empty() || Name.find('=') != std::string::npos)
    return static_cast<int>(platform::kErrorInvalidParameter);
  if (setenv(Name.c_str(), Value.c_str(), 1) != 0)
    return static_cast<int>(platform::ErrorCodeFromErrno(errno));
  return 0;
}

// Unbiased multiply-and-shift reduction: one 32-bit draw and one
// multiplication in the common case; the treaps and the sort call this once
// per item.
std::uint32_t Random(std::uint32_t n) {
  if (n == 0) return 0;
  std::lock_guard lock(gRandomMutex);
  std::uint64_t m = std::uint64_t{gRandom()} * n;
  if (static_cast<std::uint32_t>(m) < n) {
    const std::uint32_t threshold = (0u - n) % n;
    while (static_cast<std::uint32_t>(m) < threshold) m = std::uint64_t{gRandom()} * n;
  }
  return static_cast<std::uint32_t>(m >> 32);
}

void RandSeed(std::uint64_t seed) {
  std::lock_guard lock(gRandomMutex);
  gRandom.seed(static_cast<std::uint32_t>(seed ^ (seed >> 32)));
}

}  // namespace velkor
