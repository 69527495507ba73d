#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <random>
#include <string>
#include <vector>

#include "TreapCheck.h"
#include "core/NameCompare.h"
#include "core/SortedLists.h"
#include "core/SystemInfo.h"

namespace velkor {
namespace {

using test::Tracked;
using test::TreapIsSound;

using IntList = TSortedList<int, std::string>;

template <class K, class T>
std::vector<K> Keys(const TSortedList<K, T>& list) {
  return list.KeyExport();
}

// A set ordered the way named sets are: by CompareText.
template <class T>
class TNameSet : public TOrderedSet<std::string, T> {
 public:
  int Compare(const std::string& Left, const std::string& Right) const override {
    return CompareText(Left, Right);
  }
};

class TenTwentyThirty : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int k : {30, 10, 20}) list.Insert(k, std::to_string(k));
  }
  // The key found, or -1 for none.
  static int KeyOrNone(const IntList::TNode* n) { return n != nullptr ? n->key : -1; }
  IntList list;
};

struct NearestCase {
  int k;
  int search, ge, g, le, l;                           // keys found, -1 for none
  std::ptrdiff_t idx, idxGE, idxG, idxLE, idxL;      // positions
};

TEST_F(TenTwentyThirty, NearestKeySearchesAndTheirPositions) {
  const NearestCase cases[] = {
      // k  Search GE  G   LE  L     Idx GE G  LE L
      {20, 20, 20, 30, 20, 10, 1, 1, 2, 1, 0},
      {25, -1, 30, 30, 20, 20, -1, 2, 2, 1, 1},
      {10, 10, 10, 20, 10, -1, 0, 0, 1, 0, -1},
      {30, 30, 30, -1, 30, 20, 2, 2, 3, 2, 1},
      {5, -1, 10, 10, -1, -1, -1, 0, 0, -1, -1},
      {35, -1, -1, -1, 30, 30, -1, 3, 3, 2, 2},
  };
  for (const NearestCase& c : cases) {
    SCOPED_TRACE("k = " + std::to_string(c.k));
    EXPECT_EQ(KeyOrNone(list.Search(c.k)), c.search);
    EXPECT_EQ(KeyOrNone(list.SearchGE(c.k)), c.ge);
    EXPECT_EQ(KeyOrNone(list.SearchG(c.k)), c.g);
    EXPECT_EQ(KeyOrNone(list.SearchLE(c.k)), c.le);
    EXPECT_EQ(KeyOrNone(list.SearchL(c.k)), c.l);
    EXPECT_EQ(list.IdxSearch(c.k), c.idx);
    EXPECT_EQ(list.IdxSearchGE(c.k), c.idxGE);
    EXPECT_EQ(list.IdxSearchG(c.k), c.idxG);
    EXPECT_EQ(list.IdxSearchLE(c.k), c.idxLE);
    EXPECT_EQ(list.IdxSearchL(c.k), c.idxL);
  }
}

TEST_F(TenTwentyThirty, SearchFromASubtreeGivesWholeListPositions) {
  for (int k : {40, 50}) list.Insert(k, "");
  const auto* root = list.Root();
  const auto* sub = root->R != nullptr ? root->R : root->L;
  ASSERT_NE(sub, nullptr);
  const int subKey = IntList::KeyOf(sub);
  // Keys 10..50 sit at positions 0..4 of the whole list.
  EXPECT_EQ(list.IdxSearch(sub, subKey), subKey / 10 - 1);
  EXPECT_EQ(list.IdxSearchLE(sub, subKey), subKey / 10 - 1);
  // The root lies outside the subtree, so the search starting there misses it.
  EXPECT_EQ(list.IdxSearch(sub, IntList::KeyOf(root)), -1);
}

TEST_F(TenTwentyThirty, RemoveAndKeyExport) {
  EXPECT_FALSE(list.Remove(25));
  EXPECT_EQ(Keys(list), (std::vector<int>{10, 20, 30}));
  EXPECT_TRUE(list.Remove(20));
  EXPECT_EQ(Keys(list), (std::vector<int>{10, 30}));
  EXPECT_TRUE(TreapIsSound(list));
  EXPECT_TRUE(IntList().KeyExport().empty());
}

