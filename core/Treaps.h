// The ordered containers of the system, all resting on one randomized treap.
//
// A treap is a binary tree whose in-order sequence is the order of the items
// and whose nodes also form a max-heap on random priorities; the random
// priorities keep it balanced in expectation. After every public operation:
//   1. the in-order sequence of the nodes is the order of the items;
//   2. no node has a higher priority `pr` than its parent;
//   3. (lists) every node's `size` is the node count of its subtree;
//   4. the root is the one node without a parent, and every other node's P
//      names the node that holds it as L or R.
//
// TCustomList adds subtree sizes, which address items by position;
// TList adds positional insertion; TObjList owns its items (pointers) and
// deletes each exactly once. The keyed containers are in SortedLists.h.
//
// The containers own their nodes through the tree's raw links: nodes are
// created by NewNode, linked in, and freed by FreeTree or NodeDelete. A node's
// destructor releases only what the node itself owns (an owning node's
// object), never its children.
//
// Priorities come from the process-wide generator (velkor::Random), so a
// test that seeds it sees the same tree shapes on every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>
#include <stdexcept>
#include <typeinfo>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/Sorting.h"
#include "core/SystemInfo.h"

namespace velkor {

// A heap priority in 1..$7FFFFFFE.
inline std::int32_t RandomPriority() {
  return static_cast<std::int32_t>(Random(0x7FFFFFFE)) + 1;
}

template <class T>
class TTreap {
 public:
  class TNode {
   public:
    TNode() : pr(RandomPriority()) {}
    TNode(const TNode&) = delete;
    TNode& operator=(const TNode&) = delete;
    virtual ~TNode() = default;

    const T& data() const { return FData; }
    virtual void SetData(T Value) { FData = std::move(Value); }
    // Run on a node after anything below it changed.
    virtual void Update() {}

    std::int32_t pr;
    TNode* P = nullptr;
    TNode* L = nullptr;
    TNode* R = nullptr;

   protected:
    T FData{};
    friend class TTreap;
  };

  TTreap() = default;
  TTreap(const TTreap&) = delete;
  TTreap& operator=(const TTreap&) = delete;
  // Moving hands the whole tree over; the source ends empty.
  TTreap(TTreap&& other) noexcept : FRoot(std::exchange(other.FRoot, nullptr)) {}
  TTreap& operator=(TTreap&& other) noexcept {
    if (this != &other) FreeTree(std::exchange(FRoot, std::exchange(other.FRoot, nullptr)));
    return *this;
  }
  virtual ~TTreap() { FreeTree(FRoot); }

  TNode* Root() const { return FRoot; }

  // A fresh node of this container's node class, not yet linked.
  virtual std::unique_ptr<TNode> NewNode() const { return std::make_unique<TNode>(); }

  // ---- structure ---------------------------------------------------------

  // Attaches the fresh leaf y below x (x null: y becomes the whole tree) and
  // lifts y while its parent's priority is strictly lower.
  void NodeInsertAtLeaf(TNode* x, TNode* y, bool InRight) {
    SetChild(x, y, InRight);
    UpdateUpwards(x);
    while (y->P != nullptr && y->P->pr < y->pr) TreeUp(y);
    if (y->P == nullptr) FRoot = y;
  }

  // Removes and frees node x.
  void NodeDelete(TNode* x) {
    while (x->L != nullptr && x->R != nullptr) TreeDown(x);
    TNode* c = x->L != nullptr ? x->L : x->R;
    TNode* p = x->P;
    SetChild(p, c, p != nullptr && p->R == x);
    UpdateUpwards(p);
    const bool wasRoot = FRoot == x;
    delete x;
    // A root rotated down has a child that leads up to the new top.
    if (wasRoot) FRoot = TopOf(c);
  }

  // Frees a subtree, children before parent.
  static void FreeTree(TNode* t) {
    if (t == nullptr) return;
    FreeTree(t->L);
    FreeTree(t->R);
    delete t;
  }

