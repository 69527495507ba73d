// The four base classes of the raster library's objects. The bitmap, its
// backends, the samplers, the transformations, the layers, the polygon
// renderers and the paths all descend from them; each level adds one concern:
//
//   TPlainInterfacedPersistent  optional reference counting
//   TNotifiablePersistent       change notification that can be suspended
//   TThreadPersistent           a recursive lock per object
//   TCustomMap                  a width and a height, with resize notification
//
// Reference counting: an object is counted only when its class sets
// FRefCounted in its constructor; it is then destroyed by its last Release.
// While constructors run, the count holds one extra reference (set by the
// base constructor, dropped by AfterConstruction, which New<T> calls), so a
// constructor that takes and drops a reference cannot destroy its own object.
// An uncounted object lives until it is freed; AddRef and Release answer -1.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "graphics/Persistent.h"

namespace velkor {

// Results of QueryInterface.
inline constexpr std::int32_t S_OK = 0;
inline constexpr std::int32_t E_NOINTERFACE = static_cast<std::int32_t>(0x80004002u);

class TPlainInterfacedPersistent : public TPersistent {
 public:
  TPlainInterfacedPersistent() = default;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // Looks up interface I (an abstract class) on this object. On success
  // Obj is set, a reference is taken for it and S_OK returned; otherwise
  // Obj is nullptr and the result E_NOINTERFACE.
  template <class I>
  std::int32_t QueryInterface(I*& Obj) {
    Obj = dynamic_cast<I*>(this);
    if (!Obj) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  // The new count, or -1 (and no change) for an uncounted object.
  int AddRef();
  // The new count, or -1 for an uncounted object. A counted object is
  // destroyed when the count reaches 0; it must have been made with new.
  int Release();

  int RefCount() const { return FRefCount.load(); }

  // Drops the construction guard (once, however often it is called).
  void AfterConstruction() override;
  // Raises "Unmatched reference counting." when a counted object still has
  // references; Free calls it before destroying.
  virtual void BeforeDestruction();

  // The explicit way to destroy an object of this family: BeforeDestruction,
  // then delete. Destroying a counted object that still has references
  // raises and leaves the object alive.
  static void Free(TPlainInterfacedPersistent* Obj);

 protected:
  bool FRefCounted = false;

 private:
  std::atomic<int> FRefCount{1};
  bool FConstructing = true;
};

class TNotifiablePersistent : public TPlainInterfacedPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // Reports a change through OnChange, unless updates are suspended.
  virtual void Changed();
  // Suspend and resume change reports; nesting counts. Nothing is queued
  // meanwhile and EndUpdate reports nothing: the caller calls Changed after
  // the outermost EndUpdate. An unmatched EndUpdate leaves the count at 0
  // rather than suspending reports for good.
  virtual void BeginUpdate();
  virtual void EndUpdate();

  int UpdateCount() const { return FUpdateCount; }

  TNotifyEvent OnChange;

 protected:
  int FUpdateCount = 0;
};

class TThreadPersistent : public TNotifiablePersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // A recursive lock of this object: the same thread may take it again.
  void Lock();
  void Unlock();
  // How many threads hold or wait for the lock, for diagnostics.
  int LockCount() const { return FLockCount.load(); }

 private:
  std::atomic<int> FLockCount{0};
  std::recursive_mutex FLock;
};

class TCustomMap : public TThreadPersistent {
 public:
  TCustomMap() = default;
  // Sets the size at once. Constructors cannot reach a descendant's
  // ChangeSize, so a descendant that keeps storage gives itself this
  // constructor too and calls SetSize in its own body.
  TCustomMap(int Width, int Height);

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  virtual void SetWidth(int Value);
  virtual void SetHeight(int Value);

  // Negative sizes count as 0. On a real change: ChangeSize, Changed,
  // Resized, and True; otherwise nothing happens and the result is False.
  virtual bool SetSize(int NewWidth, int NewHeight);
  // Takes the size of another map, a picture or a control; nil empties the
  // map; any other source raises EPersistentError "Can't set size from '<class>'"
  // and leaves the size alone.
  bool SetSizeFrom(const TPersistent* Source);

  // SetSize(0, 0).
  virtual void Delete();
  // True when the map has no pixels.
  virtual bool Empty() const;

  TNotifyEvent OnResize;

 protected:
  // Stores the new size into Width and Height (passed as this map's own
  // fields). Descendants reallocate their storage here first.
  virtual void ChangeSize(int& Width, int& Height, int NewWidth, int NewHeight);
  // Reports the resize through OnResize.
  virtual void Resized();

  int FWidth = 0;
  int FHeight = 0;
};

}  // namespace velkor
