// Named item sets: the name order, lookups, find-or-create, the placeholder,
// replacement on include, and the filter pass.

#include "judging/NamedObjs.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/SystemInfo.h"

namespace velkor {
namespace {

// An item that records what the set does to it.
struct TItem final : INamedObj {
  static inline int Freed = 0;
  static inline std::vector<std::string> Calls;

  ~TItem() { ++Freed; }
  const std::string& Name() const override { return FName; }
  void SetName(const std::string& aName) override {
    Calls.push_back("SetName " + aName);
    FName = aName;
  }
  void SetOwner(TModelObject* aOwner) override {
    Calls.push_back(aOwner != nullptr ? "SetOwner set" : "SetOwner nil");
    Owner = aOwner;
  }

  std::string FName;
  TModelObject* Owner = nullptr;
  int Value = 7;  // what the constructor gives
};

using TItemSet = TNamedObjSet<TItem>;

class NamedObjSet : public ::testing::Test {
 protected:
  void SetUp() override {
    RandSeed(12345);
    TItem::Freed = 0;
    TItem::Calls.clear();
  }
  static std::vector<std::string> Names(const TItemSet& s) { return s.KeyExport(); }
  static void Fill(TItemSet& s, std::initializer_list<const char*> names) {
    for (const char* n : names) s.ObjF(n);
  }
};

TEST_F(NamedObjSet, OrdersByAsciiFoldedCodeUnits) {
  TItemSet s;
  Fill(s, {"B", "_x", "zz", "a1"});
  EXPECT_EQ(Names(s), (std::vector<std::string>{"a1", "B", "zz", "_x"}))
      << "a1 compares as A1; '_' (95) sorts after every folded letter";
  std::vector<std::string> enumerated;
  for (const TItem* item : s) enumerated.push_back(item->Name());
  EXPECT_EQ(enumerated, Names(s));

  TItemSet same;
  Fill(same, {"Bai1", "BAI1", "bai1"});
  EXPECT_EQ(same.Count(), 1);
  TItemSet accented;
  Fill(accented, {"Bài1", "BÀI1"});
  EXPECT_EQ(accented.Count(), 2) << "only a to z fold";
  EXPECT_EQ(s.Compare("abc", "ab"), 1) << "a proper prefix sorts first";
}

TEST_F(NamedObjSet, LooksUpByNameAndPosition) {
  TItemSet s;
  Fill(s, {"c", "a", "b"});
  EXPECT_EQ(s.Obj("B"), s.ObjI(1));
  EXPECT_EQ(s.Obj("d"), nullptr);
  EXPECT_EQ(s.ObjI(-1), nullptr);
  EXPECT_EQ(s.ObjI(s.Count()), nullptr);
  EXPECT_EQ(s.IndexOf("C"), 2);
  EXPECT_EQ(s.IndexOf("none"), -1);
}

TEST_F(NamedObjSet, FindOrCreateAddsOneOwnedItem) {
  TItemSet s;
  TItem::Calls.clear();
  TItem* a = s.ObjF("Alpha");
  EXPECT_EQ(s.Count(), 1);
  EXPECT_EQ(a->Owner, &s);
  EXPECT_EQ(TItem::Calls, (std::vector<std::string>{"SetOwner set", "SetName Alpha"})) << "owner first, then name";
  EXPECT_EQ(s.ObjF("ALPHA"), a);
  EXPECT_EQ(s.Count(), 1);

  const auto loose = s.CreateObj("Loose", false);
  EXPECT_EQ(loose->Owner, nullptr);
  EXPECT_EQ(s.Count(), 1) << "CreateObj does not store";
}

TEST_F(NamedObjSet, PlaceholderStandsInWithoutBeingStored) {
  TItemSet s;
  Fill(s, {"Real"});
  s.ObjF("Real")->Value = 1;
  TItem* q = s.ObjX("Q");
  EXPECT_EQ(q, s.Dummy());
  EXPECT_EQ(q->Name(), "Q");
  EXPECT_EQ(q->Value, 7);
  EXPECT_EQ(q->Owner, nullptr);
  EXPECT_EQ(s.Count(), 1);
  EXPECT_EQ(Names(s), std::vector<std::string>{"Real"});
  EXPECT_EQ(s.ObjX("R"), q) << "one placeholder, renamed";
  EXPECT_EQ(q->Name(), "R");
  EXPECT_EQ(s.ObjX("real")->Value, 1) << "a stored item is returned as it is";
}

TEST_F(NamedObjSet, IncludeReplacesAnEqualNameInPlace) {
  TItemSet s;
  Fill(s, {"a", "abc", "z"});
  TItem* old = s.Obj("abc");
  ASSERT_NE(old, nullptr);
  TItem::Freed = 0;
  TItem* fresh = s.Include(s.CreateObj("ABC", true));
  EXPECT_EQ(TItem::Freed, 1) << "the old item is freed once";
  EXPECT_EQ(s.Count(), 3);
  EXPECT_EQ(s.Obj("abc"), fresh);
  EXPECT_EQ(s.IndexOf("abc"), 1);
  EXPECT_EQ(Names(s), (std::vector<std::string>{"a", "ABC", "z"})) << "the key takes the new letter case";
}

TEST_F(NamedObjSet, FreesEveryItemAndThePlaceholder) {
  {
    TItemSet s;
    Fill(s, {"a", "b", "c"});
    s.Exclude("B");
    EXPECT_EQ(TItem::Freed, 1);
    EXPECT_EQ(s.Count(), 2);
  }
  EXPECT_EQ(TItem::Freed, 4) << "three items and the placeholder";
}

TEST_F(NamedObjSet, FilterKeepsExactlyTheListedNames) {
  struct Case {
    std::vector<std::string> list;
    std::vector<std::string> kept;
  } cases[] = {
      {{"B", "d"}, {"b"}},
      {{}, {}},
      {{"A", "b", "C"}, {"a", "b", "c"}},
      {{"0", "b", "bb", "zz"}, {"b"}},
      {{"c"}, {"c"}},
  };
  for (const Case& c : cases) {
    TItemSet s;
    Fill(s, {"a", "b", "c"});
    s.DoFilter(c.list);
    EXPECT_EQ(Names(s), c.kept);
  }
}

TEST_F(NamedObjSet, FilterAgreesWithASetIntersectionOnRandomNames) {
  auto randomName = [] {
    std::string n;
    for (std::uint32_t k = 1 + Random(3); k > 0; --k) n += "aBc_"[Random(4)];
    return n;
  };
  auto fold = [](std::string n) {
    for (char& ch : n) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
    return n;
  };
  for (int round = 0; round < 200; ++round) {
    TItemSet s;
    std::set<std::string> present, listed;
    for (std::uint32_t k = Random(12); k > 0; --k) present.insert(fold(s.ObjF(randomName())->Name()));
    std::vector<std::string> list;
    for (std::uint32_t k = Random(12); k > 0; --k) list.push_back(randomName());
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return CompareText(a, b) < 0; });
    for (const auto& n : list) listed.insert(fold(n));
    const int freedBefore = TItem::Freed;
    s.DoFilter(list);
    std::vector<std::string> expected;
    std::set_intersection(present.begin(), present.end(), listed.begin(), listed.end(), std::back_inserter(expected));
    std::vector<std::string> kept;
    for (const auto& n : Names(s)) kept.push_back(fold(n));
    EXPECT_EQ(kept, expected);
    EXPECT_EQ(TItem::Freed - freedBefore, static_cast<int>(present.size() - expected.size()));
  }
}

TEST(SafeNames, OnlyOnePathComponentPasses) {
  struct Case {
    const char* name;
    bool safe;
  } cases[] = {
      {"An", true},       {"Nguyễn Văn A", true}, {"a.b", true},  {"...", true},    {"", false},
      {".", false},       {"..", false},          {"a/b", false}, {"/abs", false}, {"a\\b", false},
      {"x\ty", false},    {"x\ny", false},        {"\x7f", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafePathComponent(c.name), c.safe) << c.name;
}

TEST(SafeNames, PathsJoinWithOneDelimiter) {
  EXPECT_EQ(JoinPath("/t/", "Bai1"), "/t/Bai1");
  EXPECT_EQ(JoinPath("/t", "Bai1"), "/t/Bai1");
  EXPECT_EQ(JoinPath("", "Bai1"), "/Bai1");
}

}  // namespace
}  // namespace velkor
