#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/Raster_Containers.h"
#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_OrdinalMaps.h"

namespace velkor {
namespace {

using namespace Raster_Containers;
using Raster_OrdinalMaps::TIntegerMap;

// A key the map never dereferences: any address will do.
void* Key(std::uintptr_t address) { return reinterpret_cast<void*>(address); }
void* Value(std::uintptr_t v) { return reinterpret_cast<void*>(v); }

// Exposes the buckets, to check how the map lays out its entries.
struct InspectableMap : TPointerMap {
  const TPointerBucket& Bucket(int i) const { return FBuckets[i]; }
};

TEST(PointerMapTest, AddingAPresentItemReturnsItsSlotAndKeepsItsData) {
  TPointerMap map;
  bool isNew = false;
  PPData first = map.Add(Key(0x1234), Value(7), isNew);
  EXPECT_TRUE(isNew);
  PPData second = map.Add(Key(0x1234), Value(99), isNew);
  EXPECT_FALSE(isNew);
  EXPECT_EQ(first, second);
  EXPECT_EQ(*second, Value(7));
  EXPECT_EQ(map.Count(), 1);

  *second = Value(8);  // the slot is the item's data
  EXPECT_EQ(map.GetData(Key(0x1234)), Value(8));
  EXPECT_EQ(*map.Add(Key(0x5678)), nullptr);
  EXPECT_EQ(map.Count(), 2);
}

TEST(PointerMapTest, ItemsDifferingAboveBit15ShareABucketAndStayApart) {
  TPointerMap map;
  map.Add(Key(0x10000100), Value(1));
  map.Add(Key(0x20000100), Value(2));
  EXPECT_EQ(TPointerMap::BucketIndexOf(Key(0x10000100)), 1);
  EXPECT_EQ(TPointerMap::BucketIndexOf(Key(0x20000100)), 1);

  int bucket, item;
  ASSERT_TRUE(map.Locate(Key(0x20000100), bucket, item));
  EXPECT_EQ(bucket, 1);
  EXPECT_EQ(item, 1);
  EXPECT_EQ(map.GetData(Key(0x10000100)), Value(1));
  EXPECT_EQ(map.GetData(Key(0x20000100)), Value(2));

  EXPECT_EQ(map.Remove(Key(0x10000100)), Value(1));
  EXPECT_FALSE(map.Contains(Key(0x10000100)));
  PPData slot = nullptr;
  ASSERT_TRUE(map.Find(Key(0x20000100), slot));
  EXPECT_EQ(*slot, Value(2));
  EXPECT_EQ(map.Remove(Key(0x10000100)), nullptr);
  EXPECT_EQ(map.Count(), 1);
}

TEST(PointerMapTest, AbsentItemsRaiseOnDataAccessWithTheirAddress) {
  TPointerMap map;
  map.Add(Key(0xAB00));
  try {
    map.GetData(Key(0x1F2E3D));
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Item not found ($01F2E3D)");
  }
  EXPECT_THROW(map.SetData(Key(0x1F2E3D), nullptr), EListError);
  EXPECT_FALSE(map.Contains(Key(0x1F2E3D)));
  EXPECT_EQ(map.Count(), 1);
}

TEST(PointerMapTest, DeletingKeepsTheBucketsOrderAndFreesEmptyBuckets) {
  InspectableMap map;
  for (std::uintptr_t i = 1; i <= 3; ++i) map.Add(Key(i << 16), Value(i));  // all in bucket 0
  EXPECT_EQ(map.Delete(0, 1), Value(2));
  EXPECT_EQ(map.Bucket(0).Count, 2);
  EXPECT_EQ(map.Bucket(0).Items[1].Item, Key(3 << 16));
  EXPECT_EQ(map.Delete(0, 5), nullptr) << "an index beyond the bucket changes nothing";
  EXPECT_EQ(map.Count(), 2);

  map.Delete(0, 0);
  map.Delete(0, 0);
  EXPECT_EQ(map.Count(), 0);
  EXPECT_EQ(map.Bucket(0).Count, 0);
  EXPECT_EQ(map.Bucket(0).Items.capacity(), 0u);
}

TEST(PointerMapTest, BucketArraysGrowInSteps) {
  // +4 up to a length of 8, +16 up to 64, then a quarter of the length.
  InspectableMap map;
  const struct {
    int Adds;
    std::size_t Length;
  } steps[] = {{1, 4}, {5, 8}, {9, 12}, {13, 28}, {61, 76}, {77, 95}};
  int added = 0;
  for (const auto& step : steps) {
    for (; added < step.Adds; ++added) map.Add(Key(std::uintptr_t(added + 1) << 16));
    EXPECT_EQ(map.Bucket(0).Items.size(), step.Length) << "after " << step.Adds << " adds";
  }
  EXPECT_EQ(map.Bucket(0).Count, 77);
}

TEST(PointerMapIteratorTest, VisitsBucketsInOrderAndEachBucketBackwards) {
  TPointerMap map;
  map.Add(Key(0xFF00), Value(1));     // bucket 255
  map.Add(Key(0x10000), Value(2));    // bucket 0
  map.Add(Key(0x20000), Value(3));    // bucket 0, added later
  map.Add(Key(0x30000FF00), Value(4));  // bucket 255, added later

  TPointerMapIterator it(map);
  std::vector<void*> items;
  std::vector<void*> data;
  while (it.Next()) {
    items.push_back(it.Item());
    data.push_back(it.Data());
  }
  EXPECT_EQ(items, (std::vector<void*>{Key(0x20000), Key(0x10000), Key(0x30000FF00), Key(0xFF00)}));
  EXPECT_EQ(data, (std::vector<void*>{Value(3), Value(2), Value(4), Value(1)}));
  EXPECT_FALSE(it.Next()) << "stays exhausted";

  TPointerMap empty;
  TPointerMapIterator none(empty);
  EXPECT_FALSE(none.Next());
}

// A map that owns its data, as the repaint optimiser's maps do.
struct OwningMap : TPointerMap {
  int* Frees;
  explicit OwningMap(int* frees) : Frees(frees) {}
  ~OwningMap() override { Clear(); }
  PData Delete(int BucketIndex, int ItemIndex) override {
    PData data = TPointerMap::Delete(BucketIndex, ItemIndex);
    delete static_cast<int*>(data);
    ++*Frees;
    return nullptr;
  }
};

TEST(PointerMapTest, ClearHandsEveryEntryToTheDescendantOnce) {
  int frees = 0;
  {
    OwningMap map(&frees);
    for (int i = 1; i <= 600; ++i) map.Add(Key(std::uintptr_t(i) << 8), new int(i));
    map.Remove(Key(5 << 8));
    EXPECT_EQ(frees, 1);
    map.Clear();
    EXPECT_EQ(frees, 600);
    EXPECT_EQ(map.Count(), 0);
    EXPECT_FALSE(map.Contains(Key(7 << 8)));

    map.Add(Key(0x4200), new int(1));
    map.Add(Key(0x4300), new int(2));
  }
  EXPECT_EQ(frees, 602) << "the descendant's destructor clears through its own Delete";
}

// --- TRectList ---------------------------------------------------------------------

std::vector<TRect> Contents(const TRectList& list) {
  return std::vector<TRect>(list.List(), list.List() + list.Count());
}

TEST(RectListTest, EditsKeepTheOrder) {
  const TRect a{0, 0, 1, 1}, b{1, 1, 2, 2}, c{2, 2, 3, 3}, d{3, 3, 4, 4};
  TRectList list;
  EXPECT_EQ(list.Add(a), 0);
  EXPECT_EQ(list.Add(c), 1);
  list.Insert(1, b);
  list.Insert(3, d);
  EXPECT_EQ(Contents(list), (std::vector<TRect>{a, b, c, d}));

  list.Move(0, 3);
  EXPECT_EQ(Contents(list), (std::vector<TRect>{b, c, d, a}));
  list.Exchange(0, 2);
  EXPECT_EQ(Contents(list), (std::vector<TRect>{d, c, b, a}));
  list.Move(1, 1);
  EXPECT_EQ(list.IndexOf(b), 2);

  EXPECT_EQ(list.Remove(c), 1);
  EXPECT_EQ(list.Remove(c), -1);
  EXPECT_EQ(list.Remove(TRect{0, 0, 1, 2}), -1) << "all four fields must match";
  list.Delete(0);
  list.Pack();
  EXPECT_EQ(Contents(list), (std::vector<TRect>{b, a}));
}

TEST(RectListTest, GetAnswersNullOutsideTheUsedRange) {
  TRectList list;
  EXPECT_EQ(list.Get(0), nullptr);
  list.Add(TRect{1, 2, 3, 4});
  list.Add(TRect{5, 6, 7, 8});
  EXPECT_EQ(list.Get(-1), nullptr);
  EXPECT_EQ(list.Get(list.Count()), nullptr) << "spare capacity is not an entry";
  ASSERT_NE(list.Get(1), nullptr);
  list.Get(1)->Left = 50;
  EXPECT_EQ(list.Get(1)->Left, 50);
}

TEST(RectListTest, WrongIndicesRaiseAndChangeNothing) {
  TRectList list;
  list.Add(TRect{1, 1, 2, 2});
  EXPECT_THROW(list.Delete(1), EListError);
  EXPECT_THROW(list.Insert(2, TRect{}), EListError);
  EXPECT_THROW(list.Exchange(0, -1), EListError);
  EXPECT_THROW(list.Move(0, 1), EListError);
  EXPECT_THROW(list.SetCount(-1), EListError);
  EXPECT_EQ(Contents(list), (std::vector<TRect>{{1, 1, 2, 2}}));
}

TEST(RectListTest, CapacityGrowsInStepsAndClearKeepsTen) {
  TRectList list;
  std::vector<int> capacities;
  for (int i = 0; i < 200; ++i) {
    list.Add(TRect{i, 0, 0, 0});
    if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{8, 16, 48, 80, 112, 144, 180, 225}));
  EXPECT_EQ(list.Get(199)->Left, 199);

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 10);
}

