#include "graphics/Raster_Containers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>

namespace velkor::Raster_Containers {

namespace {

// The address as the platform's %x shows it: upper-case hexadecimal.
std::string HexAddress(const void* p) {
  char buf[2 * sizeof(std::uintptr_t) + 1];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, reinterpret_cast<std::uintptr_t>(p), 16);
  std::string text(buf, ec == std::errc() ? end : buf);
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

[[noreturn]] void ItemNotFound(const void* Item) {
  throw EListError("Item not found ($0" + HexAddress(Item) + ")");
}

[[noreturn]] void IndexOutOfBounds(int Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

// Bucket arrays grow in steps that keep reallocation rare while buckets
// stay short.
int BucketGrowth(int Length) {
  if (Length <= 8) return 4;
  if (Length <= 64) return 16;
  return Length / 4;
}

}  // namespace

// --- TPointerMap --------------------------------------------------------------

TPointerMap::~TPointerMap() { Clear(); }

int TPointerMap::BucketIndexOf(const void* Item) {
  return static_cast<int>((reinterpret_cast<std::uintptr_t>(Item) >> 8) & 0xFF);
}

PPData TPointerMap::Add(void* NewItem, PData NewData, bool& IsNew) {
  int bucketIndex, itemIndex;
  if (Locate(NewItem, bucketIndex, itemIndex)) {
    IsNew = false;
    return &FBuckets[bucketIndex].Items[itemIndex].Data;
  }
  TPointerBucket& bucket = FBuckets[bucketIndex];
  int length = static_cast<int>(bucket.Items.size());
  if (bucket.Count == length) bucket.Items.resize(length + BucketGrowth(length));
  TPointerBucketItem& slot = bucket.Items[bucket.Count++];
  slot.Item = NewItem;
  slot.Data = NewData;
  ++FCount;
  IsNew = true;
  return &slot.Data;
}

PPData TPointerMap::Add(void* NewItem, PData NewData) {
  bool isNew;
  return Add(NewItem, NewData, isNew);
}

PPData TPointerMap::Add(void* NewItem, bool& IsNew) { return Add(NewItem, nullptr, IsNew); }

PPData TPointerMap::Add(void* NewItem) {
  bool isNew;
  return Add(NewItem, nullptr, isNew);
}

bool TPointerMap::Locate(const void* Item, int& BucketIndex, int& ItemIndex) const {
  BucketIndex = BucketIndexOf(Item);
  const TPointerBucket& bucket = FBuckets[BucketIndex];
  for (int i = 0; i < bucket.Count; ++i) {
    if (bucket.Items[i].Item == Item) {
      ItemIndex = i;
      return true;
    }
  }
  ItemIndex = -1;
  return false;
}

bool TPointerMap::Contains(const void* Item) const {
  int bucketIndex, itemIndex;
  return Locate(Item, bucketIndex, itemIndex);
}

bool TPointerMap::Find(const void* Item, PPData& Data) {
  int bucketIndex, itemIndex;
  if (!Locate(Item, bucketIndex, itemIndex)) return false;
  Data = &FBuckets[bucketIndex].Items[itemIndex].Data;
  return true;
}

PData TPointerMap::GetData(const void* Item) const {
  int bucketIndex, itemIndex;
  if (!Locate(Item, bucketIndex, itemIndex)) ItemNotFound(Item);
  return FBuckets[bucketIndex].Items[itemIndex].Data;
}

void TPointerMap::SetData(const void* Item, PData Data) {
  int bucketIndex, itemIndex;
  if (!Locate(Item, bucketIndex, itemIndex)) ItemNotFound(Item);
  FBuckets[bucketIndex].Items[itemIndex].Data = Data;
}

PData TPointerMap::Remove(const void* Item) {
  int bucketIndex, itemIndex;
  if (!Locate(Item, bucketIndex, itemIndex)) return nullptr;
  return Delete(bucketIndex, itemIndex);
}

PData TPointerMap::Delete(int BucketIndex, int ItemIndex) {
  if (BucketIndex < 0 || BucketIndex >= static_cast<int>(FBuckets.size())) return nullptr;
  TPointerBucket& bucket = FBuckets[BucketIndex];
  if (ItemIndex < 0 || ItemIndex >= bucket.Count) return nullptr;

  PData data = bucket.Items[ItemIndex].Data;
  // While Clear runs the count is already 0: the entry stays for Clear to
  // discard, and only the descendant's override acts on the data.
  if (FCount == 0) return data;

  std::move(bucket.Items.begin() + ItemIndex + 1, bucket.Items.begin() + bucket.Count,
            bucket.Items.begin() + ItemIndex);
  if (--bucket.Count == 0) TPointerBucketItemArray().swap(bucket.Items);
  --FCount;
  return data;
}

void TPointerMap::Clear() {
  FCount = 0;
  for (int b = 0; b < static_cast<int>(FBuckets.size()); ++b) {
    TPointerBucket& bucket = FBuckets[b];
    for (int i = bucket.Count - 1; i >= 0; --i) Delete(b, i);
    bucket.Count = 0;
    TPointerBucketItemArray().swap(bucket.Items);
  }
}

// --- TPointerMapIterator --------------------------------------------------------

bool TPointerMapIterator::Next() {
  const TPointerBucketArray& buckets = FSrcPointerMap.FBuckets;
  const int bucketCount = static_cast<int>(buckets.size());
  if (FCurItemIndex > 0) {
    --FCurItemIndex;
  } else {
    do {
      if (FCurBucketIndex >= bucketCount - 1) {
        FCurBucketIndex = bucketCount;
        FCurItemIndex = -1;
        return false;
      }
      ++FCurBucketIndex;
    } while (buckets[FCurBucketIndex].Count == 0);
    FCurItemIndex = buckets[FCurBucketIndex].Count - 1;
  }
  const TPointerBucketItem& entry = buckets[FCurBucketIndex].Items[FCurItemIndex];
  FItem = entry.Item;
  FData = entry.Data;
  return true;
}

// --- TRectList ------------------------------------------------------------------

void TRectList::CheckIndex(int Index, int Limit) const {
  if (Index < 0 || Index > Limit) IndexOutOfBounds(Index);
}

int TRectList::Add(const TRect& Rect) {
  if (FCount == Capacity()) Grow();
  FList[FCount] = Rect;
  return FCount++;
}

void TRectList::Insert(int Index, const TRect& Rect) {
  CheckIndex(Index, FCount);
  if (FCount == Capacity()) Grow();
  std::move_backward(FList.begin() + Index, FList.begin() + FCount, FList.begin() + FCount + 1);
  FList[Index] = Rect;
  ++FCount;
}

void TRectList::Delete(int Index) {
  CheckIndex(Index, FCount - 1);
  std::move(FList.begin() + Index + 1, FList.begin() + FCount, FList.begin() + Index);
  --FCount;
}

int TRectList::IndexOf(const TRect& Rect) const {
  for (int i = 0; i < FCount; ++i) {
    if (FList[i] == Rect) return i;
  }
  return -1;
}

int TRectList::Remove(const TRect& Rect) {
  int index = IndexOf(Rect);
  if (index >= 0) Delete(index);
  return index;
}

void TRectList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1, FCount - 1);
  CheckIndex(Index2, FCount - 1);
  std::swap(FList[Index1], FList[Index2]);
}

