// Sequence containers for values: a singly linked list with node events,
// array export and import and sorting, and a first-in first-out queue on it.
//
// Elements are values (records of strings, strings), copied in and out. The
// list owns its nodes; freeing the list frees every node, and OnFreeNode
// fires for each so a handler can release what it attached on creation.
//
// The list keeps a pointer to its last node through every operation, not
// only through Push, so a queue that was imported into, sorted or built from
// an array can still be appended to.
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/Sorting.h"

namespace velkor {

template <class T>
struct TSinglyLinkedNode {
  T Data{};
  TSinglyLinkedNode* link = nullptr;  // the next node, null for the last
};

// Node events: the node and its Data by reference, so a handler may fill or
// release the element.
template <class T>
using TOnCreateNodeEvent = std::function<void(TSinglyLinkedNode<T>* Sender, T& NodeData)>;
template <class T>
using TOnFreeNodeEvent = std::function<void(TSinglyLinkedNode<T>* Sender, T& NodeData)>;

template <class T>
class TSinglyLinkedList {
 public:
  using TNode = TSinglyLinkedNode<T>;

  // Fired after a node is created, before its element is assigned.
  TOnCreateNodeEvent<T> OnCreateNode;
  // Fired before a node is freed.
  TOnFreeNodeEvent<T> OnFreeNode;

  TSinglyLinkedList() = default;
  // A list holding the items of PreData in their order.
  explicit TSinglyLinkedList(std::span<const T> PreData) {
    Import(PreData, 0, static_cast<std::ptrdiff_t>(PreData.size()));
  }
  TSinglyLinkedList(std::initializer_list<T> PreData)
      : TSinglyLinkedList(std::span<const T>(PreData.begin(), PreData.size())) {}

  TSinglyLinkedList(const TSinglyLinkedList&) = delete;
  TSinglyLinkedList& operator=(const TSinglyLinkedList&) = delete;
  TSinglyLinkedList(TSinglyLinkedList&& other) noexcept { TakeNodesOf(other); }
  TSinglyLinkedList& operator=(TSinglyLinkedList&& other) {
    if (this != &other) {
      MakeEmpty();
      TakeNodesOf(other);
    }
    return *this;
  }

  virtual ~TSinglyLinkedList() { MakeEmpty(); }

  TNode* HeadNode() const { return FHead; }
  std::ptrdiff_t Count() const { return FCount; }
  bool Empty() const { return FHead == nullptr; }

  // Frees every node from the head on; OnFreeNode fires for each.
  void MakeEmpty() {
    while (FHead != nullptr) {
      std::unique_ptr<TNode> node = UnlinkHead();
      FreeNode(node.get());
    }
  }

  // Copies of all items, head first.
  std::vector<T> ExportArray() const {
    std::vector<T> a(static_cast<std::size_t>(FCount));
    std::size_t k = 0;
    for (TNode* n = FHead; n != nullptr; n = n->link) AssignData(a[k++], n->Data);
    return a;
  }
  std::vector<T> ToArray() const { return ExportArray(); }

  // Puts copies of a[Index .. Index+Count-1], in that order, in front of the
  // existing items. The slice is clamped to the array.
  void Import(std::span<const T> a, std::ptrdiff_t Index, std::ptrdiff_t Count) {
    const detail::TSlice s = detail::ClampSlice(a.size(), Index, Count);
    for (std::ptrdiff_t i = s.Index + s.Count - 1; i >= s.Index; --i) {
      std::unique_ptr<TNode> node = CreateNode();
      AssignData(node->Data, a[static_cast<std::size_t>(i)]);
      PushFront(node.release());
    }
  }

  // Sorts the items by rebuilding the list: every node is freed (OnFreeNode)
  // and the sorted items are imported into new nodes (OnCreateNode).
  template <CompareFor<T> Cmp>
  void Sort(Cmp&& cmp) {
    if (FCount <= 1) return;
    std::vector<T> a = ExportArray();
    TSortEngine<T>::Sort(a, 0, static_cast<std::ptrdiff_t>(a.size()), cmp);
    MakeEmpty();
    Import(a, 0, static_cast<std::ptrdiff_t>(a.size()));
  }
  void Sort(const IComparer<T>& cmp) {
    Sort([&cmp](const T& Left, const T& Right) { return cmp.Compare(Left, Right); });
  }

  // The element protocol: the only way elements enter or leave a node.
  virtual void AssignData(T& Target, const T& Value) const { Target = Value; }