TEST(RectListTest, CountAndCapacityResizeTheList) {
  TRectList list;
  list.Add(TRect{1, 1, 1, 1});
  list.Add(TRect{2, 2, 2, 2});
  list.SetCount(1);
  list.SetCount(4);
  EXPECT_EQ(Contents(list), (std::vector<TRect>{{1, 1, 1, 1}, {}, {}, {}})) << "new entries read zero";
  EXPECT_GE(list.Capacity(), 4);

  list.SetCapacity(2);
  EXPECT_EQ(list.Count(), 2) << "entries beyond the capacity are gone";
  list.SetCapacity(0);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Get(0), nullptr);
}

// --- TClassList and CopyPublishedProperties ------------------------------------------

enum TKernelShape { ksBox, ksCone, ksBell };
constexpr std::string_view kShapeNames[] = {"ksBox", "ksCone", "ksBell"};

// A kernel-like class with one property of each kind, and a descendant that
// adds one more, as the resamplers' kernels do.
struct TSampleKernel : TPersistent {
  std::int32_t Taps = 0;
  double Width = 0;
  TKernelShape Shape = ksBox;
  std::string Label;
  std::int32_t Serial = 0;  // read-only
  std::unique_ptr<TIntegerMap> Table = New<TIntegerMap>();
  std::vector<std::string>* SetLog = nullptr;