  static TNode* NodeLMost(TNode* tree) {
    if (tree != nullptr)
      while (tree->L != nullptr) tree = tree->L;
    return tree;
  }
  static TNode* NodeRMost(TNode* tree) {
    if (tree != nullptr)
      while (tree->R != nullptr) tree = tree->R;
    return tree;
  }
  static TNode* NodeSucc(TNode* x) {
    if (x->R != nullptr) return NodeLMost(x->R);
    while (x->P != nullptr && x->P->R == x) x = x->P;
    return x->P;
  }
  static TNode* NodePred(TNode* x) {
    if (x->L != nullptr) return NodeRMost(x->L);
    while (x->P != nullptr && x->P->L == x) x = x->P;
    return x->P;
  }

  // One rotation lifting x above its parent. The root pointer is not
  // touched: callers that may lift a node to the top re-find it.
  static void TreeUp(TNode* x) {
    TNode* p = x->P;
    TNode* g = p->P;
    const bool pInRight = g != nullptr && g->R == p;
    if (p->L == x) {
      SetL(p, x->R);
      SetR(x, p);
    } else {
      SetR(p, x->L);
      SetL(x, p);
    }
    p->Update();
    x->Update();
    SetChild(g, x, pInRight);
  }

  // One rotation lifting x's stronger child above x; on equal priorities
  // the left child goes up.
  static void TreeDown(TNode* x) {
    if (x->L == nullptr && x->R == nullptr) return;
    const bool liftRight = x->L == nullptr || (x->R != nullptr && x->R->pr > x->L->pr);
    TreeUp(liftRight ? x->R : x->L);
  }

  // Rotates x to the top, ignoring priorities.
  static void MoveToRoot(TNode* x) {
    while (x->P != nullptr) TreeUp(x);
  }

  static void SetL(TNode* parent, TNode* child) { SetChild(parent, child, false); }
  static void SetR(TNode* parent, TNode* child) { SetChild(parent, child, true); }
  // Links child (may be null) below parent (may be null) on the given side.
  static void SetChild(TNode* parent, TNode* child, bool InRight) {
    if (child != nullptr) child->P = parent;
    if (parent != nullptr) (InRight ? parent->R : parent->L) = child;
  }

  // Moves the items up to and including x into LTreap and those after x into
  // RTreap; this container ends empty (unless it is one of the two). A null
  // x puts everything into RTreap. LTreap and RTreap must be two different
  // containers of this container's class.
  void Split(TNode* x, TTreap& LTreap, TTreap& RTreap) {
    RequireSplitPartners(LTreap, RTreap);
    TNode* tree = std::exchange(FRoot, nullptr);
    LTreap.Clear();
    RTreap.Clear();
    if (x == nullptr) {
      RTreap.FRoot = tree;
      return;
    }
    MoveToRoot(x);
    TNode* right = std::exchange(x->R, nullptr);
    SetChild(nullptr, right, true);
    RTreap.FRoot = right;
    x->Update();
    while (x->L != nullptr && x->L->pr > x->pr) TreeUp(x->L);
    LTreap.FRoot = TopOf(x);
  }

  // Replaces this container's items by those of LTreap followed by those of
  // RTreap; both end empty (unless one is this container). Every item of
  // LTreap must come before every item of RTreap.
  void Join(TTreap& LTreap, TTreap& RTreap) {
    RequireSplitPartners(LTreap, RTreap);
    TNode* left = std::exchange(LTreap.FRoot, nullptr);
    TNode* right = std::exchange(RTreap.FRoot, nullptr);
    Clear();
    if (left == nullptr) {
      FRoot = right;
      return;
    }
    TNode* x = NodeRMost(left);
    MoveToRoot(x);
    SetR(x, right);
    x->Update();
    SiftDownForJoin(x);
    FRoot = TopOf(x);
  }

  // Frees every node.
  void Clear() { FreeTree(std::exchange(FRoot, nullptr)); }

  // ---- enumeration -------------------------------------------------------

  // A cursor that starts before the first item; after running off the end
  // it is empty again, so the next MoveNext starts over.
  class TEnumerator {
   public:
    explicit TEnumerator(const TTreap& Treap) : FTreap(&Treap) {}
    bool MoveNext() {
      FCurrentNode = FCurrentNode == nullptr ? NodeLMost(FTreap->FRoot) : NodeSucc(FCurrentNode);
      return FCurrentNode != nullptr;
    }
    void Reset() { FCurrentNode = nullptr; }
    const T& Current() const { return FCurrentNode->data(); }

