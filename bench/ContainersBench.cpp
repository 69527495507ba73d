// The generic containers against the standard library, in one run:
//   - the ordered set (string keys, as the named sets use) against std::map:
//     insert, find, erase and an in-order walk at 10^4, 10^5 and 10^6 keys;
//   - TList positional insert and index access at 10^4..10^6 against
//     std::vector at 10^4 and 10^5 (a vector's positional insert is linear,
//     so 10^6 would take minutes);
//   - TSortEngine against std::sort on 10^6 integers and 10^5 strings, with
//     an inlined comparison, and once more for integers through a stored
//     TCmpFunc.
// Each benchmark times one whole pass over n items; the table at the end
// gives nanoseconds per item and the ratio ours / reference.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/SortedLists.h"
#include "core/Sorting.h"
#include "core/SystemInfo.h"
#include "core/Treaps.h"

namespace velkor {
namespace {

constexpr std::uint64_t kSeed = 20240611;

// n distinct keys of equal length, in random order.
std::vector<std::string> ShuffledKeys(std::size_t n) {
  std::vector<std::string> keys(n);
  char buf[32];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "exam%09zu", i * 7919 % 1000000007);
    keys[i] = buf;
  }
  std::shuffle(keys.begin(), keys.end(), std::mt19937_64(kSeed));
  return keys;
}

using OurSet = TOrderedSet<std::string, int>;
using StdSet = std::map<std::string, int>;

void Fill(OurSet& set, const std::vector<std::string>& keys) {
  for (std::size_t i = 0; i < keys.size(); ++i) set.Include(keys[i], static_cast<int>(i));
}
void Fill(StdSet& set, const std::vector<std::string>& keys) {
  for (std::size_t i = 0; i < keys.size(); ++i) set.insert_or_assign(keys[i], static_cast<int>(i));
}
bool Find(const OurSet& set, const std::string& k) { return set.Search(k) != nullptr; }
bool Find(const StdSet& set, const std::string& k) { return set.find(k) != set.end(); }
void Erase(OurSet& set, const std::string& k) { set.Exclude(k); }
void Erase(StdSet& set, const std::string& k) { set.erase(k); }
long Walk(const OurSet& set) {
  long sum = 0;
  for (int v : set) sum += v;
  return sum;
}
long Walk(const StdSet& set) {
  long sum = 0;
  for (const auto& [k, v] : set) sum += v;
  return sum;
}

template <class Set>
void SetInsert(benchmark::State& state) {
  RandSeed(kSeed);
  const auto keys = ShuffledKeys(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto set = std::make_unique<Set>();
    Fill(*set, keys);
    state.PauseTiming();
    set.reset();
    state.ResumeTiming();
  }
}

template <class Set>
void SetFind(benchmark::State& state) {
  RandSeed(kSeed);
  const auto keys = ShuffledKeys(static_cast<std::size_t>(state.range(0)));
  Set set;
  Fill(set, keys);
  auto probes = keys;
  std::shuffle(probes.begin(), probes.end(), std::mt19937_64(kSeed + 1));
  for (auto _ : state) {
    std::size_t found = 0;
    for (const auto& k : probes) found += Find(set, k);
    benchmark::DoNotOptimize(found);
  }
}

template <class Set>
void SetErase(benchmark::State& state) {
  RandSeed(kSeed);
  const auto keys = ShuffledKeys(static_cast<std::size_t>(state.range(0)));
  auto victims = keys;
  std::shuffle(victims.begin(), victims.end(), std::mt19937_64(kSeed + 2));
  for (auto _ : state) {
    state.PauseTiming();
    auto set = std::make_unique<Set>();
    Fill(*set, keys);
    state.ResumeTiming();
    for (const auto& k : victims) Erase(*set, k);
  }
}

template <class Set>
void SetWalk(benchmark::State& state) {
  RandSeed(kSeed);
  const auto keys = ShuffledKeys(static_cast<std::size_t>(state.range(0)));
  Set set;
  Fill(set, keys);
  for (auto _ : state) benchmark::DoNotOptimize(Walk(set));
}

