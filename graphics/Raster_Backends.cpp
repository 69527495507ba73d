// The backend base (storage hand-over between a bitmap and its surface) and
// the switch to a backend with the capabilities a caller needs.
#include "graphics/Raster_Backends.h"

#include <memory>

#include "graphics/Raster_LowLevel.h"

namespace velkor {

// --- TCustomBackend -------------------------------------------------------------

TCustomBackend::TCustomBackend() {
  FRefCounted = true;
  AddRef();
}

TCustomBackend::TCustomBackend(TCustomBitmap32* Owner) : TCustomBackend() { FOwner = Owner; }

TCustomBackend::~TCustomBackend() {
  try {
    Clear();
  } catch (...) {
    // Emptying allocates nothing; a destructor must not raise.
  }
}

const TClassInfo& TCustomBackend::StaticClass() {
  static const TClassInfo info{"TCustomBackend", &TThreadPersistent::StaticClass(), {}, {}};
  return info;
}

void TCustomBackend::AfterConstruction() {
  TThreadPersistent::AfterConstruction();
  if (FOwner) FOwner->SetBackend(this);
}

void TCustomBackend::Assign(const TPersistent* Source) {
  auto* source = dynamic_cast<const TCustomBackend*>(Source);
  if (!source || !FOwner) {
    TThreadPersistent::Assign(Source);
    return;
  }
  // Read the source's size first: during a backend switch both backends
  // serve the same bitmap, and ChangeSize zeroes its size fields.
  const TCustomBitmap32* sourceOwner = source->FOwner;
  const int width = sourceOwner ? sourceOwner->FWidth : 0;
  const int height = sourceOwner ? sourceOwner->FHeight : 0;
  ChangeSize(FOwner->FWidth, FOwner->FHeight, width, height, false);
  if (!source->Empty() && source->FBits && FBits) {
    Raster_LowLevel::MoveLongwords(source->FBits, FBits, width * height);
  }
}

void TCustomBackend::Clear() {
  int width = 0, height = 0;
  if (FOwner) {
    ChangeSize(FOwner->FWidth, FOwner->FHeight, 0, 0, false);
  } else {
    ChangeSize(width, height, 0, 0, false);
  }
}

bool TCustomBackend::Empty() const { return false; }

void TCustomBackend::ChangeSize(int& Width, int& Height, int NewWidth, int NewHeight, bool ClearBuffer) {
  try {
    NotifyChanging();
    FreeSurface();
    Width = 0;
    Height = 0;
    if (NewWidth > 0 && NewHeight > 0) AllocateSurface(NewWidth, NewHeight, ClearBuffer);
    Width = NewWidth;
    Height = NewHeight;
  } catch (...) {
    Changed();
    throw;
  }
  Changed();
}

void TCustomBackend::NotifyChanging() {
  if (OnChanging) OnChanging(this);
}

void TCustomBackend::AllocateSurface(int, int, bool) {}

void TCustomBackend::FreeSurface() {}

// --- switching ------------------------------------------------------------------

void RequireBackendInterfaces(TCustomBitmap32* TargetBitmap, std::span<const TBackendInterface> RequiredInterfaces,
                              int Mode, bool UseOptimizedDestructiveSwitchMethod,
                              TCustomBackend*& ReleasedBackend) {
  ReleasedBackend = nullptr;
  if (!TargetBitmap) return;
  const TCustomBackend* current = TargetBitmap->Backend();
  bool supported = false;
  if (!RequiredInterfaces.empty()) {
    if (Mode == 0) {
      supported = true;
      for (TBackendInterface test : RequiredInterfaces) {
        if (!test(current)) {
          supported = false;
          break;
        }
      }
    } else {
      for (TBackendInterface test : RequiredInterfaces) {
        if (test(current)) {
          supported = true;
          break;
        }
      }
    }
  }
  if (supported) return;

  if (UseOptimizedDestructiveSwitchMethod) TargetBitmap->SetSize(0, 0);
  TCustomBackendClass platformClass = TargetBitmap->GetPlatformBackendClass();
  std::unique_ptr<TPersistent> made = platformClass->Create();
  auto* backend = dynamic_cast<TCustomBackend*>(made.get());
  if (!backend) {
    throw EBitmapException("Class '" + std::string(platformClass->Name) + "' is not a bitmap backend");
  }
  made.release();
  ReleasedBackend = TargetBitmap->ReleaseBackend();
  try {
    TargetBitmap->SetBackend(backend);
  } catch (...) {
    // The bitmap keeps its backend; neither extra reference is needed.
    backend->Release();
    if (ReleasedBackend) ReleasedBackend->Release();
    ReleasedBackend = nullptr;
    throw;
  }
}

void RequireBackendInterfaces(TCustomBitmap32* TargetBitmap,
                              std::initializer_list<TBackendInterface> RequiredInterfaces, int Mode,
                              bool UseOptimizedDestructiveSwitchMethod, TCustomBackend*& ReleasedBackend) {
  RequireBackendInterfaces(TargetBitmap, std::span<const TBackendInterface>(RequiredInterfaces), Mode,
                           UseOptimizedDestructiveSwitchMethod, ReleasedBackend);
}

void RestoreBackend(TCustomBitmap32* TargetBitmap, TCustomBackend* ReleasedBackend) {
  if (!ReleasedBackend) return;
  if (!TargetBitmap) {
    ReleasedBackend->Release();
    return;
  }
  try {
    TargetBitmap->SetBackend(ReleasedBackend);
  } catch (...) {
    // The pixels could not go back: the bitmap stays on the temporary
    // backend, and the released one is let go.
    ReleasedBackend->Release();
    throw;
  }
}

}  // namespace velkor