  void Note(const char* name) {
    if (SetLog) SetLog->push_back(name);
  }

  static const TClassInfo& StaticClass() {
    static const TClassInfo info{
        "TSampleKernel",
        &TPersistent::StaticClass(),
        [] { return New<TSampleKernel>(); },
        {IntegerProperty<TSampleKernel>(
             "Taps", [](const TSampleKernel& k) { return k.Taps; },
             [](TSampleKernel& k, std::int64_t v) { k.Note("Taps"), k.Taps = std::int32_t(v); }),
         FloatProperty<TSampleKernel>(
             "Width", [](const TSampleKernel& k) { return k.Width; },
             [](TSampleKernel& k, double v) { k.Note("Width"), k.Width = v; }),
         EnumProperty<TSampleKernel, TKernelShape>(
             "Shape", kShapeNames, [](const TSampleKernel& k) { return k.Shape; },
             [](TSampleKernel& k, TKernelShape v) { k.Note("Shape"), k.Shape = v; }),
         StringProperty<TSampleKernel>(
             "Label", [](const TSampleKernel& k) { return k.Label; },
             [](TSampleKernel& k, const std::string& v) { k.Note("Label"), k.Label = v; }),
         TPropInfo{"Serial", tkInteger,
                   [](const TPersistent& o) -> TPropValue {
                     return std::int64_t(static_cast<const TSampleKernel&>(o).Serial);
                   },
                   {}, {}},
         ObjectProperty<TSampleKernel>(
             "Table", [](const TSampleKernel& k) -> TPersistent* { return k.Table.get(); })}};
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }
};