// ---- positional list ----------------------------------------------------

// n insertions, each at a random position of the growing sequence.
std::vector<std::size_t> InsertPositions(std::size_t n) {
  std::mt19937_64 gen(kSeed + 3);
  std::vector<std::size_t> at(n);
  for (std::size_t i = 0; i < n; ++i) at[i] = std::uniform_int_distribution<std::size_t>(0, i)(gen);
  return at;
}

void ListInsertOurs(benchmark::State& state) {
  RandSeed(kSeed);
  const auto at = InsertPositions(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto list = std::make_unique<TList<int>>();
    for (std::size_t i = 0; i < at.size(); ++i)
      list->Insert(static_cast<std::ptrdiff_t>(at[i]), static_cast<int>(i));
    state.PauseTiming();
    list.reset();
    state.ResumeTiming();
  }
}

void ListInsertStd(benchmark::State& state) {
  const auto at = InsertPositions(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::vector<int> v;
    for (std::size_t i = 0; i < at.size(); ++i)
      v.insert(v.begin() + static_cast<std::ptrdiff_t>(at[i]), static_cast<int>(i));
    benchmark::DoNotOptimize(v.data());
  }
}

std::vector<std::ptrdiff_t> ReadPositions(std::size_t n) {
  std::mt19937_64 gen(kSeed + 4);
  std::vector<std::ptrdiff_t> at(n);
  for (auto& p : at) p = std::uniform_int_distribution<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(n) - 1)(gen);
  return at;
}

void ListIndexOurs(benchmark::State& state) {
  RandSeed(kSeed);
  const auto n = static_cast<std::size_t>(state.range(0));
  TList<int> list;
  for (std::size_t i = 0; i < n; ++i) list.Add(static_cast<int>(i));
  const auto at = ReadPositions(n);
  for (auto _ : state) {
    long sum = 0;
    for (auto p : at) sum += list.Items(p);
    benchmark::DoNotOptimize(sum);
  }
  // Nodes visited per access: the machine-independent cost, which grows
  // with log n while the time per level grows with the cache misses.
  double levels = 0;
  for (auto p : at)
    for (const TTreap<int>::TNode* x = list.GetNode(p); x != nullptr; x = x->P) ++levels;
  state.counters["levels"] = levels / static_cast<double>(n);
}

void ListIndexStd(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<int> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<int>(i);
  const auto at = ReadPositions(n);
  for (auto _ : state) {
    long sum = 0;
    for (auto p : at) sum += v[static_cast<std::size_t>(p)];
    benchmark::DoNotOptimize(sum);
  }
}

// ---- sort ---------------------------------------------------------------

std::vector<int> RandomInts(std::size_t n) {
  std::mt19937 gen(kSeed + 5);
  std::vector<int> v(n);
  for (int& x : v) x = static_cast<int>(gen());
  return v;
}

constexpr auto IntCmp = [](const int& a, const int& b) { return a < b ? -1 : a > b ? 1 : 0; };
constexpr auto StrCmp = [](const std::string& a, const std::string& b) { return a.compare(b); };

template <class T, class Input, class Cmp>
void SortOurs(benchmark::State& state, Input make, const Cmp& cmp) {
  RandSeed(kSeed);
  const std::vector<T> input = make(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<T> v = input;
    state.ResumeTiming();
    TSortEngine<T>::Sort(v, 0, static_cast<std::ptrdiff_t>(v.size()), cmp);
    benchmark::DoNotOptimize(v.data());
  }
}

template <class T, class Input>
void SortStd(benchmark::State& state, Input make) {
  const std::vector<T> input = make(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<T> v = input;
    state.ResumeTiming();
    std::sort(v.begin(), v.end());
    benchmark::DoNotOptimize(v.data());
  }
}

