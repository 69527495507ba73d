#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "TreapCheck.h"
#include "core/SystemInfo.h"
#include "core/Treaps.h"

namespace velkor {
namespace {

using test::AppendWithPriority;
using test::Items;
using test::Tracked;
using test::TreapIsSound;

constexpr std::int32_t kImportTop = 0x7FFFFFFD;

int IntCmp(const int& a, const int& b) { return a < b ? -1 : a > b ? 1 : 0; }

TList<int> ListOf(std::initializer_list<int> values) {
  TList<int> list;
  for (int v : values) list.Add(v);
  return list;
}

TEST(TList, InsertPutsTheItemBeforeTheOneAtIndex) {
  TList<int> list;
  list.Insert(0, 1);
  list.Insert(0, 2);
  list.Insert(1, 3);
  EXPECT_EQ(Items(list), (std::vector<int>{2, 3, 1}));

  // Out-of-range positions append.
  list.Insert(-5, 4);
  list.Insert(list.Count() + 7, 5);
  EXPECT_EQ(Items(list), (std::vector<int>{2, 3, 1, 4, 5}));
  EXPECT_TRUE(TreapIsSound(list));

  auto* node = list.Insert(2, 6);
  EXPECT_EQ(node->data(), 6);
  EXPECT_EQ(TCustomList<int>::GetIndex(node), 2);
}

TEST(TList, PositionalAccess) {
  TList<std::string> list;
  for (const char* s : {"a", "b", "c"}) list.Add(s);
  EXPECT_EQ(list.Items(1), "b");
  EXPECT_EQ(list[2], "c");
  list.SetItems(1, "B");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "B", "c"}));
  EXPECT_EQ(list.GetNode(-1), nullptr);
  EXPECT_EQ(list.GetNode(3), nullptr);
  EXPECT_THROW(list.Items(3), std::out_of_range);
  EXPECT_THROW(list.SetItems(-1, "x"), std::out_of_range);

  list.Delete(3);  // out of range: nothing
  list.Delete(-1);
  EXPECT_EQ(list.Count(), 3);
  list.Delete(0);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"B", "c"}));
}

// Deleting the first of two items must leave the other as the root, whether
// the first was the top with a right child or the child of the second.
TEST(TList, DeleteFirstOfTwoWhicheverIsOnTop) {
  for (bool firstOnTop : {true, false}) {
    TList<int> list;
    AppendWithPriority<int>(list, 10, firstOnTop ? 200 : 100);
    AppendWithPriority<int>(list, 20, firstOnTop ? 100 : 200);
    ASSERT_EQ(list.Root()->data(), firstOnTop ? 10 : 20);
    list.Delete(0);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0), 20);
    EXPECT_EQ(list.Root()->data(), 20);
    EXPECT_TRUE(TreapIsSound(list));
  }
}

TEST(TList, EnumeratorVisitsEachItemThenStartsOver) {
  TList<int> list = ListOf({4, 5, 6});
  auto e = list.GetEnumerator();
  std::vector<int> seen;
  while (e.MoveNext()) seen.push_back(e.Current());
  seen.push_back(-1);
  while (e.MoveNext()) seen.push_back(e.Current());
  EXPECT_EQ(seen, (std::vector<int>{4, 5, 6, -1, 4, 5, 6}));
  e.Reset();
  ASSERT_TRUE(e.MoveNext());
  EXPECT_EQ(e.Current(), 4);
}

TEST(TCustomList, DataImportBuildsABalancedTreeWithFixedPriorities) {
  TList<int> list;
  const std::vector<int> seven{1, 2, 3, 4, 5, 6, 7};
  list.DataImport(seven, -1);
  EXPECT_EQ(Items(list), seven);
  EXPECT_EQ(list.Root()->data(), 4);
  EXPECT_EQ(list.Root()->pr, kImportTop);
  EXPECT_EQ(test::Height<int>(list.Root()), 3);
  EXPECT_TRUE(TreapIsSound(list));

  list.DataImport(seven, 2, 3);
  EXPECT_EQ(Items(list), (std::vector<int>{3, 4, 5}));
  list.DataImport(seven, 5, -1);
  EXPECT_EQ(Items(list), (std::vector<int>{6, 7}));
  list.DataImport(seven, 5, 100);  // clamped to the array
  EXPECT_EQ(Items(list), (std::vector<int>{6, 7}));
  EXPECT_EQ(list.DataExport(), (std::vector<int>{6, 7}));

  list.DataImport(std::vector<int>{}, -1);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Root(), nullptr);
  EXPECT_TRUE(list.DataExport().empty());
}