void TRectList::Move(int Index, int NewIndex) {
  if (Index == NewIndex) return;
  CheckIndex(Index, FCount - 1);
  CheckIndex(NewIndex, FCount - 1);
  TRect moved = FList[Index];
  Delete(Index);
  Insert(NewIndex, moved);
}

TRect* TRectList::Get(int Index) {
  return Index >= 0 && Index < FCount ? &FList[Index] : nullptr;
}

const TRect* TRectList::Get(int Index) const {
  return Index >= 0 && Index < FCount ? &FList[Index] : nullptr;
}

void TRectList::Pack() {
  for (int i = FCount - 1; i >= 0; --i) {
    if (!Get(i)) Delete(i);
  }
}

void TRectList::Clear() {
  SetCount(0);
  SetCapacity(10);
}

void TRectList::SetCount(int Value) {
  if (Value < 0) throw EListError("List count out of bounds (" + std::to_string(Value) + ")");
  if (Value > Capacity()) SetCapacity(Value);
  if (Value > FCount) std::fill(FList.begin() + FCount, FList.begin() + Value, TRect{});
  FCount = Value;
}

void TRectList::SetCapacity(int Value) {
  Value = std::max(Value, 0);
  if (Value == Capacity()) return;
  FList.resize(Value);
  FList.shrink_to_fit();
  FCount = std::min(FCount, Value);
}

