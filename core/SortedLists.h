// The keyed containers: a sorted list whose nodes carry a sort key, a set in
// which a key occurs once, and the owning set under every named collection
// of the data model.
//
// Every comparison is Compare(k, key of the node): the searched or inserted
// key first. Compare is virtual so a set can impose its own order (the named
// sets compare names with CompareText); the default asks the key type's own
// ordering.
//
// Positions (the IdxSearch family) are positions in the whole container,
// also when a search starts below the top.
//
// The keyed containers do not offer the list operations that reorder or
// rebuild nodes without their keys (Sort, Shuffle, DataImport): the order of
// a keyed container is the order of its keys.
#pragma once

#include <compare>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "core/Treaps.h"

namespace velkor {

template <class K, class T>
class TSortedList : public TCustomList<T> {
  using Base = TCustomList<T>;
  using Treap = TTreap<T>;
  using TreapNode = typename Treap::TNode;

 public:
  class TNode : public Base::TNode {
   public:
    K key{};
  };

  std::unique_ptr<TreapNode> NewNode() const override { return std::make_unique<TNode>(); }

  // Negative, zero or positive as Left sorts before, with or after Right.
  virtual int Compare(const K& Left, const K& Right) const {
    const auto c = Left <=> Right;
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }

  // The key of a node of this container (for walks with NodeLMost/NodeSucc).
  static const K& KeyOf(const TreapNode* x) { return AsKeyed(x)->key; }

  // ---- insertion ---------------------------------------------------------

  // Inserts even when an equal key exists: the new item goes after its equals.
  TNode* Insert(const K& k, T Value) { return Descend(k, std::move(Value), imAlways); }
  // A node with an equal key takes key k and item Value (an owning set frees
  // the object it held, unless it is Value itself); otherwise a new node.
  TNode* InsertReplace(const K& k, T Value) { return Descend(k, std::move(Value), imReplace); }
  // A node with an equal key is returned unchanged and Value is not stored
  // (an owning set does not take it: the caller still owns Value when the
  // node's data() is not Value); otherwise a new node.
  TNode* InsertIfNotExists(const K& k, T Value) { return Descend(k, std::move(Value), imKeep); }

  // Deletes the node with key k; false when there is none.
  bool Remove(const K& k) {
    TNode* x = Search(k);
    if (x == nullptr) return false;
    this->NodeDelete(x);
    return true;
  }

  // ---- searches (from Tree, normally Root()) -----------------------------

  // The node with a key equal to k, or null.
  TNode* Search(const TreapNode* Tree, const K& k) const {
    while (Tree != nullptr) {
      const int c = Compare(k, KeyOf(Tree));
      if (c == 0) return AsKeyed(Tree);
      Tree = c < 0 ? Tree->L : Tree->R;
    }
    return nullptr;
  }
  // The first node with key >= k.
  TNode* SearchGE(const TreapNode* Tree, const K& k) const {
    return Nearest(Tree, k, [](int c) { return c <= 0; }, kGoLeftOnCandidate);
  }
  // The first node with key > k.
  TNode* SearchG(const TreapNode* Tree, const K& k) const {
    return Nearest(Tree, k, [](int c) { return c < 0; }, kGoLeftOnCandidate);
  }
  // The last node with key <= k.
  TNode* SearchLE(const TreapNode* Tree, const K& k) const {
    return Nearest(Tree, k, [](int c) { return c >= 0; }, kGoRightOnCandidate);
  }
  // The last node with key < k.
  TNode* SearchL(const TreapNode* Tree, const K& k) const {
    return Nearest(Tree, k, [](int c) { return c > 0; }, kGoRightOnCandidate);
  }

  TNode* Search(const K& k) const { return Search(this->FRoot, k); }
  TNode* SearchGE(const K& k) const { return SearchGE(this->FRoot, k); }
  TNode* SearchG(const K& k) const { return SearchG(this->FRoot, k); }
  TNode* SearchLE(const K& k) const { return SearchLE(this->FRoot, k); }
  TNode* SearchL(const K& k) const { return SearchL(this->FRoot, k); }

  // Positions of the searches' nodes: -1 when Search, SearchLE or SearchL
  // finds none, Count when SearchGE or SearchG finds none.
  std::ptrdiff_t IdxSearch(const TreapNode* Tree, const K& k) const {
    return IndexOr(Search(Tree, k), -1);
  }
  std::ptrdiff_t IdxSearchGE(const TreapNode* Tree, const K& k) const {
    return IndexOr(SearchGE(Tree, k), this->Count());
  }
  std::ptrdiff_t IdxSearchG(const TreapNode* Tree, const K& k) const {
    return IndexOr(SearchG(Tree, k), this->Count());
  }
  std::ptrdiff_t IdxSearchLE(const TreapNode* Tree, const K& k) const {
    return IndexOr(SearchLE(Tree, k), -1);
  }
  std::ptrdiff_t IdxSearchL(const TreapNode* Tree, const K& k) const {
    return IndexOr(SearchL(Tree, k), -1);
  }

