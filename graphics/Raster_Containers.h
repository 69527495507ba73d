// The small containers of the raster library: a hashed map from pointers to
// pointers, a growable array of rectangles, a list of classes searchable by
// name, and the routine that copies the published properties of one object
// to another.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/Persistent.h"
#include "graphics/Raster.h"

namespace velkor::Raster_Containers {

// --- Pointer map ------------------------------------------------------------
//
// Items are spread over 256 buckets by bits 8 to 15 of their address, which
// separates heap objects well; each bucket is a short array searched
// linearly, keeping insertion order. The map never dereferences an item.

using PData = void*;
using PPData = PData*;  // the address of an item's Data slot

struct TPointerBucketItem {
  void* Item = nullptr;
  PData Data = nullptr;
};
// A bucket's array may be longer than its Count; the rest is spare room.
using TPointerBucketItemArray = std::vector<TPointerBucketItem>;
struct TPointerBucket {
  int Count = 0;
  TPointerBucketItemArray Items;
};
using TPointerBucketArray = std::array<TPointerBucket, 256>;

class TPointerMap {
 public:
  TPointerMap() = default;
  TPointerMap(const TPointerMap&) = delete;
  TPointerMap& operator=(const TPointerMap&) = delete;
  // Clears the map. A descendant whose Delete frees data calls Clear in its
  // own destructor: by the time this one runs, the override is gone.
  virtual ~TPointerMap();

  // The address of NewItem's Data slot. A present item keeps its data
  // (NewData is not stored) and IsNew is False; otherwise the pair is
  // appended and IsNew is True. The address stays valid until the next Add
  // or removal in the same bucket. The forms without NewData store nullptr.
  PPData Add(void* NewItem, PData NewData, bool& IsNew);
  PPData Add(void* NewItem, PData NewData);
  PPData Add(void* NewItem, bool& IsNew);
  PPData Add(void* NewItem);

  // Where Item lies, searched from its bucket's first entry.
  bool Locate(const void* Item, int& BucketIndex, int& ItemIndex) const;
  bool Contains(const void* Item) const;
  // The address of Item's Data slot, when present.
  bool Find(const void* Item, PPData& Data);

  // Item's data; an absent item raises EListError "Item not found ($0<hex>)".
  PData GetData(const void* Item) const;
  void SetData(const void* Item, PData Data);

  // The removed data, or nullptr when Item is absent.
  PData Remove(const void* Item);
  // Removes the entry at (BucketIndex, ItemIndex) and returns its data. On
  // an empty map (also while Clear runs) it only returns the data, so a
  // descendant's override can free it; invalid indices return nullptr.
  virtual PData Delete(int BucketIndex, int ItemIndex);
  // Hands every entry to Delete, last to first per bucket, and empties the
  // buckets.
  void Clear();

  int Count() const { return FCount; }

  static int BucketIndexOf(const void* Item);

 protected:
  TPointerBucketArray FBuckets;
  int FCount = 0;

  friend class TPointerMapIterator;
};

// Visits every pair of a map: buckets 0 to 255, within a bucket the last
// entry first. The map must not change while the iterator is in use.
class TPointerMapIterator {
 public:
  explicit TPointerMapIterator(const TPointerMap& SrcPointerMap) : FSrcPointerMap(SrcPointerMap) {}

  // Moves to the next pair; False when none is left.
  bool Next();
  void* Item() const { return FItem; }
  PData Data() const { return FData; }

 private:
  const TPointerMap& FSrcPointerMap;
  void* FItem = nullptr;
  PData FData = nullptr;
  int FCurBucketIndex = -1;
  int FCurItemIndex = -1;
};

// --- Rectangle list ---------------------------------------------------------
//
// Rectangles kept in one block that grows in steps. Indices given to Insert,
// Delete, Exchange and Move are checked: a wrong one raises EListError and
// changes nothing.

class TRectList {
 public:
  TRectList() = default;
  TRectList(const TRectList&) = delete;
  TRectList& operator=(const TRectList&) = delete;
  virtual ~TRectList() = default;

  // Appends a copy and returns its index.
  int Add(const TRect& Rect);
  void Insert(int Index, const TRect& Rect);
  void Delete(int Index);
  // The index of the first entry equal to Rect, or -1.
  int IndexOf(const TRect& Rect) const;
  // Deletes the first entry equal to Rect; its index, or -1.
  int Remove(const TRect& Rect);
  void Exchange(int Index1, int Index2);
  // Nothing when equal; otherwise delete at Index, then insert at NewIndex.
  void Move(int Index, int NewIndex);
  // The address of entry Index, or nullptr outside 0 .. Count - 1.
  TRect* Get(int Index);
  const TRect* Get(int Index) const;
  // Drops the entries that have no address; every stored one has one, so
  // nothing is dropped.
  void Pack();
  // Count 0 and capacity 10.
  void Clear();

  int Count() const { return FCount; }
  // Raising the count zero-fills the new entries; lowering it drops entries
  // from the end. A negative count raises EListError.
  void SetCount(int Value);
  int Capacity() const { return static_cast<int>(FList.size()); }
  // A capacity below the count drops the entries beyond it; negative counts
  // as 0.
  void SetCapacity(int Value);
  const TRect* List() const { return FList.data(); }

 protected:
  // Capacity + capacity / 4 above 128, + 32 above 8, else + 8.
  virtual void Grow();

 private:
  void CheckIndex(int Index, int Limit) const;

  std::vector<TRect> FList;  // size() is the capacity
  int FCount = 0;
};

// --- Class list ---------------------------------------------------------------

class TClassList {
 public:
  int Add(TClass AClass);
  void Insert(int Index, TClass AClass);
  // The index the class had, or -1.
  int Remove(TClass AClass);
  // The class when it was in the list, else nullptr.
  TClass Extract(TClass AClass);
  int IndexOf(TClass AClass) const;
  void Delete(int Index);
  void Clear() { FList.clear(); }
  // First and Last of an empty list raise EListError, as does a wrong index.
  TClass First() const;
  TClass Last() const;
  TClass Items(int Index) const;
  void SetItems(int Index, TClass AClass);
  int Count() const { return static_cast<int>(FList.size()); }

  // The first class in list order named exactly AClassName (letter case
  // counts), else nullptr.
  TClass Find(std::string_view AClassName) const;
  // Appends every class name in list order.
  void GetClassNames(std::vector<std::string>& Strings) const;

 private:
  void CheckIndex(int Index, int Limit) const;

  std::vector<TClass> FList;
};

// Copies every published property of Source's class whose kind is in Kinds,
// in declaration order, to the property of the same name on Dest. An object
// property is copied with Assign when both objects exist and left alone
// otherwise; read-only properties are skipped; a property Dest lacks raises
// EPropertyError.
void CopyPublishedProperties(const TPersistent* Source, TPersistent* Dest,
                             TTypeKinds Kinds = tkProperties);

}  // namespace velkor::Raster_Containers