void TRectList::Grow() {
  int capacity = Capacity();
  int delta = capacity > 128 ? capacity / 4 : capacity > 8 ? 32 : 8;
  SetCapacity(capacity + delta);
}

// --- TClassList -----------------------------------------------------------------

void TClassList::CheckIndex(int Index, int Limit) const {
  if (Index < 0 || Index > Limit) IndexOutOfBounds(Index);
}

int TClassList::Add(TClass AClass) {
  FList.push_back(AClass);
  return Count() - 1;
}

void TClassList::Insert(int Index, TClass AClass) {
  CheckIndex(Index, Count());
  FList.insert(FList.begin() + Index, AClass);
}

int TClassList::Remove(TClass AClass) {
  int index = IndexOf(AClass);
  if (index >= 0) Delete(index);
  return index;
}

TClass TClassList::Extract(TClass AClass) {
  return Remove(AClass) >= 0 ? AClass : nullptr;
}

int TClassList::IndexOf(TClass AClass) const {
  auto it = std::find(FList.begin(), FList.end(), AClass);
  return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

void TClassList::Delete(int Index) {
  CheckIndex(Index, Count() - 1);
  FList.erase(FList.begin() + Index);
}

TClass TClassList::First() const { return Items(0); }

TClass TClassList::Last() const { return Items(Count() - 1); }

TClass TClassList::Items(int Index) const {
  CheckIndex(Index, Count() - 1);
  return FList[Index];
}

void TClassList::SetItems(int Index, TClass AClass) {
  CheckIndex(Index, Count() - 1);
  FList[Index] = AClass;
}

TClass TClassList::Find(std::string_view AClassName) const {
  for (TClass c : FList) {
    if (c && c->Name == AClassName) return c;
  }
  return nullptr;
}

void TClassList::GetClassNames(std::vector<std::string>& Strings) const {
  for (TClass c : FList) Strings.emplace_back(c ? c->Name : std::string_view());
}

// --- CopyPublishedProperties ------------------------------------------------------

namespace {

const TPropInfo& DestProperty(const TPersistent& Dest, const std::string& Name) {
  const TPropInfo* prop = Dest.ClassType().FindProperty(Name);
  if (!prop) throw EPropertyError("Property " + Name + " does not exist");
  return *prop;
}

void CopyObjectProperty(const TPropInfo& SrcProp, const TPersistent& Source, TPersistent& Dest) {
  const TPropInfo& destProp = DestProperty(Dest, SrcProp.Name);
  TPersistent* srcObj = SrcProp.GetObject ? SrcProp.GetObject(Source) : nullptr;
  TPersistent* destObj = destProp.GetObject ? destProp.GetObject(Dest) : nullptr;
  if (srcObj && destObj) destObj->Assign(srcObj);
}

void CopyValueProperty(const TPropInfo& SrcProp, const TPersistent& Source, TPersistent& Dest) {
  if (!SrcProp.GetValue) return;
  const TPropInfo& destProp = DestProperty(Dest, SrcProp.Name);
  if (!destProp.SetValue) return;
  destProp.SetValue(Dest, SrcProp.GetValue(Source));
}

}  // namespace

void CopyPublishedProperties(const TPersistent* Source, TPersistent* Dest, TTypeKinds Kinds) {
  if (!Source || !Dest) return;
  for (const TPropInfo* prop : Source->ClassType().AllProperties()) {
    if (!Kinds.Contains(prop->Kind)) continue;
    if (prop->Kind == tkClass) {
      CopyObjectProperty(*prop, *Source, *Dest);
    } else {
      CopyValueProperty(*prop, *Source, *Dest);
    }
  }
}

}  // namespace velkor::Raster_Containers
