// The application's windows against plain references, offscreen:
// - RunJudge (the judging window around the engine) against the engine
//   alone, on a generated contest of a small static program;
// - ExportToExcel of 500 contestants × 10 exams × 20 tests against a bare
//   libxlsxwriter loop writing the same cells;
// - the result grid of 2000 contestants × 30 exams (repainting its visible
//   part, and UpdateAllGUI after a load) against a QTableView over a
//   QStandardItemModel holding the same texts.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QStandardItemModel>
#include <QTableView>

#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "RatioReporter.h"
#include "app/ExcelExportU.h"
#include "app/JudgeU.h"
#include "app/MainUnit.h"
#include "components/LowLevel.h"
#include "components/TrueImages.h"
#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "graphics/RasterStartup.h"
#include "graphics_toolkit/RasterToolkitStartup.h"
#include "judging/Checkers.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Globals.h"
#include "judging/JudgeEngines.h"
#include "judging/Results.h"
#include "toolkit/DesktopOpen.h"

namespace {

namespace fs = std::filesystem;
using namespace velkor;

fs::path gRoot;

void WriteFile(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

// A contest on disk: Contestants × Exams pairs of Tests tests each, every
// contestant with the bench program for every exam.
void MakeJudgedContest(int Contestants, int Exams, int Tests) {
  std::error_code ec;
  fs::remove_all(gRoot / "Tasks", ec);
  fs::remove_all(gRoot / "Contestants", ec);
  const std::string tasks = (gRoot / "Tasks").string(), people = (gRoot / "Contestants").string();
  for (int e = 0; e < Exams; ++e)
    for (int t = 0; t < Tests; ++t) {
      const std::string dir = tasks + "/E" + std::to_string(e) + "/" + std::to_string(100 + t);
      fs::create_directories(dir);
      WriteFile(dir + "/E.INP", std::to_string(t) + "\n");
      WriteFile(dir + "/E.OUT", std::to_string(t) + "\n");
    }
  for (int c = 0; c < Contestants; ++c) {
    const std::string dir = people + "/C" + std::to_string(10 + c);
    fs::create_directories(dir);
    for (int e = 0; e < Exams; ++e) fs::copy_file(VELKOR_JUDGE_BENCH_PROGRAM, dir + "/E" + std::to_string(e) + ".exe");
  }
  ContestInfo->Reset();
  ContestInfo->LoadExams(tasks);
  ContestInfo->LoadContestants(people);
  for (TExamInfo* exam : ContestInfo->ExamSet()) {
    exam->InputFile = "E.INP";
    exam->OutputFile = "E.OUT";
    exam->EvaluatorName = "CompareTokens.dll";
  }
}

TQueue<TJudgePair> AllPairs() {
  TQueue<TJudgePair> queue;
  for (const TResultC* c : ContestInfo->ResultSet())
    for (const TExamInfo* e : ContestInfo->ExamSet()) queue.Push({c->Name(), e->Name()});
  return queue;
}

void BM_RunJudge(benchmark::State& State) {
  MakeJudgedContest(10, 2, 5);
  for (auto _ : State) {
    TQueue<TJudgePair> queue = AllPairs();
    RunJudge(queue);
  }
}
BENCHMARK(BM_RunJudge)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_EngineAlone(benchmark::State& State) {
  MakeJudgedContest(10, 2, 5);
  for (auto _ : State) {
    TQueue<TJudgePair> queue = AllPairs();
    TJudgeEngine engine(*ContestInfo, *CompilerConfig, *Checkers);
    engine.Run(queue);
  }
}
BENCHMARK(BM_EngineAlone)->Unit(benchmark::kMillisecond)->Iterations(3);

// Results set through the model: Contestants × Exams judged results of
// Tests tests each, with short verdicts.
void MakeResults(int Contestants, int Exams, int Tests) {
  ContestInfo->Reset();
  const std::string tasks = (gRoot / "ResultTasks").string();
  for (int e = 0; e < Exams; ++e)
    for (int t = 0; t < Tests; ++t) fs::create_directories(tasks + "/E" + std::to_string(e) + "/" + std::to_string(t));
  ContestInfo->LoadExams(tasks);
  TResultSet& results = ContestInfo->ResultSet();
  for (int c = 0; c < Contestants; ++c) {
    TResultC* rc = results.ObjF("C" + std::to_string(1000 + c));
    for (int e = 0; e < Exams; ++e) {
      TResultE* re = rc->ObjF("E" + std::to_string(e));
      re->state = jsJudged;
      for (int t = 0; t < Tests; ++t) {
        TResultT* rt = re->ObjF(std::to_string(t));
        rt->Evaluation = (c + t) % 3 == 0 ? 0 : 1;
        rt->EvaluationText = rt->Evaluation > 0 ? "Đúng" : "Sai ở dòng 1";
      }
      re->UpdateScore();
    }
    rc->UpdateScore();
  }
}

void BM_ExportToExcel(benchmark::State& State) {
  MakeResults(500, 10, 20);
  const std::string file = (gRoot / "export.xlsx").string();
  SetExportTarget(file);
  SetDesktopOpener([](const std::string&) { return true; });
  for (auto _ : State) {
    fs::remove(file);
    ExportToExcel();
  }
  SetExportTarget("");
}
BENCHMARK(BM_ExportToExcel)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BareXlsx(benchmark::State& State) {
  MakeResults(500, 10, 20);
  const std::string file = (gRoot / "bare.xlsx").string();
  for (auto _ : State) {
    lxw_workbook* book = workbook_new(file.c_str());
    lxw_format* number = workbook_add_format(book);
    format_set_num_format(number, "0.00");
    lxw_worksheet* s1 = workbook_add_worksheet(book, "Tổng hợp điểm");
    lxw_worksheet* s2 = workbook_add_worksheet(book, "Chi tiết chấm");
    const TExamSet& exams = ContestInfo->ExamSet();
    lxw_row_t row = 1, detail = 1;
    for (const TResultC* c : ContestInfo->ResultSet()) {
      worksheet_write_string(s1, row, 0, c->Name().c_str(), nullptr);
      lxw_col_t col = 1;
      for (const TExamInfo* e : exams) worksheet_write_number(s1, row, col++, c->Obj(e->Name())->Evaluation, number);
      worksheet_write_number(s1, row, col, c->Evaluation, number);
      ++row;
      worksheet_write_string(s2, detail, 0, c->Name().c_str(), nullptr);
      worksheet_write_number(s2, detail++, 3, c->Evaluation, number);
      for (const TResultE* e : *c) {
        worksheet_write_string(s2, detail, 0, c->Name().c_str(), nullptr);
        worksheet_write_string(s2, detail, 1, e->Name().c_str(), nullptr);
        worksheet_write_number(s2, detail, 3, e->Evaluation, number);
        worksheet_write_string(s2, detail++, 4, "✓ ", nullptr);
        for (const TResultT* t : *e) {
          worksheet_write_string(s2, detail, 0, c->Name().c_str(), nullptr);
          worksheet_write_string(s2, detail, 1, e->Name().c_str(), nullptr);
          worksheet_write_string(s2, detail, 2, t->Name().c_str(), nullptr);
          worksheet_write_number(s2, detail, 3, t->Evaluation, number);
          worksheet_write_string(s2, detail++, 4, t->EvaluationText.c_str(), nullptr);
        }
      }
    }
    workbook_close(book);
  }
}
BENCHMARK(BM_BareXlsx)->Unit(benchmark::kMillisecond)->Iterations(3);

constexpr int kGridContestants = 2000;
constexpr int kGridExams = 30;

// The main window over the loaded results, and a reference view holding the
// texts the grid shows.
struct TGrids {
  TGrids() {
    // The window starts with a new, empty contest; the results come after.
    form = std::make_unique<TMainForm>();
    form->resize(1200, 800);
    form->show();
    MakeResults(kGridContestants, kGridExams, 1);
    form->UpdateAllGUI();
    reference.setModel(&model);
    FillReference();
    reference.resize(form->MainList->size());
    reference.show();
  }
  void FillReference() {
    TMainListModel* ours = form->MainListModel;
    model.clear();
    model.setRowCount(ours->rowCount());
    model.setColumnCount(ours->columnCount());
    for (int r = 0; r < ours->rowCount(); ++r)
      for (int c = 0; c < ours->columnCount(); ++c)
        model.setItem(r, c, new QStandardItem(ours->data(ours->index(r, c), Qt::DisplayRole).toString()));
  }
  std::unique_ptr<TMainForm> form;
  QStandardItemModel model;
  QTableView reference;
};

// Freed before the application and the process-wide objects go.
std::unique_ptr<TGrids> gGrids;

TGrids& Grids() {
  if (!gGrids) gGrids = std::make_unique<TGrids>();
  return *gGrids;
}

void BM_GridRepaint(benchmark::State& State) {
  QWidget* viewport = Grids().form->MainList->viewport();
  QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : State) viewport->render(&image);
}
BENCHMARK(BM_GridRepaint)->Unit(benchmark::kMillisecond);

void BM_ReferenceRepaint(benchmark::State& State) {
  QWidget* viewport = Grids().reference.viewport();
  QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : State) viewport->render(&image);
}
BENCHMARK(BM_ReferenceRepaint)->Unit(benchmark::kMillisecond);

