#include "graphics/RasterPersistents.h"

#include <string>

namespace velkor {

// --- TPlainInterfacedPersistent --------------------------------------------

const TClassInfo& TPlainInterfacedPersistent::StaticClass() {
  static const TClassInfo info{"TPlainInterfacedPersistent", &TPersistent::StaticClass(),
                               [] { return New<TPlainInterfacedPersistent>(); }, {}};
  return info;
}

int TPlainInterfacedPersistent::AddRef() {
  if (!FRefCounted) return -1;
  return FRefCount.fetch_add(1) + 1;
}

int TPlainInterfacedPersistent::Release() {
  if (!FRefCounted) return -1;
  int count = FRefCount.fetch_sub(1) - 1;
  if (count == 0) delete this;
  return count;
}

void TPlainInterfacedPersistent::AfterConstruction() {
  TPersistent::AfterConstruction();
  if (!FConstructing) return;
  FConstructing = false;
  FRefCount.fetch_sub(1);
}

void TPlainInterfacedPersistent::BeforeDestruction() {
  if (FRefCounted && FRefCount.load() != 0) {
    throw EPersistentError("Unmatched reference counting.");
  }
}

void TPlainInterfacedPersistent::Free(TPlainInterfacedPersistent* Obj) {
  if (!Obj) return;
  Obj->BeforeDestruction();
  delete Obj;
}

// --- TNotifiablePersistent -------------------------------------------------

const TClassInfo& TNotifiablePersistent::StaticClass() {
  static const TClassInfo info{"TNotifiablePersistent",
                               &TPlainInterfacedPersistent::StaticClass(),
                               [] { return New<TNotifiablePersistent>(); }, {}};
  return info;
}

void TNotifiablePersistent::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TNotifiablePersistent::BeginUpdate() { ++FUpdateCount; }

void TNotifiablePersistent::EndUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
}

// --- TThreadPersistent -----------------------------------------------------

const TClassInfo& TThreadPersistent::StaticClass() {
  static const TClassInfo info{"TThreadPersistent", &TNotifiablePersistent::StaticClass(),
                               [] { return New<TThreadPersistent>(); }, {}};
  return info;
}

void TThreadPersistent::Lock() {
  FLockCount.fetch_add(1);
  FLock.lock();
}

void TThreadPersistent::Unlock() {
  FLock.unlock();
  FLockCount.fetch_sub(1);
}

// --- TCustomMap ------------------------------------------------------------

const TClassInfo& TCustomMap::StaticClass() {
  static const TClassInfo info{"TCustomMap", &TThreadPersistent::StaticClass(),
                               [] { return New<TCustomMap>(); }, {}};
  return info;
}

TCustomMap::TCustomMap(int Width, int Height) { SetSize(Width, Height); }

void TCustomMap::SetWidth(int Value) { SetSize(Value, FHeight); }

void TCustomMap::SetHeight(int Value) { SetSize(FWidth, Value); }

bool TCustomMap::SetSize(int NewWidth, int NewHeight) {
  if (NewWidth < 0) NewWidth = 0;
  if (NewHeight < 0) NewHeight = 0;
  if (NewWidth == FWidth && NewHeight == FHeight) return false;
  ChangeSize(FWidth, FHeight, NewWidth, NewHeight);
  Changed();
  Resized();
  return true;
}

bool TCustomMap::SetSizeFrom(const TPersistent* Source) {
  if (auto* map = dynamic_cast<const TCustomMap*>(Source)) {
    return SetSize(map->Width(), map->Height());
  }
  if (auto* graphic = dynamic_cast<const TGraphic*>(Source)) {
    return SetSize(graphic->Width(), graphic->Height());
  }
  if (auto* control = dynamic_cast<const TControl*>(Source)) {
    return SetSize(control->Width(), control->Height());
  }
  if (!Source) return SetSize(0, 0);
  throw EPersistentError("Can't set size from '" + std::string(Source->ClassName()) + "'");
}

void TCustomMap::ChangeSize(int& Width, int& Height, int NewWidth, int NewHeight) {
  Width = NewWidth;
  Height = NewHeight;
}

void TCustomMap::Delete() { SetSize(0, 0); }

bool TCustomMap::Empty() const { return FWidth == 0 || FHeight == 0; }

void TCustomMap::Resized() {
  if (OnResize) OnResize(this);
}

}  // namespace velkor