  // A cursor that starts before the head; after running off the end it is
  // empty again, so the next MoveNext starts over at the head.
  class TEnumerator {
   public:
    explicit TEnumerator(const TSinglyLinkedList& List) : FList(&List) {}
    bool MoveNext() {
      FCurrentNode = FCurrentNode == nullptr ? FList->FHead : FCurrentNode->link;
      return FCurrentNode != nullptr;
    }
    void Reset() { FCurrentNode = nullptr; }
    T Current() const { return FCurrentNode->Data; }

   private:
    const TSinglyLinkedList* FList;
    TNode* FCurrentNode = nullptr;
  };
  TEnumerator GetEnumerator() const { return TEnumerator(*this); }

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = const T&;

    const_iterator() = default;
    explicit const_iterator(TNode* n) : FNode(n) {}
    reference operator*() const { return FNode->Data; }
    pointer operator->() const { return &FNode->Data; }
    const_iterator& operator++() {
      FNode = FNode->link;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const const_iterator&) const = default;

   private:
    TNode* FNode = nullptr;
  };
  const_iterator begin() const { return const_iterator(FHead); }
  const_iterator end() const { return const_iterator(); }

 protected:
  // A new node; OnCreateNode fires before the element is assigned.
  std::unique_ptr<TNode> CreateNode() {
    auto node = std::make_unique<TNode>();
    if (OnCreateNode) OnCreateNode(node.get(), node->Data);
    return node;
  }
  // Fires OnFreeNode; the caller frees the node.
  void FreeNode(TNode* x) {
    if (OnFreeNode) OnFreeNode(x, x->Data);
  }

  void PushFront(TNode* node) {
    node->link = FHead;
    FHead = node;
    if (FTail == nullptr) FTail = node;
    ++FCount;
  }
  void PushBack(TNode* node) {
    node->link = nullptr;
    if (FTail != nullptr)
      FTail->link = node;
    else
      FHead = node;
    FTail = node;
    ++FCount;
  }
  // Unlinks the head node and hands it to the caller.
  std::unique_ptr<TNode> UnlinkHead() {
    std::unique_ptr<TNode> node(FHead);
    FHead = node->link;
    if (FHead == nullptr) FTail = nullptr;
    --FCount;
    return node;
  }

  TNode* FHead = nullptr;
  TNode* FTail = nullptr;
  std::ptrdiff_t FCount = 0;

 private:
  // Moves the nodes only: the events stay with the list they were set on.
  void TakeNodesOf(TSinglyLinkedList& other) noexcept {
    FHead = std::exchange(other.FHead, nullptr);
    FTail = std::exchange(other.FTail, nullptr);
    FCount = std::exchange(other.FCount, 0);
  }
};

template <class T>
class TQueue : public TSinglyLinkedList<T> {
  using Base = TSinglyLinkedList<T>;

 public:
  using typename Base::TNode;
  using Base::Base;

  TQueue() = default;
  TQueue(TQueue&&) noexcept = default;
  TQueue& operator=(TQueue&&) = default;

  // Appends a copy at the rear.
  void Push(const T& Value) {
    std::unique_ptr<TNode> node = this->CreateNode();
    this->AssignData(node->Data, Value);
    this->PushBack(node.release());
  }

  // A copy of the head item. Throws std::out_of_range on an empty queue.
  T Get() const { return CopyOf(NonEmptyHead("Get")); }
  // A copy of the rear item. Throws std::out_of_range on an empty queue.
  T GetRear() const {
    NonEmptyHead("GetRear");
    return CopyOf(this->FTail);
  }
  // Removes the head item and returns a copy of it. Throws std::out_of_range
  // on an empty queue.
  T Pop() {
    T result = CopyOf(NonEmptyHead("Pop"));
    std::unique_ptr<TNode> node = this->UnlinkHead();
    this->FreeNode(node.get());
    return result;
  }

  // The node most recently appended, or the last node after an import or a
  // sort; null when the queue is empty.
  TNode* lastnode() const { return this->FTail; }

 private:
  T CopyOf(const TNode* node) const {
    T result;
    this->AssignData(result, node->Data);
    return result;
  }
  TNode* NonEmptyHead(const char* operation) const {
    if (this->FHead == nullptr)
      throw std::out_of_range(std::string("TQueue::") + operation + " on an empty queue");
    return this->FHead;
  }
};

}  // namespace velkor