   private:
    const TTreap* FTreap;
    TNode* FCurrentNode = nullptr;
  };
  TEnumerator GetEnumerator() const { return TEnumerator(*this); }

  // In-order iteration over the items; node() gives the node at the cursor.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = const T&;

    const_iterator() = default;
    explicit const_iterator(TNode* n) : FNode(n) {}
    reference operator*() const { return FNode->data(); }
    pointer operator->() const { return &FNode->data(); }
    const_iterator& operator++() {
      FNode = NodeSucc(FNode);
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const const_iterator&) const = default;
    TNode* node() const { return FNode; }

   private:
    TNode* FNode = nullptr;
  };
  const_iterator begin() const { return const_iterator(NodeLMost(FRoot)); }
  const_iterator end() const { return const_iterator(); }

 protected:
  static void UpdateUpwards(TNode* x) {
    for (; x != nullptr; x = x->P) x->Update();
  }
  static TNode* TopOf(TNode* x) {
    if (x != nullptr)
      while (x->P != nullptr) x = x->P;
    return x;
  }
  // Stores an item into a node without the node's own SetData, for code that
  // only moves items between the nodes of one container (an owning node
  // would free the object it is about to get back).
  static void StoreRaw(TNode* x, T Value) { x->FData = std::move(Value); }

  TNode* FRoot = nullptr;

 private:
  // Sinks x below children of strictly higher priority; on equal priorities
  // the right child goes up (an absent child counts 0).
  static void SiftDownForJoin(TNode* x) {
    for (;;) {
      const std::int32_t lp = x->L != nullptr ? x->L->pr : 0;
      const std::int32_t rp = x->R != nullptr ? x->R->pr : 0;
      if (lp <= x->pr && rp <= x->pr) return;
      TreeUp(rp >= lp ? x->R : x->L);
    }
  }

  // Nodes move between the three containers, so all must create the same
  // node class; a container given twice would receive two trees in one slot.
  void RequireSplitPartners(const TTreap& A, const TTreap& B) const {
    if (&A == &B) throw std::invalid_argument("TTreap: Split/Join need two different containers");
    if (typeid(A) != typeid(*this) || typeid(B) != typeid(*this))
      throw std::invalid_argument("TTreap: Split/Join need containers of the same class");
  }
};

// ---------------------------------------------------------------------------

template <class T>
class TCustomList : public TTreap<T> {
  using Base = TTreap<T>;

 public:
  class TNode : public Base::TNode {
   public:
    void Update() override { size = 1 + SizeOf(this->L) + SizeOf(this->R); }
    std::int32_t size = 1;
  };

  std::unique_ptr<typename Base::TNode> NewNode() const override {
    return std::make_unique<TNode>();
  }

  std::ptrdiff_t Count() const { return SizeOf(this->FRoot); }

  // The item at Index; throws std::out_of_range outside 0..Count-1.
  const T& Items(std::ptrdiff_t Index) const { return ExistingNode(Index)->data(); }
  const T& operator[](std::ptrdiff_t Index) const { return Items(Index); }
  // Stores Value at Index through the node's SetData (an owning list frees
  // the object held there before); throws std::out_of_range outside
  // 0..Count-1.
  void SetItems(std::ptrdiff_t Index, T Value) { ExistingNode(Index)->SetData(std::move(Value)); }

  // The node at Index, or null outside 0..Count-1.
  TNode* GetNode(std::ptrdiff_t Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    auto* x = AsNode(this->FRoot);
    for (;;) {
      const std::ptrdiff_t s = SizeOf(x->L);
      if (Index == s) return x;
      if (Index < s) {
        x = AsNode(x->L);
      } else {
        Index -= s + 1;
        x = AsNode(x->R);
      }
    }
  }

  // The position of node x.
  static std::ptrdiff_t GetIndex(const typename Base::TNode* x) {
    std::ptrdiff_t i = SizeOf(x->L);
    for (; x->P != nullptr; x = x->P)
      if (x->P->R == x) i += SizeOf(x->P->L) + 1;
    return i;
  }

  // All items in order.
  std::vector<T> DataExport() const {
    std::vector<T> a;
    a.reserve(static_cast<std::size_t>(Count()));
    for (const T& item : *this) a.push_back(item);
    return a;
  }