struct TBoxKernel : TSampleKernel {
  float Sharpness = 0;

  static const TClassInfo& StaticClass() {
    static const TClassInfo info{
        "TBoxKernel",
        &TSampleKernel::StaticClass(),
        [] { return New<TBoxKernel>(); },
        {FloatProperty<TBoxKernel>(
            "Sharpness", [](const TBoxKernel& k) { return k.Sharpness; },
            [](TBoxKernel& k, double v) { k.Note("Sharpness"), k.Sharpness = float(v); })}};
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }
};

TEST(ClassListTest, FindsClassesByExactName) {
  TClassList list;
  list.Add(&TSampleKernel::StaticClass());
  list.Add(&TBoxKernel::StaticClass());
  list.Add(&TIntegerMap::StaticClass());

  EXPECT_EQ(list.Find("TBoxKernel"), &TBoxKernel::StaticClass());
  EXPECT_EQ(list.Find("tboxkernel"), nullptr);
  EXPECT_EQ(list.Find("TBox"), nullptr);
  auto made = list.Find("TIntegerMap")->Create();
  EXPECT_EQ(made->ClassName(), "TIntegerMap");

  std::vector<std::string> names{"existing"};
  list.GetClassNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"existing", "TSampleKernel", "TBoxKernel", "TIntegerMap"}));
}

TEST(ClassListTest, ListOperationsFollowThePositions) {
  TClass a = &TSampleKernel::StaticClass(), b = &TBoxKernel::StaticClass(),
         c = &TIntegerMap::StaticClass();
  TClassList list;
  EXPECT_THROW(list.First(), EListError);
  EXPECT_THROW(list.Last(), EListError);
  list.Add(a);
  list.Insert(0, b);
  list.Add(c);
  EXPECT_EQ(list.First(), b);
  EXPECT_EQ(list.Last(), c);
  EXPECT_EQ(list.IndexOf(a), 1);

  EXPECT_EQ(list.Extract(a), a);
  EXPECT_EQ(list.Extract(a), nullptr);
  EXPECT_EQ(list.Remove(c), 1);
  EXPECT_EQ(list.Remove(c), -1);
  list.SetItems(0, c);
  EXPECT_EQ(list.Items(0), c);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_THROW(list.Items(1), EListError);
}

class RasterStartedTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Raster_System::Startup();
    Raster_LowLevel::Startup();
  }
};

using CopyPublishedPropertiesTest = RasterStartedTest;

TEST_F(CopyPublishedPropertiesTest, CopiesEveryKindInDeclarationOrder) {
  auto src = New<TBoxKernel>();
  src->Taps = 5;
  src->Width = 2.5;
  src->Shape = ksBell;
  src->Label = "bell";
  src->Serial = 77;
  src->Sharpness = 0.75f;
  src->Table->SetSize(2, 1);
  src->Table->SetValue(1, 0, -9);

  auto dst = New<TBoxKernel>();
  std::vector<std::string> log;
  dst->SetLog = &log;
  CopyPublishedProperties(src.get(), dst.get());

  EXPECT_EQ(log, (std::vector<std::string>{"Taps", "Width", "Shape", "Label", "Sharpness"}))
      << "ancestors' properties first; the read-only one is skipped";
  EXPECT_EQ(dst->Taps, 5);
  EXPECT_EQ(dst->Width, 2.5);
  EXPECT_EQ(dst->Shape, ksBell);
  EXPECT_EQ(dst->Label, "bell");
  EXPECT_EQ(dst->Serial, 0);
  EXPECT_EQ(dst->Sharpness, 0.75f);
  EXPECT_EQ(dst->Table->Width(), 2);
  EXPECT_EQ(dst->Table->GetValue(1, 0), -9);
  EXPECT_NE(dst->Table.get(), src->Table.get()) << "the object is assigned, not shared";
}

