// Test helpers for the treap containers: a full structural check and a few
// builders that fix priorities so tie rules can be observed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/Treaps.h"

namespace velkor::test {

// Checks the four invariants of a list: parent links, heap order, subtree
// sizes, and a root without a parent. Returns the failure with the node's
// position so a broken rotation is easy to locate.
template <class T>
::testing::AssertionResult TreapIsSound(const TCustomList<T>& list) {
  using Node = typename TTreap<T>::TNode;
  using ListNode = typename TCustomList<T>::TNode;
  const Node* root = list.Root();
  if (root == nullptr)
    return list.Count() == 0 ? ::testing::AssertionSuccess()
                             : ::testing::AssertionFailure() << "empty tree, Count " << list.Count();
  if (root->P != nullptr) return ::testing::AssertionFailure() << "root has a parent";

  std::string fault;
  std::int64_t visited = 0;
  // Returns the subtree's node count, or -1 after recording a fault.
  auto walk = [&](auto&& self, const Node* x) -> std::int64_t {
    if (x == nullptr) return 0;
    ++visited;
    for (const Node* c : {x->L, x->R}) {
      if (c == nullptr) continue;
      if (c->P != x) {
        fault = "child's parent link is wrong";
        return -1;
      }
      if (c->pr > x->pr) {
        fault = "child outranks its parent";
        return -1;
      }
    }
    const std::int64_t l = self(self, x->L);
    if (l < 0) return -1;
    const std::int64_t r = self(self, x->R);
    if (r < 0) return -1;
    if (static_cast<const ListNode*>(x)->size != l + r + 1) {
      fault = "size " + std::to_string(static_cast<const ListNode*>(x)->size) + " should be " +
              std::to_string(l + r + 1);
      return -1;
    }
    return l + r + 1;
  };
  const std::int64_t n = walk(walk, root);
  if (n < 0) return ::testing::AssertionFailure() << fault << " (after " << visited << " nodes)";
  if (n != list.Count()) return ::testing::AssertionFailure() << "Count disagrees with the tree";
  return ::testing::AssertionSuccess();
}

template <class T>
std::vector<T> Items(const TTreap<T>& treap) {
  return std::vector<T>(treap.begin(), treap.end());
}

template <class T>
int Height(const typename TTreap<T>::TNode* x) {
  if (x == nullptr) return 0;
  return 1 + std::max(Height<T>(x->L), Height<T>(x->R));
}

// Appends Value with a chosen priority; the usual sift-up keeps the heap.
template <class T>
void AppendWithPriority(TCustomList<T>& list, T Value, std::int32_t pr) {
  auto node = list.NewNode();
  node->SetData(std::move(Value));
  node->pr = pr;
  list.NodeInsertAtLeaf(TTreap<T>::NodeRMost(list.Root()), node.release(), true);
}

// An object that records its own destruction, to show that owning
// containers delete each item exactly once.
struct Tracked {
  explicit Tracked(int id) : Id(id) {}
  ~Tracked() { Deleted().push_back(Id); }
  int Id;
  static std::vector<int>& Deleted() {
    static std::vector<int> deleted;
    return deleted;
  }
};

inline std::multiset<int> DeletedIds() {
  return {Tracked::Deleted().begin(), Tracked::Deleted().end()};
}

}  // namespace velkor::test