  // Replaces the whole content by a[0 .. Count-1]; a negative Count stands
  // for the whole array.
  void DataImport(std::span<const T> a, std::ptrdiff_t Count) { DataImport(a, 0, Count); }
  // Replaces the whole content by the Count items of a from a[Index] on, in a
  // perfectly balanced tree with deterministic priorities. A negative Count
  // stands for all items from Index to the end; the slice is clamped to a.
  void DataImport(std::span<const T> a, std::ptrdiff_t Index, std::ptrdiff_t Count) {
    if (Count < 0) Count = static_cast<std::ptrdiff_t>(a.size()) - Index;
    const detail::TSlice s = detail::ClampSlice(a.size(), Index, Count);
    const std::span<const T> items = a.subspan(static_cast<std::size_t>(s.Index),
                                               static_cast<std::size_t>(s.Count));
    ReleaseItemsBeingReimported(items);
    this->Clear();
    this->FRoot = BuildBalanced(0, s.Count - 1, s.Count, [&](std::ptrdiff_t i) {
      std::unique_ptr<typename Base::TNode> node = this->NewNode();
      node->SetData(items[static_cast<std::size_t>(i)]);
      return node.release();
    });
  }

  // Randomly reorders the items below x (callers pass Root()). Sizes and
  // priorities stay valid: only left and right are exchanged.
  void Shuffle(typename Base::TNode* x) {
    if (x == nullptr) return;
    if (Random(2) == 0) std::swap(x->L, x->R);
    Shuffle(x->L);
    Shuffle(x->R);
  }

  // Sorts the items and rebalances the tree as DataImport would build it.
  // The nodes themselves are reused, so an owning list neither frees nor
  // re-creates anything, and a comparison that throws leaves the list as it
  // was.
  template <CompareFor<T> Cmp>
  void Sort(Cmp&& cmp) {
    const std::ptrdiff_t n = Count();
    if (n <= 1) return;
    std::vector<T> a = DataExport();
    TSortEngine<T>::Sort(a, 0, n, cmp);
    std::vector<typename Base::TNode*> nodes = DetachNodesInOrder();
    this->FRoot = BuildBalanced(0, n - 1, n, [&](std::ptrdiff_t i) {
      typename Base::TNode* node = nodes[static_cast<std::size_t>(i)];
      Base::StoreRaw(node, std::move(a[static_cast<std::size_t>(i)]));
      return node;
    });
  }
  void Sort(const IComparer<T>& cmp) {
    Sort([&cmp](const T& Left, const T& Right) { return cmp.Compare(Left, Right); });
  }

  // Removes and frees the node at Index; nothing outside 0..Count-1.
  void Delete(std::ptrdiff_t Index) {
    if (TNode* x = GetNode(Index)) this->NodeDelete(x);
  }

  // Splits at position Index: L1 receives items 0..Index, L2 the rest, and
  // this list ends empty. An Index at or past the end puts everything in L1;
  // a negative one everything in L2.
  void Split(std::ptrdiff_t Index, TCustomList& L1, TCustomList& L2) {
    const std::ptrdiff_t n = Count();
    Base::Split(GetNode(Index >= n ? n - 1 : Index), L1, L2);
  }
  using Base::Split;
  void Join(TCustomList& L1, TCustomList& L2) { Base::Join(L1, L2); }
  using Base::Join;

 protected:
  static TNode* AsNode(typename Base::TNode* x) { return static_cast<TNode*>(x); }
  static const TNode* AsNode(const typename Base::TNode* x) { return static_cast<const TNode*>(x); }
  static std::ptrdiff_t SizeOf(const typename Base::TNode* x) {
    return x != nullptr ? AsNode(x)->size : 0;
  }

  // Called before DataImport frees the present nodes: an owning list lets go
  // of the objects that are about to be imported again.
  virtual void ReleaseItemsBeingReimported(std::span<const T>) {}

 private:
  TNode* ExistingNode(std::ptrdiff_t Index) const {
    TNode* x = GetNode(Index);
    if (x == nullptr) throw std::out_of_range("TCustomList: index out of range");
    return x;
  }

