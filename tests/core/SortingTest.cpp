#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Sorting.h"
#include "core/SystemInfo.h"

namespace velkor {
namespace {

int IntCmp(const int& a, const int& b) { return a < b ? -1 : a > b ? 1 : 0; }

using Engine = TSortEngine<int>;

struct SortCase {
  const char* why;
  std::vector<int> values;
  std::ptrdiff_t index, count;
  std::vector<int> expected;
};

TEST(SortEngine, SortsTheGivenSliceOnly) {
  std::vector<int> sorted1000(1000);
  for (int i = 0; i < 1000; ++i) sorted1000[i] = i;
  const SortCase cases[] = {
      {"three items", {3, 1, 2}, 0, 3, {1, 2, 3}},
      {"slice in the middle", {9, 8, 5, 4, 3, 0}, 2, 3, {9, 8, 3, 4, 5, 0}},
      {"already sorted stays", sorted1000, 0, 1000, sorted1000},
      {"empty slice", {5, 4}, 1, 0, {5, 4}},
      {"one-item slice", {5, 4, 3}, 1, 1, {5, 4, 3}},
      {"all equal", {7, 7, 7, 7, 7}, 0, 5, {7, 7, 7, 7, 7}},
      {"reversed with duplicates", {5, 4, 4, 3, 1, 1}, 0, 6, {1, 1, 3, 4, 4, 5}},
      // Slices reaching past the array are clamped to it.
      {"count past the end", {4, 3, 2, 1}, 1, 100, {4, 1, 2, 3}},
      {"negative index", {4, 3, 2, 1}, -2, 4, {3, 4, 2, 1}},
      {"index past the end", {2, 1}, 5, 3, {2, 1}},
  };
  for (const SortCase& c : cases) {
    std::vector<int> v = c.values;
    Engine::Sort(v, c.index, c.count, IntCmp);
    EXPECT_EQ(v, c.expected) << c.why;
  }
}

TEST(SortEngine, DrawsTheGeneratorOnlyForSlicesOfTwoOrMore) {
  auto nextDrawAfter = [](auto action) {
    RandSeed(4242);
    action();
    return Random(1u << 30);
  };
  const auto untouched = nextDrawAfter([] {});
  std::vector<int> v{2, 1, 3};
  EXPECT_EQ(nextDrawAfter([&] { Engine::Sort(v, 1, 1, IntCmp); }), untouched);
  EXPECT_EQ(nextDrawAfter([&] { Engine::Sort(v, 0, 0, IntCmp); }), untouched);
  EXPECT_NE(nextDrawAfter([&] { Engine::Sort(v, 0, 2, IntCmp); }), untouched);
}

// Random slices of random arrays with many duplicates, against std::sort;
// the parts outside the slice must not move.
TEST(SortEngine, MatchesStdSortOnRandomSlices) {
  RandSeed(1);
  std::mt19937 gen(99);
  for (int round = 0; round < 300; ++round) {
    const int n = std::uniform_int_distribution<int>(0, 300)(gen);
    const int range = std::uniform_int_distribution<int>(1, 50)(gen);
    std::vector<int> v(n);
    for (int& x : v) x = std::uniform_int_distribution<int>(0, range)(gen);
    const int index = std::uniform_int_distribution<int>(0, n)(gen);
    const int count = std::uniform_int_distribution<int>(0, n - index)(gen);
    std::vector<int> expected = v;
    std::sort(expected.begin() + index, expected.begin() + index + count);
    Engine::Sort(v, index, count, IntCmp);
    ASSERT_EQ(v, expected) << "round " << round;
  }
}

// Items equal to the pivot stop both scans, so a slice of equal items is
// cut near its middle each time: n log n comparisons, not n squared.
TEST(SortEngine, EqualItemsSplitEvenly) {
  std::vector<int> same(4096, 7);
  long calls = 0;
  Engine::Sort(same, 0, 4096, [&](const int& a, const int& b) {
    ++calls;
    return IntCmp(a, b);
  });
  EXPECT_LT(calls, 4096L * 13 * 2);  // 4096 * log2(4096) = 49152; n^2/2 is 8 million
}

struct ByLength : IComparer<std::string> {
  int Compare(const std::string& a, const std::string& b) const override {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
  }
};

TEST(SortEngine, AcceptsAComparerObjectAndAStoredFunction) {
  std::vector<std::string> v{"ccc", "a", "bb", "aaaa", "b", "", "ab"};
  TSortEngine<std::string>::Sort(v, 0, 7, ByLength{});
  EXPECT_EQ(v, (std::vector<std::string>{"", "a", "b", "ab", "bb", "ccc", "aaaa"}));

  const TCmpFunc<std::string> reverse = [](const std::string& a, const std::string& b) {
    return b.compare(a);
  };
  TSortEngine<std::string>::Sort(v, 0, 7, reverse);
  EXPECT_EQ(v, (std::vector<std::string>{"ccc", "bb", "b", "ab", "aaaa", "a", ""}));
}

TEST(SortEngine, ComparisonErrorPropagatesAndKeepsEveryItem) {
  std::vector<std::string> original;
  for (int i = 0; i < 100; ++i) original.push_back("item" + std::to_string(i));
  for (int failAt : {1, 2, 50, 300}) {
    std::vector<std::string> v = original;
    int calls = 0;
    auto failing = [&](const std::string& a, const std::string& b) {
      if (++calls == failAt) throw std::runtime_error("compare failed");
      return a.compare(b);
    };
    EXPECT_THROW(TSortEngine<std::string>::Sort(v, 0, 100, failing), std::runtime_error);
    // The order is undefined now, but the slice still holds every item once.
    std::sort(v.begin(), v.end());
    std::vector<std::string> expected = original;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(v, expected) << "failing at comparison " << failAt;
  }
}

struct SearchCase {
  int item;
  std::ptrdiff_t ge, g, l, le, exact;
};

TEST(SortEngine, BinarySearchesAtTheEdges) {
  const std::vector<int> v{1, 2, 2, 2, 5};
  const SearchCase cases[] = {
      // item  GE G  L   LE  exact
      {2, 1, 4, 0, 3, 1},
      {6, 5, 5, 4, 4, -1},
      {0, 0, 0, -1, -1, -1},
      {1, 0, 1, -1, 0, 0},
      {5, 4, 5, 3, 4, 4},
      {3, 4, 4, 3, 3, -1},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE("item " + std::to_string(c.item));
    EXPECT_EQ(Engine::BinarySearchGE(v, c.item, 0, 5, IntCmp), c.ge);
    EXPECT_EQ(Engine::BinarySearchG(v, c.item, 0, 5, IntCmp), c.g);
    EXPECT_EQ(Engine::BinarySearchL(v, c.item, 0, 5, IntCmp), c.l);
    EXPECT_EQ(Engine::BinarySearchLE(v, c.item, 0, 5, IntCmp), c.le);
    EXPECT_EQ(Engine::BinarySearch(v, c.item, 0, 5, IntCmp), c.exact);
  }
}

TEST(SortEngine, BinarySearchesStayInTheirSlice) {
  const std::vector<int> v{2, 2, 3, 5, 5, 8};
  // Slice 2..4 = {3, 5, 5}.
  EXPECT_EQ(Engine::BinarySearchGE(v, 2, 2, 3, IntCmp), 2);
  EXPECT_EQ(Engine::BinarySearchG(v, 9, 2, 3, IntCmp), 5);
  EXPECT_EQ(Engine::BinarySearchL(v, 2, 2, 3, IntCmp), 1);
  EXPECT_EQ(Engine::BinarySearch(v, 8, 2, 3, IntCmp), -1);
  EXPECT_EQ(Engine::BinarySearch(v, 2, 2, 3, IntCmp), -1);
  // An empty slice answers its own start (or start - 1).
  EXPECT_EQ(Engine::BinarySearchGE(v, 5, 3, 0, IntCmp), 3);
  EXPECT_EQ(Engine::BinarySearchLE(v, 5, 3, 0, IntCmp), 2);
  // A slice reaching past the array is clamped: the search never reads
  // beyond the last element.
  EXPECT_EQ(Engine::BinarySearchG(v, 9, 3, 1000, IntCmp), 6);
  EXPECT_EQ(Engine::BinarySearch(v, 8, 0, 1000, IntCmp), 5);
}

TEST(SortEngine, SearchesPassTheElementFirstAndTheItemSecond) {
  const std::vector<int> v{1, 3, 5, 7, 9, 11};
  const int item = 7;
  bool orderKept = true;
  auto checked = [&](const int& element, const int& probe) {
    orderKept = orderKept && &probe == &item && &element >= v.data() && &element < v.data() + 6;
    return IntCmp(element, probe);
  };
  EXPECT_EQ(Engine::BinarySearch(v, item, 0, 6, checked), 3);
  EXPECT_EQ(Engine::BinarySearchG(v, item, 0, 6, checked), 4);
  EXPECT_EQ(Engine::BinarySearchLE(v, item, 0, 6, checked), 3);
  EXPECT_TRUE(orderKept);
}

}  // namespace
}  // namespace velkor