// On equal priorities the deletion's rotations lift the left child and the
// join's sift-down the right one; a three-item import has two children of
// equal priority under its top.
TEST(TTreap, TieRulesOfDeleteAndJoin) {
  TList<char> list;
  list.DataImport(std::vector<char>{'a', 'x', 'b'}, -1);
  ASSERT_EQ(list.Root()->L->pr, list.Root()->R->pr);
  list.Delete(1);
  EXPECT_EQ(list.Root()->data(), 'a');  // lifting 'b' would have put it on top
  EXPECT_TRUE(TreapIsSound(list));

  TList<char> left, right, joined;
  left.DataImport(std::vector<char>{'a', 'x'}, -1);  // 'x' joins under children of equal rank
  right.DataImport(std::vector<char>{'y'}, -1);
  joined.Join(left, right);
  EXPECT_EQ(joined.Root()->data(), 'y');  // lifting 'a' would have put it on top
  EXPECT_EQ(Items(joined), (std::vector<char>{'a', 'x', 'y'}));
  EXPECT_TRUE(TreapIsSound(joined));
}

TEST(TTreap, InsertionLiftsOnlyOverStrictlyLowerPriorities) {
  TList<int> list;
  AppendWithPriority<int>(list, 1, 100);
  AppendWithPriority<int>(list, 2, 100);  // equal: stays below
  EXPECT_EQ(list.Root()->data(), 1);
  AppendWithPriority<int>(list, 3, 101);  // higher: rises to the top
  EXPECT_EQ(list.Root()->data(), 3);
  EXPECT_EQ(Items(list), (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(TreapIsSound(list));
}

TEST(TTreap, TreeDownLiftsTheLeftChildOnATie) {
  TList<char> list;
  list.DataImport(std::vector<char>{'a', 'x', 'b'}, -1);
  auto* x = list.Root();
  auto* a = x->L;
  TTreap<char>::TreeDown(x);
  EXPECT_EQ(x->P, a);
  EXPECT_EQ(a->R, x);
  EXPECT_EQ(a->P, nullptr);
  TTreap<char>::TreeUp(x);  // undo, so the list is whole again
  EXPECT_EQ(list.Root()->P, nullptr);
  EXPECT_TRUE(TreapIsSound(list));
}

struct SplitCase {
  std::ptrdiff_t index;
  std::vector<int> l1, l2;
};

TEST(TCustomList, SplitAndJoinByPosition) {
  const SplitCase cases[] = {
      {2, {0, 1, 2}, {3, 4}},
      {0, {0}, {1, 2, 3, 4}},
      {4, {0, 1, 2, 3, 4}, {}},
      {99, {0, 1, 2, 3, 4}, {}},
      {-1, {}, {0, 1, 2, 3, 4}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE("index " + std::to_string(c.index));
    TList<int> source = ListOf({0, 1, 2, 3, 4});
    TList<int> l1 = ListOf({100}), l2 = ListOf({200});  // old contents are dropped
    source.Split(c.index, l1, l2);
    EXPECT_EQ(source.Count(), 0);
    EXPECT_EQ(Items(l1), c.l1);
    EXPECT_EQ(Items(l2), c.l2);
    EXPECT_TRUE(TreapIsSound(l1));
    EXPECT_TRUE(TreapIsSound(l2));

    TList<int> whole = ListOf({300});
    whole.Join(l1, l2);
    EXPECT_EQ(Items(whole), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(l1.Count() + l2.Count(), 0);
    EXPECT_TRUE(TreapIsSound(whole));
  }
}

TEST(TCustomList, SplitAndJoinWithThemselvesAsPartners) {
  TList<int> list = ListOf({0, 1, 2, 3, 4});
  TList<int> rest;
  list.Split(1, list, rest);  // keeps the head, moves the tail
  EXPECT_EQ(Items(list), (std::vector<int>{0, 1}));
  EXPECT_EQ(Items(rest), (std::vector<int>{2, 3, 4}));
  list.Join(list, rest);  // appends
  EXPECT_EQ(Items(list), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(rest.Count(), 0);
  EXPECT_TRUE(TreapIsSound(list));

  TList<int> other;
  EXPECT_THROW(list.Split(1, other, other), std::invalid_argument);
  EXPECT_THROW(list.Join(other, other), std::invalid_argument);
  EXPECT_EQ(Items(list), (std::vector<int>{0, 1, 2, 3, 4}));

  // Nodes of another node class may not move in.
  TObjList<int> owning1, owning2;
  TCustomList<int*> plainPointers;
  EXPECT_THROW(plainPointers.Split(0, owning1, owning2), std::invalid_argument);
}

TEST(TCustomList, SortAndShuffleKeepTheItems) {
  RandSeed(3);
  TList<int> list;
  std::vector<int> expected;
  for (int i = 0; i < 200; ++i) {
    list.Add(i % 37);
    expected.push_back(i % 37);
  }
  list.Shuffle(list.Root());
  EXPECT_TRUE(TreapIsSound(list));
  std::vector<int> shuffled = Items(list);
  EXPECT_NE(shuffled, expected);
  std::sort(shuffled.begin(), shuffled.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(shuffled, expected);

  list.Sort(IntCmp);
  EXPECT_EQ(Items(list), expected);
  EXPECT_EQ(list.Root()->pr, kImportTop);  // rebuilt balanced, as an import would
  EXPECT_TRUE(TreapIsSound(list));
}

// ---- owning list ------------------------------------------------------------

class OwningList : public ::testing::Test {
 protected:
  void SetUp() override { Tracked::Deleted().clear(); }
};

TEST_F(OwningList, FreesEachItemOnceOnEveryPath) {
  {
    TObjList<Tracked> list;
    for (int i = 0; i < 6; ++i) list.Add(new Tracked(i));
    list.Delete(0);
    EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{0}));
    list.SetItems(0, new Tracked(10));  // replaces item 1
    EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{0, 1}));

    TObjList<Tracked> l1, l2;
    l1.Add(new Tracked(20));
    list.Split(1, l1, l2);  // frees l1's old item
    EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{0, 1, 20}));
    l2.Clear();
    EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{0, 1, 20, 3, 4, 5}));
    list.Join(l1, l2);
  }
  // Destroying the list frees the rest, each once.
  EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{0, 1, 20, 3, 4, 5, 10, 2}));
}

