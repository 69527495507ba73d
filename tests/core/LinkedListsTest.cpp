#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/LinkedLists.h"

namespace velkor {
namespace {

template <class T>
std::vector<T> Items(const TSinglyLinkedList<T>& list) {
  return std::vector<T>(list.begin(), list.end());
}

int IntCmp(const int& a, const int& b) { return a < b ? -1 : a > b ? 1 : 0; }

struct ImportCase {
  const char* why;
  std::vector<int> before;
  std::vector<int> a;
  std::ptrdiff_t index, count;
  std::vector<int> after;
};

TEST(SinglyLinkedList, ImportPrependsTheSliceInArrayOrder) {
  const ImportCase cases[] = {
      {"middle slice", {9}, {1, 2, 3}, 1, 2, {2, 3, 9}},
      {"count zero adds nothing", {9}, {1, 2, 3}, 0, 0, {9}},
      {"negative count adds nothing", {9}, {1, 2, 3}, 0, -4, {9}},
      {"into an empty list", {}, {1, 2, 3}, 0, 3, {1, 2, 3}},
      {"before several items", {7, 8}, {1, 2}, 0, 2, {1, 2, 7, 8}},
      {"count past the end is clamped", {9}, {1, 2, 3}, 1, 10, {2, 3, 9}},
      {"index past the end adds nothing", {9}, {1, 2, 3}, 3, 1, {9}},
  };
  for (const ImportCase& c : cases) {
    TSinglyLinkedList<int> list(c.before);
    list.Import(c.a, c.index, c.count);
    EXPECT_EQ(Items(list), c.after) << c.why;
    EXPECT_EQ(list.Count(), static_cast<std::ptrdiff_t>(c.after.size())) << c.why;
    EXPECT_EQ(list.ExportArray(), c.after) << c.why;
  }
}

TEST(SinglyLinkedList, EnumeratorRestartsAfterTheEnd) {
  TSinglyLinkedList<std::string> list{"a", "b", "c"};
  EXPECT_EQ(list.Count(), 3);
  auto e = list.GetEnumerator();
  std::vector<std::string> seen;
  for (int pass = 0; pass < 2; ++pass) {
    while (e.MoveNext()) seen.push_back(e.Current());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", "a", "b", "c"}));

  TSinglyLinkedList<std::string> empty;
  EXPECT_TRUE(empty.Empty());
  EXPECT_FALSE(empty.GetEnumerator().MoveNext());
}

// Records the node events in order, as "+x" for a created node (with the
// element it is about to receive unknown yet) and "-x" for a freed one.
struct EventLog {
  std::vector<std::string> events;
  void Attach(TSinglyLinkedList<std::string>& list) {
    list.OnCreateNode = [this](TSinglyLinkedNode<std::string>*, std::string& data) {
      events.push_back("+" + data);
    };
    list.OnFreeNode = [this](TSinglyLinkedNode<std::string>*, std::string& data) {
      events.push_back("-" + data);
    };
  }
};

TEST(SinglyLinkedList, SortRebuildsTheNodesAndFiresTheirEvents) {
  EventLog log1, log3;  // outlive the lists, whose destruction fires events too
  TSinglyLinkedList<std::string> one{"x"};
  log1.Attach(one);
  one.Sort([](const std::string& a, const std::string& b) { return a.compare(b); });
  EXPECT_TRUE(log1.events.empty());

  TSinglyLinkedList<std::string> three{"c", "a", "b"};
  log3.Attach(three);
  three.Sort([](const std::string& a, const std::string& b) { return a.compare(b); });
  // Every old node is freed first, then the new ones are created; a node's
  // element is assigned only after its creation event.
  EXPECT_EQ(log3.events, (std::vector<std::string>{"-c", "-a", "-b", "+", "+", "+"}));
  EXPECT_EQ(Items(three), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(SinglyLinkedList, FreeNodeHandlerSeesEveryElementOnDestruction) {
  std::vector<std::string> released;
  {
    TSinglyLinkedList<std::string> list{"p", "q"};
    list.OnFreeNode = [&](TSinglyLinkedNode<std::string>*, std::string& data) {
      released.push_back(data);
    };
  }
  EXPECT_EQ(released, (std::vector<std::string>{"p", "q"}));
}

// An element that counts its live copies, so leaked or doubly destroyed
// elements show.
struct Counted {
  static inline int live = 0;
  std::string name;
  Counted() { ++live; }
  Counted(std::string n) : name(std::move(n)) { ++live; }
  Counted(const Counted& o) : name(o.name) { ++live; }
  Counted& operator=(const Counted&) = default;
  ~Counted() { --live; }
};

TEST(SinglyLinkedList, ReleasesEveryElement) {
  ASSERT_EQ(Counted::live, 0);
  {
    TQueue<Counted> q;
    for (int i = 0; i < 10; ++i) q.Push(Counted("n" + std::to_string(i)));
    q.Pop();
    q.Sort([](const Counted& a, const Counted& b) { return b.name.compare(a.name); });
    q.Import(q.ExportArray(), 2, 3);
    EXPECT_EQ(q.Count(), 12);
  }
  EXPECT_EQ(Counted::live, 0);
}

TEST(Queue, PushPopGetAndRear) {
  TQueue<std::string> q;
  q.Push("a");
  q.Push("b");
  EXPECT_EQ(q.Pop(), "a");
  EXPECT_EQ(q.Get(), "b");
  EXPECT_EQ(q.GetRear(), "b");
  EXPECT_EQ(q.Pop(), "b");
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.lastnode(), nullptr);
  q.Push("c");
  EXPECT_EQ(q.Get(), "c");
  EXPECT_EQ(q.GetRear(), "c");
  EXPECT_EQ(q.Count(), 1);
}

TEST(Queue, EmptyQueueRefusesToAnswer) {
  TQueue<int> q;
  EXPECT_THROW(q.Get(), std::out_of_range);
  EXPECT_THROW(q.GetRear(), std::out_of_range);
  EXPECT_THROW(q.Pop(), std::out_of_range);
}

// The rear stays right after every operation that replaces or adds nodes
// other than Push, so appending afterwards keeps first-in first-out order.
TEST(Queue, RearStaysValidAfterSortImportAndConstruction) {
  TQueue<int> sorted;
  for (int x : {5, 3, 9, 1}) sorted.Push(x);
  sorted.Sort(IntCmp);
  sorted.Push(4);
  EXPECT_EQ(sorted.GetRear(), 4);
  EXPECT_EQ(Items(sorted), (std::vector<int>{1, 3, 5, 9, 4}));

  TQueue<int> imported;
  imported.Import(std::vector<int>{1, 2}, 0, 2);
  imported.Push(3);
  imported.Import(std::vector<int>{0}, 0, 1);
  imported.Push(4);
  EXPECT_EQ(Items(imported), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(imported.GetRear(), 4);

  TQueue<int> built{7, 8};
  built.Push(9);
  EXPECT_EQ(Items(built), (std::vector<int>{7, 8, 9}));

  TQueue<int> emptied{1, 2};
  emptied.MakeEmpty();
  emptied.Push(3);
  EXPECT_EQ(Items(emptied), (std::vector<int>{3}));

  TQueue<int> moved(std::move(built));
  moved.Push(10);
  EXPECT_EQ(Items(moved), (std::vector<int>{7, 8, 9, 10}));
  EXPECT_TRUE(built.Empty());
}

TEST(Queue, DrainsInPushOrder) {
  TQueue<int> q;
  std::vector<int> popped;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 3; ++i) q.Push(round * 3 + i);
    popped.push_back(q.Pop());
  }
  while (!q.Empty()) popped.push_back(q.Pop());
  std::vector<int> expected(15);
  for (int i = 0; i < 15; ++i) expected[i] = i;
  EXPECT_EQ(popped, expected);
  EXPECT_EQ(q.Count(), 0);
}

}  // namespace
}  // namespace velkor