void BM_UpdateAllGUI(benchmark::State& State) {
  TMainForm* form = Grids().form.get();
  for (auto _ : State) form->UpdateAllGUI();
}
BENCHMARK(BM_UpdateAllGUI)->Unit(benchmark::kMillisecond);

void BM_ReferenceFill(benchmark::State& State) {
  for (auto _ : State) Grids().FillReference();
}
BENCHMARK(BM_ReferenceFill)->Unit(benchmark::kMillisecond);

void PrintRatio(RatioReporter& Reporter, const char* Ours, const char* Reference, const char* What, const char* Target) {
  const double ours = Reporter.perIteration[Ours], reference = Reporter.perIteration[Reference];
  if (ours > 0 && reference > 0) std::printf("%s: %.2fx (target %s)\n", What, ours / reference, Target);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  char pattern[] = "/tmp/velkor-app-bench-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  gRoot = pattern;
  QApplication application(argc, argv);
  SystemInfoInit(1, const_cast<const char**>(argv));
  FileUtilsInit();
  // The windows' controls draw through the raster library and true images.
  RasterStartup();
  RasterToolkitStartup();
  LowLevel::BindFillLongword();
  TrueImagesStartup();
  InitializeGlobals();
  InitErrorModeAPI();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatio(reporter, "BM_RunJudge", "BM_EngineAlone", "RunJudge / the engine alone", "<= 1.10");
  PrintRatio(reporter, "BM_ExportToExcel", "BM_BareXlsx", "ExportToExcel / bare libxlsxwriter", "<= 2x");
  PrintRatio(reporter, "BM_GridRepaint", "BM_ReferenceRepaint", "grid repaint / QStandardItemModel view", "<= 1.5x");
  PrintRatio(reporter, "BM_UpdateAllGUI", "BM_ReferenceFill", "UpdateAllGUI / QStandardItemModel fill", "<= 1.5x");
  std::fflush(stdout);
  benchmark::Shutdown();
  gGrids.reset();
  DoneErrorModeAPI();
  ContestInfo->Reset();
  FinalizeGlobals();
  TrueImagesShutdown();
  RasterToolkitShutdown();
  RasterShutdown();
  std::error_code ec;
  fs::remove_all(gRoot, ec);
  return 0;
}
