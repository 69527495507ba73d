// The contest archive against the standard tools, in one run: a generated
// contest of 200 contestants x 10 exams x 20 tests is saved with FileSave
// and packed with "zip -r" (the same deflate level, 6), then the archive
// is opened with FileLoad and unpacked with "unzip" into a fresh folder.
//
// The tree: per exam 20 test folders whose input files grow geometrically
// from about 100 bytes to 400 KiB (numbers as text, as test data usually
// is) with answers a tenth of that; per contestant one source of 1-6 KiB
// for every exam. About 2,400 files and 19 MB in all.
//
// FileSave also writes the exam and result documents, and FileLoad deletes
// the previous unpack folder and loads both sets afterwards; the tools'
// runs delete their previous output first as well, so each side does the
// whole job of its kind. The table at the end gives ours / the tool's.
//
// The tree lives under TMPDIR. On a disk file system, creating thousands of
// files right after deleting them costs kernel time that varies from run to
// run for both sides; a tmpfs TMPDIR leaves only the packing itself.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "judging/Contests.h"
#include "judging/EnvConfig.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

constexpr int kContestants = 200;
constexpr int kExams = 10;
constexpr int kTests = 20;

std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// Whitespace-separated numbers, as test files hold them, Size bytes or so.
std::string NumberText(std::mt19937_64& Random, std::size_t Size) {
  std::string text;
  text.reserve(Size + 16);
  std::uniform_int_distribution<int> value(0, 1000000000), perLine(1, 20);
  int left = perLine(Random);
  while (text.size() < Size) {
    text += std::to_string(value(Random));
    text += --left == 0 ? '\n' : ' ';
    if (left == 0) left = perLine(Random);
  }
  return text;
}

// A C++-looking source of about Size bytes.
std::string SourceText(std::mt19937_64& Random, std::size_t Size) {
  static const char* lines[] = {
      "#include <bits/stdc++.h>\n", "using namespace std;\n", "long long a[200005], f[200005];\n",
      "int main() {\n", "    ios::sync_with_stdio(false); cin.tie(nullptr);\n", "    int n; cin >> n;\n",
      "    for (int i = 1; i <= n; ++i) cin >> a[i];\n", "    sort(a + 1, a + n + 1);\n",
      "    for (int i = 1; i <= n; ++i) f[i] = max(f[i - 1], f[i - 1] + a[i]);\n",
      "    cout << f[n] << '\\n';\n", "    return 0;\n", "}\n"};
  std::uniform_int_distribution<int> pick(0, std::size(lines) - 1), id(0, 99999);
  std::string text;
  while (text.size() < Size) {
    text += lines[pick(Random)];
    if (pick(Random) == 0) text += "// " + std::to_string(id(Random)) + "\n";
  }
  return text;
}

void WriteFile(const fs::path& Path, const std::string& Text) {
  fs::create_directories(Path.parent_path());
  std::ofstream(Path, std::ios::binary) << Text;
}

struct TBenchContest {
  fs::path Root;
  std::uint64_t Bytes = 0;
  std::uint64_t Files = 0;

  TBenchContest() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velkor-archive-bench-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    Root = pattern;
    std::mt19937_64 random(20240611);
    auto add = [&](const fs::path& Path, const std::string& Text) {
      WriteFile(Path, Text);
      Bytes += Text.size();
      ++Files;
    };
    for (int e = 1; e <= kExams; ++e) {
      const std::string exam = "Bai" + TwoDigits(e);
      for (int t = 1; t <= kTests; ++t) {
        const auto size = static_cast<std::size_t>(100 * std::pow(4096.0, (t - 1) / double(kTests - 1)));
        const fs::path test = Root / "Tasks" / exam / TwoDigits(t);
        add(test / (exam + ".INP"), NumberText(random, size));
        add(test / (exam + ".OUT"), NumberText(random, size / 10 + 1));
      }
    }
    std::uniform_int_distribution<std::size_t> sourceSize(1024, 6 * 1024);
    for (int c = 1; c <= kContestants; ++c) {
      const fs::path dir = Root / "Contestants" / ("TS" + std::to_string(1000 + c));
      for (int e = 1; e <= kExams; ++e) add(dir / ("Bai" + TwoDigits(e) + ".cpp"), SourceText(random, sourceSize(random)));
    }

    EnvConfig = std::make_unique<TEnvConfig>();
    EnvConfig->DecompressDir = (Root / "unpack").string() + "/";
    Contest.ExamSet().SetDir((Root / "Tasks").string());
    Contest.ResultSet().SetDir((Root / "Contestants").string());
  }
  ~TBenchContest() {
    std::error_code ec;
    fs::remove_all(Root, ec);
  }

  std::string Ours() const { return (Root / "ours.contest").string(); }
  std::string Theirs() const { return (Root / "theirs.zip").string(); }

  TContestInfo Contest;
};

TBenchContest& Bench() {
  static TBenchContest bench;
  return bench;
}

void Shell(benchmark::State& State, const std::string& Command) {
  if (std::system((Command + " >/dev/null 2>&1").c_str()) != 0) State.SkipWithError(("failed: " + Command).c_str());
}

void Count(benchmark::State& State) {
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Bench().Bytes));
  State.counters["files"] = static_cast<double>(Bench().Files);
}

void BM_FileSave(benchmark::State& State) {
  TBenchContest& b = Bench();
  for (auto _ : State)
    if (!b.Contest.FileSave(b.Ours())) State.SkipWithError("FileSave failed");
  Count(State);
}

void BM_ZipR(benchmark::State& State) {
  TBenchContest& b = Bench();
  for (auto _ : State) {
    fs::remove(b.Theirs());
    Shell(State, "cd '" + b.Root.string() + "' && zip -q -r -6 '" + b.Theirs() + "' Tasks Contestants");
  }
  Count(State);
}

void BM_FileLoad(benchmark::State& State) {
  TBenchContest& b = Bench();
  if (!fs::exists(b.Ours()) && !b.Contest.FileSave(b.Ours())) State.SkipWithError("FileSave failed");
  TContestInfo opened;
  for (auto _ : State)
    if (!opened.FileLoad(b.Ours())) State.SkipWithError("FileLoad failed");
  Count(State);
}

void BM_Unzip(benchmark::State& State) {
  TBenchContest& b = Bench();
  const fs::path out = b.Root / "unzipped";
  for (auto _ : State) {
    fs::remove_all(out);
    Shell(State, "unzip -q -o '" + b.Ours() + "' -d '" + out.string() + "'");
  }
  Count(State);
}

BENCHMARK(BM_FileSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ZipR)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FileLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Unzip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Prints ours / the tool's for packing and for unpacking.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& r : Runs) Times[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto ratio = [&](const std::string& ours, const std::string& theirs) {
      const std::string suffix = "/iterations:3/real_time";
      const double a = Times[ours + suffix], b = Times[theirs + suffix];
      if (a > 0 && b > 0) std::printf("%-12s / %-8s %.2f\n", ours.c_str(), theirs.c_str(), a / b);
    };
    std::printf("\nours / reference (wall time)\n");
    ratio("BM_FileSave", "BM_ZipR");
    ratio("BM_FileLoad", "BM_Unzip");
  }
  std::map<std::string, double> Times;
};

}  // namespace
}  // namespace velkor

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  velkor::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