TEST(SortedList, InsertPlacesEqualKeysAfterTheirEquals) {
  IntList list;
  list.Insert(5, "first");
  list.Insert(1, "low");
  list.Insert(5, "second");
  list.Insert(9, "high");
  auto* third = list.Insert(5, "third");
  EXPECT_EQ(IntList::GetIndex(third), 3);
  EXPECT_EQ(test::Items(list),
            (std::vector<std::string>{"low", "first", "second", "third", "high"}));
  // Search finds one of the equals; the nearest-key searches find the ends.
  EXPECT_EQ(list.IdxSearchGE(5), 1);
  EXPECT_EQ(list.IdxSearchLE(5), 3);
  EXPECT_EQ(list.Search(5)->key, 5);
}

TEST(SortedList, InsertReplaceAndInsertIfNotExists) {
  IntList list;
  auto* n = list.Insert(1, "one");
  EXPECT_EQ(list.InsertIfNotExists(1, "uno"), n);
  EXPECT_EQ(n->data(), "one");
  EXPECT_EQ(list.InsertReplace(1, "eins"), n);
  EXPECT_EQ(n->data(), "eins");
  EXPECT_EQ(list.Count(), 1);
  auto* two = list.InsertIfNotExists(2, "two");
  EXPECT_NE(two, n);
  EXPECT_EQ(list.Count(), 2);
}

TEST(OrderedSet, IncludeReplacesInPlaceWithTheNewSpelling) {
  TNameSet<int> set;
  auto* node = set.Include("BAI1", 1);
  set.Include("bai2", 2);
  EXPECT_EQ(set.Include("bai1", 10), node);
  EXPECT_EQ(node->key, "bai1");
  EXPECT_EQ(node->data(), 10);
  EXPECT_EQ(set.Count(), 2);

  set.ReplacedInsertion = false;
  EXPECT_EQ(set.Include("BAI1", 100), node);
  EXPECT_EQ(node->key, "bai1");
  EXPECT_EQ(node->data(), 10);

  EXPECT_FALSE(set.Exclude("bai3"));
  EXPECT_TRUE(set.Exclude("BAI2"));
  EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"bai1"}));
}

TEST(OrderedSet, OrdersByTheOverriddenCompare) {
  TNameSet<int> set;
  for (const char* name : {"zz", "_x", "B", "a1", "A"}) set.Include(name, 0);
  EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"A", "a1", "B", "zz", "_x"}));
}

// Records the left operand of every comparison: it must always be the key
// being searched for or inserted, never a stored key.
class TProbeOrderList : public TSortedList<std::string, int> {
 public:
  mutable std::vector<std::string> lefts;
  int Compare(const std::string& Left, const std::string& Right) const override {
    lefts.push_back(Left);
    return Left.compare(Right);
  }
};

TEST(SortedList, ComparesTheProbeKeyFirst) {
  TProbeOrderList list;
  for (const char* k : {"m", "c", "x", "a", "p"}) list.Insert(k, 0);
  list.lefts.clear();
  list.InsertReplace("q", 1);
  list.InsertIfNotExists("b", 2);
  list.Insert("n", 3);
  EXPECT_FALSE(list.lefts.empty());
  std::set<std::string> firstOperands(list.lefts.begin(), list.lefts.end());
  EXPECT_EQ(firstOperands, (std::set<std::string>{"q", "b", "n"}));

  const std::function<void()> searches[] = {
      [&] { list.SearchGE("o"); }, [&] { list.SearchG("o"); },
      [&] { list.SearchLE("o"); }, [&] { list.SearchL("o"); },
      [&] { list.IdxSearch("o"); }};
  for (const auto& search : searches) {
    list.lefts.clear();
    search();
    EXPECT_FALSE(list.lefts.empty());
    EXPECT_EQ(std::set<std::string>(list.lefts.begin(), list.lefts.end()),
              std::set<std::string>{"o"});
  }
  list.lefts.clear();
  list.Remove("zz");
  EXPECT_EQ(std::set<std::string>(list.lefts.begin(), list.lefts.end()),
            std::set<std::string>{"zz"});
}

// ---- owning set -------------------------------------------------------------

class OwningSet : public ::testing::Test {
 protected:
  void SetUp() override { Tracked::Deleted().clear(); }
};

