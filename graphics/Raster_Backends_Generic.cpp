#include "graphics/Raster_Backends_Generic.h"

#include <unistd.h>

#include <algorithm>
#include <new>
#include <string>

#include "core/SystemInfo.h"
#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_System.h"

namespace velkor {

namespace {

constexpr std::size_t kSurfaceAlignment = 64;

// A surface larger than the machine's memory would be accepted by an
// overcommitting allocator and then kill the process while it is filled;
// refuse it up front.
std::uint64_t PhysicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
  return std::uint64_t(pages) * std::uint64_t(pageSize);
}

}  // namespace

TMemoryBackend::~TMemoryBackend() { FreeSurface(); }

const TClassInfo& TMemoryBackend::StaticClass() {
  static const TClassInfo info{"TMemoryBackend", &TCustomBackend::StaticClass(),
                               [] { return New<TMemoryBackend>(); }, {}};
  return info;
}

void TMemoryBackend::AllocateSurface(int NewWidth, int NewHeight, bool ClearBuffer) {
  const std::uint64_t pixels = std::uint64_t(NewWidth) * std::uint64_t(NewHeight);
  const std::uint64_t bytes = pixels * sizeof(TColor32);
  void* memory = nullptr;
  if (bytes <= PhysicalMemoryBytes() && pixels <= std::uint64_t(PTRDIFF_MAX) / sizeof(TColor32)) {
    memory = ::operator new(std::size_t(bytes), std::align_val_t(kSurfaceAlignment), std::nothrow);
  }
  if (!memory) {
    throw EBitmapException("Can't allocate a bitmap of " + std::to_string(NewWidth) + " x " +
                           std::to_string(NewHeight) + " pixels: out of memory");
  }
  FBits = static_cast<PColor32Array>(memory);
  if (ClearBuffer) {
    // The bound fill takes a 32-bit count.
    for (std::uint64_t done = 0; done < pixels;) {
      const std::uint32_t count = std::uint32_t(std::min<std::uint64_t>(pixels - done, 0x40000000u));
      Raster_LowLevel::FillLongwords(FBits + done, count, 0xFF000000u);
      done += count;
    }
  }
}

void TMemoryBackend::FreeSurface() {
  if (FBits) ::operator delete(FBits, std::align_val_t(kSurfaceAlignment));
  FBits = nullptr;
}

}  // namespace velkor

namespace velkor::Raster_Backends_Generic {

std::string TempPath;

namespace {
Raster_System::TUnitInitCounter gUnitCounter;
}

void Startup() {
  if (!gUnitCounter.Enter()) return;
  TempPath = TempDir;
  if (!TempPath.empty() && TempPath.back() != '/') TempPath += '/';
}

void Shutdown() {
  if (gUnitCounter.Leave()) TempPath.clear();
}

}  // namespace velkor::Raster_Backends_Generic