TEST_F(CopyPublishedPropertiesTest, OnlyTheRequestedKindsAndExistingObjects) {
  auto src = New<TBoxKernel>();
  src->Taps = 5;
  src->Width = 2.5;
  src->Sharpness = 0.5f;
  src->Table.reset();  // no source object: the destination's stays as it is

  auto dst = New<TBoxKernel>();
  dst->Table->SetSize(3, 3);
  CopyPublishedProperties(src.get(), dst.get(), TTypeKinds{tkFloat, tkClass});
  EXPECT_EQ(dst->Taps, 0);
  EXPECT_EQ(dst->Width, 2.5);
  EXPECT_EQ(dst->Sharpness, 0.5f);
  EXPECT_EQ(dst->Table->Width(), 3);
}

TEST_F(CopyPublishedPropertiesTest, ADestinationWithoutThePropertyRaises) {
  auto src = New<TBoxKernel>();
  auto dst = New<TSampleKernel>();
  try {
    CopyPublishedProperties(src.get(), dst.get());
    FAIL() << "no error";
  } catch (const EPropertyError& e) {
    EXPECT_STREQ(e.what(), "Property Sharpness does not exist");
  }
  EXPECT_NO_THROW(CopyPublishedProperties(dst.get(), src.get())) << "a wider destination is fine";
}

// --- TIntegerMap --------------------------------------------------------------------

using IntegerMapTest = RasterStartedTest;

TEST_F(IntegerMapTest, ValuesLieRowByRowAndKeepTheirLinearPlaceOnResize) {
  TIntegerMap map(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) map.SetValue(x, y, 10 * y + x);
  EXPECT_EQ(map.GetScanline(1)[0], 10);
  EXPECT_EQ(map.GetValPtr(2, 1), map.Bits() + 5);

  map.SetSize(4, 2);
  EXPECT_EQ(std::vector<std::int32_t>(map.Bits(), map.Bits() + 8),
            (std::vector<std::int32_t>{0, 1, 2, 10, 11, 12, 0, 0}));
  map.SetSize(2, 1);
  EXPECT_EQ(map.GetValue(1, 0), 1);

  EXPECT_FALSE(map.Empty());
  map.SetSize(5, 0);
  EXPECT_TRUE(map.Empty());
  EXPECT_EQ(map.Bits(), nullptr);
}

TEST_F(IntegerMapTest, ClearFillsEveryValueAndReportsOnce) {
  TIntegerMap map(7, 5);
  int changes = 0;
  map.OnChange = [&](TObject*) { ++changes; };
  map.Clear(-123456);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(map.GetValue(x, y), -123456) << x << "," << y;
  EXPECT_EQ(changes, 1);
}

TEST_F(IntegerMapTest, AssignCopiesSizeAndValuesWithOneReport) {
  TIntegerMap src(2, 2);
  src.Clear(4);
  src.SetValue(1, 1, 8);

  TIntegerMap dst;
  std::vector<std::string> events;
  dst.OnChange = [&](TObject*) { events.push_back("change"); };
  dst.OnResize = [&](TObject*) { events.push_back("resize"); };
  dst.Assign(&src);
  EXPECT_EQ(dst.Width(), 2);
  EXPECT_EQ(dst.Height(), 2);
  EXPECT_EQ(dst.GetValue(0, 1), 4);
  EXPECT_EQ(dst.GetValue(1, 1), 8);
  EXPECT_EQ(events, (std::vector<std::string>{"resize", "change"}))
      << "the resize goes out at once, the change only after the copy";

  dst.Assign(&dst);
  EXPECT_EQ(dst.GetValue(1, 1), 8);
}

TEST_F(IntegerMapTest, AssignFromAnotherClassRaisesButStillReports) {
  TIntegerMap dst(2, 2);
  auto other = New<TSampleKernel>();
  int changes = 0;
  dst.OnChange = [&](TObject*) { ++changes; };
  EXPECT_THROW(dst.Assign(other.get()), EConvertError);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dst.UpdateCount(), 0);
}

}  // namespace
}  // namespace velkor