  // Unlinks every node, in order, leaving the list empty.
  std::vector<typename Base::TNode*> DetachNodesInOrder() {
    std::vector<typename Base::TNode*> nodes;
    nodes.reserve(static_cast<std::size_t>(Count()));
    for (auto* x = Base::NodeLMost(this->FRoot); x != nullptr; x = Base::NodeSucc(x))
      nodes.push_back(x);
    for (auto* x : nodes) x->P = x->L = x->R = nullptr;
    this->FRoot = nullptr;
    return nodes;
  }

  // Builds the subtree for slice positions lo..hi of a Count-item sequence:
  // the middle item on top, sizes exact, and priority size * $7FFFFFFD / Count
  // (so the top gets $7FFFFFFD and every parent outranks its children).
  // NodeAt(i) supplies the unlinked node for position i.
  template <class NodeSource>
  static typename Base::TNode* BuildBalanced(std::ptrdiff_t lo, std::ptrdiff_t hi,
                                             std::ptrdiff_t Count, NodeSource&& NodeAt) {
    if (lo > hi) return nullptr;
    const std::ptrdiff_t m = lo + (hi - lo) / 2;
    TNode* x = AsNode(NodeAt(m));
    x->size = static_cast<std::int32_t>(hi - lo + 1);
    x->pr = static_cast<std::int32_t>(static_cast<std::int64_t>(x->size) * 0x7FFFFFFD / Count);
    Base::SetL(x, BuildBalanced(lo, m - 1, Count, NodeAt));
    Base::SetR(x, BuildBalanced(m + 1, hi, Count, NodeAt));
    x->P = nullptr;
    return x;
  }
};

// ---------------------------------------------------------------------------

template <class T>
class TList : public TCustomList<T> {
  using Base = TCustomList<T>;

 public:
  using typename Base::TNode;

  // Inserts Value just before the item at Index; an Index outside
  // 0..Count-1 appends. Returns the new node.
  TNode* Insert(std::ptrdiff_t Index, T Value) {
    std::unique_ptr<typename TTreap<T>::TNode> fresh = this->NewNode();
    fresh->SetData(std::move(Value));
    auto* y = static_cast<TNode*>(fresh.release());
    if (TNode* t = this->GetNode(Index)) {
      if (t->L != nullptr)
        this->NodeInsertAtLeaf(TTreap<T>::NodeRMost(t->L), y, true);
      else
        this->NodeInsertAtLeaf(t, y, false);
    } else {
      this->NodeInsertAtLeaf(TTreap<T>::NodeRMost(this->FRoot), y, true);
    }
    this->FRoot = Base::TopOf(this->FRoot);
    return y;
  }

  // Appends Value.
  TNode* Add(T Value) { return Insert(this->Count(), std::move(Value)); }
};

// ---------------------------------------------------------------------------

// Turns a node class holding T* into one that owns the object: storing a
// different object deletes the one held before, and destroying the node
// deletes the object. Storing the object already held changes nothing.
template <class NodeBase, class T>
class TOwningNode : public NodeBase {
 public:
  ~TOwningNode() override { delete this->FData; }
  void SetData(T* Value) override {
    if (Value == this->FData) return;
    delete this->FData;
    this->FData = Value;
  }
  // Hands the object back to the caller; the node then holds none.
  T* Release() { return std::exchange(this->FData, nullptr); }
};

// An index-addressed list that owns its items: each object is deleted once,
// when its node is freed (Delete, Clear, destruction, the clearing steps of
// Split, Join and DataImport) or when SetItems replaces it.
template <class T>
class TObjList : public TList<T*> {
  using Base = TList<T*>;

 public:
  using TNode = TOwningNode<typename Base::TNode, T>;

  std::unique_ptr<typename TTreap<T*>::TNode> NewNode() const override {
    return std::make_unique<TNode>();
  }

 protected:
  // Objects that come back through DataImport must survive the clearing of
  // the old nodes.
  void ReleaseItemsBeingReimported(std::span<T* const> items) override {
    if (items.empty() || this->FRoot == nullptr) return;
    const std::unordered_set<T*> incoming(items.begin(), items.end());
    for (auto* x = TTreap<T*>::NodeLMost(this->FRoot); x != nullptr; x = TTreap<T*>::NodeSucc(x))
      if (incoming.contains(x->data())) static_cast<TNode*>(x)->Release();
  }
};

}  // namespace velkor