void SortIntsOurs(benchmark::State& s) { SortOurs<int>(s, RandomInts, IntCmp); }
// The same sort through a stored TCmpFunc, whose calls cannot be inlined.
void SortIntsOursStored(benchmark::State& s) { SortOurs<int>(s, RandomInts, TCmpFunc<int>(IntCmp)); }
void SortIntsStd(benchmark::State& s) { SortStd<int>(s, RandomInts); }
void SortStringsOurs(benchmark::State& s) { SortOurs<std::string>(s, ShuffledKeys, StrCmp); }
void SortStringsStd(benchmark::State& s) { SortStd<std::string>(s, ShuffledKeys); }

// ---- registration and the summary table ---------------------------------

// One row group of the summary: our benchmark and the reference it is
// compared with (by benchmark name prefix).
struct Pair {
  std::string ours;
  std::string reference;
};
std::vector<Pair> gPairs;

void RegisterOne(const std::string& name, void (*fn)(benchmark::State&), const std::vector<long>& sizes) {
  for (long n : sizes)
    benchmark::RegisterBenchmark(name.c_str(), fn)->Arg(n)->Unit(benchmark::kMillisecond)->UseRealTime();
}

void RegisterPair(const std::string& op, const std::string& reference, void (*ours)(benchmark::State&),
                  void (*ref)(benchmark::State&), const std::vector<long>& oursSizes,
                  const std::vector<long>& refSizes) {
  gPairs.push_back({op + "/ours", op + "/" + reference});
  RegisterOne(op + "/ours", ours, oursSizes);
  RegisterOne(op + "/" + reference, ref, refSizes);
}

// Remembers each benchmark's time per pass, in ms, by name.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred)
        perPassMs[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> perPassMs;
};

void PrintSummary(const RatioReporter& reporter) {
  std::printf("\n%-16s %9s %14s %14s %8s\n", "operation", "n", "ours ns/item", "ref ns/item", "ratio");
  for (const Pair& p : gPairs) {
    for (long n : {10000L, 100000L, 1000000L}) {
      const std::string suffix = "/" + std::to_string(n) + "/real_time";
      const auto ours = reporter.perPassMs.find(p.ours + suffix);
      if (ours == reporter.perPassMs.end()) continue;
      const std::string op = p.ours.substr(0, p.ours.rfind('/'));
      const auto ref = reporter.perPassMs.find(p.reference + suffix);
      const double oursNs = ours->second * 1e6 / static_cast<double>(n);
      if (ref == reporter.perPassMs.end()) {
        std::printf("%-16s %9ld %14.1f %14s %8s\n", op.c_str(), n, oursNs, "-", "-");
      } else {
        const double refNs = ref->second * 1e6 / static_cast<double>(n);
        std::printf("%-16s %9ld %14.1f %14.1f %8.2f\n", op.c_str(), n, oursNs, refNs, oursNs / refNs);
      }
    }
  }
}

}  // namespace
}  // namespace velkor

int main(int argc, char** argv) {
  using namespace velkor;
  benchmark::Initialize(&argc, argv);
  const std::vector<long> three{10000, 100000, 1000000};
  RegisterPair("set.insert", "std::map", SetInsert<OurSet>, SetInsert<StdSet>, three, three);
  RegisterPair("set.find", "std::map", SetFind<OurSet>, SetFind<StdSet>, three, three);
  RegisterPair("set.erase", "std::map", SetErase<OurSet>, SetErase<StdSet>, three, three);
  RegisterPair("set.walk", "std::map", SetWalk<OurSet>, SetWalk<StdSet>, three, three);
  RegisterPair("list.insert", "std::vector", ListInsertOurs, ListInsertStd, three, {10000, 100000});
  RegisterPair("list.index", "std::vector", ListIndexOurs, ListIndexStd, three, three);
  RegisterPair("sort.int", "std::sort", SortIntsOurs, SortIntsStd, {1000000}, {1000000});
  gPairs.push_back({"sort.int.stored/ours", "sort.int/std::sort"});
  RegisterOne("sort.int.stored/ours", SortIntsOursStored, {1000000});
  RegisterPair("sort.string", "std::sort", SortStringsOurs, SortStringsStd, {100000}, {100000});

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  benchmark::Shutdown();
  return 0;
}