TEST_F(OwningList, StoringTheHeldObjectAgainKeepsIt) {
  TObjList<Tracked> list;
  Tracked* item = new Tracked(1);
  list.Add(item);
  list.SetItems(0, item);
  EXPECT_TRUE(Tracked::Deleted().empty());
  EXPECT_EQ(list.Items(0)->Id, 1);
}

TEST_F(OwningList, SortNeverFreesItems) {
  TObjList<Tracked> list;
  for (int id : {5, 2, 8, 1, 9, 3}) list.Add(new Tracked(id));
  list.Sort([](Tracked* const& a, Tracked* const& b) { return a->Id - b->Id; });
  EXPECT_TRUE(Tracked::Deleted().empty());
  std::vector<int> ids;
  for (Tracked* t : list) ids.push_back(t->Id);
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 5, 8, 9}));
  EXPECT_TRUE(TreapIsSound(list));
  list.Clear();
  EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{1, 2, 3, 5, 8, 9}));
}

TEST_F(OwningList, DataImportKeepsObjectsThatComeBack) {
  TObjList<Tracked> list;
  for (int i = 0; i < 4; ++i) list.Add(new Tracked(i));
  std::vector<Tracked*> items = list.DataExport();
  std::vector<Tracked*> kept{items[3], items[1]};
  list.DataImport(kept, -1);
  EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{0, 2}));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0)->Id, 3);
  EXPECT_EQ(list.Items(1)->Id, 1);
}

// ---- property test ----------------------------------------------------------

// Random positional inserts, deletes, writes, splits and joins against a
// std::vector; after every step the items, the four invariants and
// GetNode/GetIndex must agree with the reference.
class ListProperty : public ::testing::TestWithParam<unsigned> {};

TEST_P(ListProperty, MatchesAVectorUnderRandomOperations) {
  const unsigned seed = GetParam();
  RandSeed(seed);
  std::mt19937 gen(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };

  TList<int> list;
  std::vector<int> ref;
  for (int step = 0; step < 1500; ++step) {
    const int n = static_cast<int>(ref.size());
    const int op = pick(0, 9);
    const int at = pick(-2, n + 2);  // reaches past both ends on purpose
    if (op <= 4) {
      list.Insert(at, step);
      ref.insert(at >= 0 && at < n ? ref.begin() + at : ref.end(), step);
    } else if (op <= 6) {
      list.Delete(at);
      if (at >= 0 && at < n) ref.erase(ref.begin() + at);
    } else if (op == 7 && n > 0) {
      const int i = pick(0, n - 1);
      list.SetItems(i, -step);
      ref[i] = -step;
    } else if (op == 8) {
      TList<int> l1, l2;
      list.Split(at, l1, l2);
      const int cut = std::clamp(at + 1, 0, n);
      ASSERT_EQ(Items(l1), std::vector<int>(ref.begin(), ref.begin() + cut));
      ASSERT_TRUE(TreapIsSound(l1));
      ASSERT_TRUE(TreapIsSound(l2));
      list.Join(l1, l2);
    } else if (n > 0) {
      const int i = pick(0, n - 1);
      auto* node = list.GetNode(i);
      ASSERT_NE(node, nullptr);
      ASSERT_EQ(node->data(), ref[i]);
      ASSERT_EQ(TCustomList<int>::GetIndex(node), i);
    }
    ASSERT_TRUE(TreapIsSound(list)) << "step " << step << " op " << op;
    ASSERT_EQ(Items(list), ref) << "step " << step << " op " << op;
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, ListProperty, ::testing::Values(1u, 2u, 3u, 4u));

}  // namespace
}  // namespace velkor
