// The plain-memory backend: the storage of a bitmap that needs no toolkit.
#pragma once

#include <string>

#include "graphics/Raster.h"

namespace velkor {

// A surface of fresh memory (64-byte aligned), filled with $FF000000 when
// asked to clear. A size whose pixels do not fit in memory raises
// EBitmapException and leaves the owner 0 x 0.
class TMemoryBackend : public TCustomBackend {
 public:
  using TCustomBackend::TCustomBackend;
  ~TMemoryBackend() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

 protected:
  void AllocateSurface(int NewWidth, int NewHeight, bool ClearBuffer) override;
  void FreeSurface() override;
};

}  // namespace velkor

namespace velkor::Raster_Backends_Generic {

// The temporary folder with a trailing "/", kept from start-up to shut-down
// (no backend of this build uses it).
extern std::string TempPath;

void Startup();
void Shutdown();

}  // namespace velkor::Raster_Backends_Generic
