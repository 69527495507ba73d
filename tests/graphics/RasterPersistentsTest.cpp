#include "graphics/RasterPersistents.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace velkor {
namespace {

// Records every OnChange and OnResize of a map, in order.
struct EventLog {
  std::vector<std::string> Events;

  void Attach(TCustomMap& map) {
    map.OnChange = [this](TObject*) { Events.push_back("change"); };
    map.OnResize = [this](TObject*) { Events.push_back("resize"); };
  }
};

TEST(CustomMapTest, SetSizeClampsNegativesAndReportsOnlyRealChanges) {
  auto map = New<TCustomMap>();
  EventLog log;
  log.Attach(*map);

  EXPECT_TRUE(map->SetSize(-5, 10));
  EXPECT_EQ(map->Width(), 0);
  EXPECT_EQ(map->Height(), 10);
  EXPECT_EQ(log.Events, (std::vector<std::string>{"change", "resize"}));
  EXPECT_TRUE(map->Empty());

  log.Events.clear();
  EXPECT_FALSE(map->SetSize(-5, 10));
  map->SetWidth(map->Width());
  map->SetHeight(map->Height());
  EXPECT_TRUE(log.Events.empty());

  map->SetWidth(3);
  EXPECT_EQ(map->Width(), 3);
  EXPECT_EQ(map->Height(), 10);
  EXPECT_FALSE(map->Empty());
  map->Delete();
  EXPECT_EQ(map->Width(), 0);
  EXPECT_EQ(map->Height(), 0);
  EXPECT_EQ(log.Events.size(), 4u);
}

TEST(CustomMapTest, SetSizeReachesTheDescendantsChangeSize) {
  // A descendant that keeps storage sees every resize before the reports go
  // out, and the size it stores is the one the map reports.
  struct Storage : TCustomMap {
    std::vector<int> Cells;
    int ReportedCells = -1;
    Storage(int w, int h) { SetSize(w, h); }
    void ChangeSize(int& W, int& H, int NW, int NH) override {
      Cells.assign(std::size_t(NW) * NH, 0);
      TCustomMap::ChangeSize(W, H, NW, NH);
    }
    void Changed() override {
      ReportedCells = int(Cells.size());
      TCustomMap::Changed();
    }
  };
  Storage s(4, 3);
  EXPECT_EQ(s.Cells.size(), 12u);
  s.SetSize(2, 2);
  EXPECT_EQ(s.ReportedCells, 4);
  EXPECT_EQ(s.Width() * s.Height(), 4);
}

TEST(NotifiablePersistentTest, UpdatesSuspendReportsWithoutQueueing) {
  auto obj = New<TNotifiablePersistent>();
  int calls = 0;
  TObject* sender = nullptr;
  obj->OnChange = [&](TObject* s) {
    ++calls;
    sender = s;
  };

  obj->BeginUpdate();
  obj->BeginUpdate();
  obj->Changed();
  obj->EndUpdate();
  obj->Changed();
  obj->EndUpdate();
  EXPECT_EQ(calls, 0) << "nothing reported inside the bracket, nor by EndUpdate";

  obj->Changed();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(sender, obj.get());

  // An unmatched EndUpdate must not switch reports off for good.
  obj->EndUpdate();
  EXPECT_EQ(obj->UpdateCount(), 0);
  obj->Changed();
  EXPECT_EQ(calls, 2);
}

// Pictures and controls a map can take its size from.
struct Picture : TGraphic {
  int Width() const override { return 7; }
  int Height() const override { return 5; }
};
struct Widget : TControl {
  int Width() const override { return 30; }
  int Height() const override { return 20; }
};
struct Unrelated : TPersistent {
  static const TClassInfo& StaticClass() {
    static const TClassInfo info{"TFoo", &TPersistent::StaticClass(), {}, {}};
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }
};

TEST(CustomMapTest, SetSizeFromEachKindOfSource) {
  auto map = New<TCustomMap>(1, 1);
  auto other = New<TCustomMap>(11, 12);
  Picture picture;
  Widget widget;

  EXPECT_TRUE(map->SetSizeFrom(other.get()));
  EXPECT_EQ(map->Width(), 11);
  EXPECT_EQ(map->Height(), 12);
  EXPECT_FALSE(map->SetSizeFrom(other.get()));
  EXPECT_TRUE(map->SetSizeFrom(&picture));
  EXPECT_EQ(map->Width(), 7);
  EXPECT_TRUE(map->SetSizeFrom(&widget));
  EXPECT_EQ(map->Height(), 20);
  EXPECT_TRUE(map->SetSizeFrom(nullptr));
  EXPECT_EQ(map->Width(), 0);
  EXPECT_EQ(map->Height(), 0);
}

TEST(CustomMapTest, SetSizeFromAnUnrelatedObjectNamesItsClassAndKeepsTheSize) {
  auto map = New<TCustomMap>(4, 4);
  Unrelated foo;
  try {
    map->SetSizeFrom(&foo);
    FAIL() << "no error";
  } catch (const EPersistentError& e) {
    EXPECT_STREQ(e.what(), "Can't set size from 'TFoo'");
  }
  EXPECT_EQ(map->Width(), 4);
}

// A reference-counted class whose constructor hands out a reference and
// takes one for itself, as the bitmap backends do.
struct Counted : TPlainInterfacedPersistent {
  bool* Destroyed;
  explicit Counted(bool* destroyed) : Destroyed(destroyed) {
    FRefCounted = true;
    AddRef();
    Release();  // would destroy the object without the construction guard
    AddRef();
  }
  ~Counted() override { *Destroyed = true; }
};

struct ISizeQuery {
  virtual ~ISizeQuery() = default;
  virtual int Size() const = 0;
};
struct CountedWithInterface : Counted, ISizeQuery {
  using Counted::Counted;
  int Size() const override { return 42; }
};

TEST(PlainInterfacedPersistentTest, UncountedObjectsIgnoreReferences) {
  auto obj = New<TNotifiablePersistent>();
  EXPECT_EQ(obj->RefCount(), 0);
  EXPECT_EQ(obj->AddRef(), -1);
  EXPECT_EQ(obj->Release(), -1);
  EXPECT_EQ(obj->RefCount(), 0);
  EXPECT_NO_THROW(obj->BeforeDestruction());
}

TEST(PlainInterfacedPersistentTest, CountedObjectSurvivesItsConstructorAndDiesWithItsLastRelease) {
  bool destroyed = false;
  Counted* obj = New<Counted>(&destroyed).release();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(obj->RefCount(), 1);

  EXPECT_EQ(obj->AddRef(), 2);
  EXPECT_EQ(obj->Release(), 1);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(obj->Release(), 0);
  EXPECT_TRUE(destroyed);
}

TEST(PlainInterfacedPersistentTest, FreeingAReferencedObjectRaisesAndKeepsIt) {
  bool destroyed = false;
  Counted* obj = New<Counted>(&destroyed).release();
  try {
    TPlainInterfacedPersistent::Free(obj);
    FAIL() << "no error";
  } catch (const EPersistentError& e) {
    EXPECT_STREQ(e.what(), "Unmatched reference counting.");
  }
  EXPECT_FALSE(destroyed);
  obj->Release();
  EXPECT_TRUE(destroyed);
}

TEST(PlainInterfacedPersistentTest, QueryInterfaceTakesAReferenceOnlyWhenFound) {
  bool destroyed = false;
  auto* obj = New<CountedWithInterface>(&destroyed).release();

  ISizeQuery* size = nullptr;
  EXPECT_EQ(obj->QueryInterface(size), S_OK);
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(size->Size(), 42);
  EXPECT_EQ(obj->RefCount(), 2);

  struct IMissing {
    virtual ~IMissing() = default;
  };
  IMissing* missing = reinterpret_cast<IMissing*>(1);
  EXPECT_EQ(obj->QueryInterface(missing), E_NOINTERFACE);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(obj->RefCount(), 2);

  obj->Release();
  obj->Release();
  EXPECT_TRUE(destroyed);
}

TEST(ThreadPersistentTest, LockIsRecursiveAndExcludesOtherThreads) {
  auto obj = New<TThreadPersistent>();
  obj->Lock();
  obj->Lock();  // the same thread again: no deadlock

  std::atomic<bool> entered{false};
  std::thread other([&] {
    obj->Lock();
    entered = true;
    obj->Unlock();
  });
  // The other thread is counted before it waits, so once the count shows it
  // the thread is blocked on our lock.
  while (obj->LockCount() < 3) std::this_thread::yield();
  EXPECT_FALSE(entered);

  obj->Unlock();
  EXPECT_FALSE(entered) << "still held once";
  obj->Unlock();
  other.join();
  EXPECT_TRUE(entered);
  EXPECT_EQ(obj->LockCount(), 0);
}

TEST(ClassInfoTest, ClassReferencesNameAndCreateTheirClass) {
  struct Case {
    TClass Class;
    const char* Name;
  };
  const Case cases[] = {
      {&TPlainInterfacedPersistent::StaticClass(), "TPlainInterfacedPersistent"},
      {&TNotifiablePersistent::StaticClass(), "TNotifiablePersistent"},
      {&TThreadPersistent::StaticClass(), "TThreadPersistent"},
      {&TCustomMap::StaticClass(), "TCustomMap"},
  };
  for (const Case& c : cases) {
    auto obj = c.Class->Create();
    EXPECT_EQ(obj->ClassName(), c.Name);
    EXPECT_EQ(&obj->ClassType(), c.Class);
    EXPECT_TRUE(obj->InheritsFrom(&TPersistent::StaticClass()));
  }
  EXPECT_TRUE(TCustomMap::StaticClass().InheritsFrom(&TNotifiablePersistent::StaticClass()));
  EXPECT_FALSE(TNotifiablePersistent::StaticClass().InheritsFrom(&TCustomMap::StaticClass()));
}

TEST(PersistentTest, AssignWithoutASupportedSourceNamesBothClasses) {
  auto map = New<TCustomMap>();
  auto other = New<TThreadPersistent>();
  try {
    map->Assign(other.get());
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TThreadPersistent to a TCustomMap");
  }
  EXPECT_THROW(map->Assign(nullptr), EConvertError);
}

}  // namespace
}  // namespace velkor