  std::ptrdiff_t IdxSearch(const K& k) const { return IdxSearch(this->FRoot, k); }
  std::ptrdiff_t IdxSearchGE(const K& k) const { return IdxSearchGE(this->FRoot, k); }
  std::ptrdiff_t IdxSearchG(const K& k) const { return IdxSearchG(this->FRoot, k); }
  std::ptrdiff_t IdxSearchLE(const K& k) const { return IdxSearchLE(this->FRoot, k); }
  std::ptrdiff_t IdxSearchL(const K& k) const { return IdxSearchL(this->FRoot, k); }

  // All keys in order.
  std::vector<K> KeyExport() const {
    std::vector<K> keys;
    keys.reserve(static_cast<std::size_t>(this->Count()));
    for (auto it = this->begin(); it != this->end(); ++it) keys.push_back(KeyOf(it.node()));
    return keys;
  }

  // Reordering items apart from their keys would break the key order.
  template <class Cmp>
  void Sort(Cmp&&) = delete;
  void Shuffle(TreapNode*) = delete;
  void DataImport(std::span<const T>, std::ptrdiff_t) = delete;
  void DataImport(std::span<const T>, std::ptrdiff_t, std::ptrdiff_t) = delete;

 private:
  enum TInsertMode { imAlways, imReplace, imKeep };
  static constexpr bool kGoLeftOnCandidate = false;
  static constexpr bool kGoRightOnCandidate = true;

  static TNode* AsKeyed(const TreapNode* x) {
    return static_cast<TNode*>(const_cast<TreapNode*>(x));
  }
  static std::ptrdiff_t IndexOr(const TNode* x, std::ptrdiff_t none) {
    return x != nullptr ? Base::GetIndex(x) : none;
  }

  // The shared descent of the three insertions: equal keys go right, so a
  // new item lands after its equals.
  TNode* Descend(const K& k, T Value, TInsertMode mode) {
    TreapNode* parent = nullptr;
    int c = 0;
    for (TreapNode* x = this->FRoot; x != nullptr; x = c < 0 ? x->L : x->R) {
      c = Compare(k, KeyOf(x));
      if (c == 0 && mode != imAlways) return Found(AsKeyed(x), k, std::move(Value), mode);
      parent = x;
    }
    std::unique_ptr<TreapNode> fresh = NewNode();
    auto* y = static_cast<TNode*>(fresh.get());
    y->key = k;
    y->SetData(std::move(Value));
    this->NodeInsertAtLeaf(parent, fresh.release(), c >= 0);
    return y;
  }
  TNode* Found(TNode* x, const K& k, T Value, TInsertMode mode) {
    if (mode == imReplace) {
      x->key = k;
      x->SetData(std::move(Value));
    }
    return x;
  }

  // Descends from Tree keeping a candidate: a node whose comparison result
  // passes IsCandidate becomes the candidate and the descent continues on
  // the side given (left for the first-at-or-after searches, right for the
  // last-before ones); otherwise it continues on the other side.
  template <class Pred>
  TNode* Nearest(const TreapNode* Tree, const K& k, Pred IsCandidate, bool rightOnCandidate) const {
    const TreapNode* candidate = nullptr;
    while (Tree != nullptr) {
      const bool hit = IsCandidate(Compare(k, KeyOf(Tree)));
      if (hit) candidate = Tree;
      Tree = hit == rightOnCandidate ? Tree->R : Tree->L;
    }
    return candidate != nullptr ? AsKeyed(candidate) : nullptr;
  }
};

// A sorted list in which a key occurs once when filled through Include.
template <class K, class T>
class TOrderedSet : public TSortedList<K, T> {
 public:
  // Whether Include of an existing key replaces the item (true) or keeps the
  // existing one (false).
  bool ReplacedInsertion = true;

  typename TSortedList<K, T>::TNode* Include(const K& k, T value) {
    return ReplacedInsertion ? this->InsertReplace(k, std::move(value))
                             : this->InsertIfNotExists(k, std::move(value));
  }
  bool Exclude(const K& k) { return this->Remove(k); }
};

// The owning set: each object is deleted once, when its node is freed
// (Exclude, Remove, Delete, Clear, destruction) or when Include or
// InsertReplace stores a different object under its key.
template <class K, class T>
class TObjOrderedSet : public TOrderedSet<K, T*> {
  using KeyedNode = typename TSortedList<K, T*>::TNode;

 public:
  using TNode = TOwningNode<KeyedNode, T>;

  std::unique_ptr<typename TTreap<T*>::TNode> NewNode() const override {
    return std::make_unique<TNode>();
  }
};

}  // namespace velkor