TEST_F(OwningSet, ReplacingExcludingAndDestroyingFreeEachObjectOnce) {
  {
    TObjOrderedSet<std::string, Tracked> set;
    set.Include("a", new Tracked(1));
    set.Include("b", new Tracked(2));
    set.Include("c", new Tracked(3));
    set.Include("a", new Tracked(4));  // replaces 1
    EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{1}));
    EXPECT_TRUE(set.Exclude("b"));
    EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{1, 2}));
    set.InsertReplace("c", new Tracked(5));  // replaces 3
    EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{1, 2, 3}));
  }
  EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{1, 2, 3, 4, 5}));
}

TEST_F(OwningSet, IncludingTheHeldObjectAgainKeepsIt) {
  TObjOrderedSet<std::string, Tracked> set;
  Tracked* item = new Tracked(7);
  set.Include("k", item);
  EXPECT_EQ(set.Include("k", item)->data(), item);
  EXPECT_TRUE(Tracked::Deleted().empty());
  EXPECT_EQ(set.Search("k")->data()->Id, 7);
}

TEST_F(OwningSet, KeepingTheExistingItemLeavesTheNewOneToTheCaller) {
  TObjOrderedSet<std::string, Tracked> set;
  set.ReplacedInsertion = false;
  set.Include("k", new Tracked(1));
  auto candidate = std::make_unique<Tracked>(2);
  auto* node = set.Include("k", candidate.get());
  EXPECT_NE(node->data(), candidate.get());  // not taken: the caller still owns it
  EXPECT_TRUE(Tracked::Deleted().empty());
  candidate.reset();
  EXPECT_EQ(test::DeletedIds(), (std::multiset<int>{2}));
}

// ---- property test ----------------------------------------------------------

// Random Insert, Include and Remove on a sorted list against a std::multimap;
// after every step the keys in order, the invariants, and every search for a
// random key must agree with the reference's lower_bound/upper_bound.
class SortedProperty : public ::testing::TestWithParam<unsigned> {};

TEST_P(SortedProperty, MatchesAMultimapUnderRandomOperations) {
  const unsigned seed = GetParam();
  RandSeed(seed);
  std::mt19937 gen(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };

  TOrderedSet<int, int> list;
  std::multimap<int, int> ref;
  auto position = [&](std::multimap<int, int>::iterator it) {
    return static_cast<std::ptrdiff_t>(std::distance(ref.begin(), it));
  };

  for (int step = 0; step < 1500; ++step) {
    const int k = pick(0, 120);
    const int op = pick(0, 9);
    if (op <= 3) {
      list.Insert(k, step);
      ref.emplace_hint(ref.upper_bound(k), k, step);
    } else if (op <= 5) {
      list.Include(k, step);
      auto it = ref.find(k);
      // Include replaces the node Search would find, which for duplicates is
      // any one of them; the reference follows the node actually chosen.
      if (it != ref.end()) {
        const std::ptrdiff_t at = decltype(list)::GetIndex(list.Search(k));
        std::next(ref.begin(), at)->second = step;
      } else {
        ref.emplace(k, step);
      }
    } else {
      const bool present = ref.count(k) > 0;
      if (present) {
        // Remove deletes the node Search finds; mirror it by position.
        const std::ptrdiff_t at = decltype(list)::GetIndex(list.Search(k));
        ref.erase(std::next(ref.begin(), at));
      }
      ASSERT_EQ(list.Remove(k), present);
    }
    ASSERT_TRUE(TreapIsSound(list)) << "step " << step;

    std::vector<int> keys, items;
    for (const auto& [key, item] : ref) {
      keys.push_back(key);
      items.push_back(item);
    }
    ASSERT_EQ(list.KeyExport(), keys) << "step " << step;
    ASSERT_EQ(test::Items(list), items) << "step " << step;

    const int probe = pick(-1, 121);
    const auto lo = ref.lower_bound(probe), hi = ref.upper_bound(probe);
    ASSERT_EQ(list.IdxSearchGE(probe), position(lo));
    ASSERT_EQ(list.IdxSearchG(probe), position(hi));
    ASSERT_EQ(list.IdxSearchL(probe), position(lo) - 1);
    ASSERT_EQ(list.IdxSearchLE(probe), position(hi) - 1);
    const std::ptrdiff_t exact = list.IdxSearch(probe);
    if (lo == hi) {
      ASSERT_EQ(exact, -1);
    } else {
      ASSERT_GE(exact, position(lo));
      ASSERT_LT(exact, position(hi));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, SortedProperty, ::testing::Values(11u, 12u, 13u));

}  // namespace
}  // namespace velkor
