#include "judging/Exams.h"

#include <filesystem>
#include <vector>

#include "core/CompressedXML.h"
#include "core/FileUtils.h"
#include "core/NumberFormat.h"
#include "core/SystemInfo.h"
#include "judging/Checkers.h"
#include "judging/XMLHelpers.h"

namespace velkor {
namespace {

constexpr const char* kExamRoot = "ExamInformation";
constexpr const char* kTasksRoot = "Tasks";
constexpr const char* kExamElement = "Exam";
constexpr const char* kTestElement = "TestCase";

std::string FirstCheckerName() {
  if (Checkers == nullptr) return "";
  const TChecker* first = Checkers->ObjI(0);
  return first != nullptr ? first->Name() : "";
}

bool IsRegularFile(const std::string& Path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(Path, ec);
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The text of a number as the files hold it.
std::string LimitText(double Value) { return FloatToStr(Value, EnUsFormat); }

// Lowers Value to Max when above it; the line for the jury when it did.
std::string ClampLimit(double& Value, double Max, const char* What, const char* Unit) {
  if (!(Value > Max)) return "";
  std::string text = std::string(What) + " " + LimitText(Value) + " " + Unit +
                     " lớn hơn mức chương trình chấm thực hiện được, dùng mức lớn nhất " + LimitText(Max) + " " + Unit +
                     ".";
  Value = Max;
  return text;
}

// Lowers both limits when above the runner's; what to tell the jury, or "".
std::string ClampedLimitsText(double& TimeLimit, double& MemoryLimit) {
  std::string told = ClampLimit(TimeLimit, kMaxTimeLimit, "giới hạn thời gian", "giây");
  const std::string memory = ClampLimit(MemoryLimit, kMaxMemoryLimit, "giới hạn bộ nhớ", "MB");
  if (!memory.empty()) told += (told.empty() ? "" : " ") + memory;
  return told;
}

// For the choice between exam folders whose names differ only in letter
// case: the one holding its settings file, then one holding anything.
int ExamFolderWeight(const std::string& Path) {
  if (!FindNameIgnoreCase(Path, std::string(kExamSettingsFileName)).empty()) return 2;
  return NonEmptyFolderWeight(Path);
}

}  // namespace

std::string DamagedSettingsText(const std::string& Exam, const std::string& Detail, const std::string& Fallback) {
  return "Bài thi \"" + Exam + "\": không đọc được file " + std::string(kExamSettingsFileName) +
         ", bài thi vẫn được giữ với các test của nó, cấu hình " + Fallback + ". Chi tiết: " + Detail;
}

bool IsSafeFileList(std::string_view List) {
  for (;;) {
    const std::size_t bar = List.find('|');
    const std::string_view item = TrimBlanks(List.substr(0, bar));
    if (!item.empty() && !IsSafePathComponent(item)) return false;
    if (bar == std::string_view::npos) return true;
    List.remove_prefix(bar + 1);
  }
}

std::vector<std::string> FileListItems(std::string_view List) {
  std::vector<std::string> items;
  for (;;) {
    const std::size_t bar = List.find('|');
    std::string item = TrimControl(List.substr(0, bar));
    if (!item.empty()) items.push_back(std::move(item));
    if (bar == std::string_view::npos) return items;
    List.remove_prefix(bar + 1);
  }
}

bool IsEmptyFileList(std::string_view List) { return FileListItems(List).empty(); }

// ---- TTestInfo ---------------------------------------------------------

void TTestInfo::SetOwner(TModelObject* aOwner) { Owner = dynamic_cast<TExamInfo*>(aOwner); }

double TTestInfo::GetActualMark() const {
  if (Mark >= 0) return Mark;
  return Owner != nullptr ? Owner->Mark : TExamInfo::kDefaultMark;
}

double TTestInfo::GetActualTimeLimit() const {
  if (TimeLimit >= 0) return TimeLimit;
  return Owner != nullptr ? Owner->TimeLimit : TExamInfo::kDefaultTimeLimit;
}

double TTestInfo::GetActualMemoryLimit() const {
  if (MemoryLimit >= 0) return MemoryLimit;
  return Owner != nullptr ? Owner->MemoryLimit : TExamInfo::kDefaultMemoryLimit;
}

std::string TTestInfo::Dir() const { return JoinPath(Owner != nullptr ? Owner->Dir() : "", FName); }

void TTestInfo::XMLLoad(pugi::xml_node Node) {
  if (!SameText(ReadXMLAttribute(Node, "Name", ""), FName)) return;
  Mark = ReadXMLAttribute(Node, "Mark", Mark);
  TimeLimit = ReadXMLAttribute(Node, "TimeLimit", TimeLimit);
  MemoryLimit = ReadXMLAttribute(Node, "MemoryLimit", MemoryLimit);
  const std::string told = ClampedLimitsText(TimeLimit, MemoryLimit);
  if (!told.empty() && Owner != nullptr && Owner->Owner != nullptr)
    Owner->Owner->AddLoadProblem({"Bài thi \"" + Owner->Name() + "\", test \"" + FName + "\": " + told});
}

void TTestInfo::XMLSave(pugi::xml_node Node) const {
  WriteXMLAttribute(Node, "Name", FName);
  WriteXMLAttribute(Node, "Mark", Mark);
  WriteXMLAttribute(Node, "TimeLimit", TimeLimit);
  WriteXMLAttribute(Node, "MemoryLimit", MemoryLimit);
}

// ---- TExamInfo ---------------------------------------------------------

TExamInfo::TExamInfo() : EvaluatorName(FirstCheckerName()) {}

void TExamInfo::SetOwner(TModelObject* aOwner) { Owner = dynamic_cast<TExamSet*>(aOwner); }

std::string TExamInfo::Dir() const { return JoinPath(Owner != nullptr ? Owner->Dir() : "", FName); }

std::string TExamInfo::ColumnHeader() const { return (Enabled ? "✓ " : "◯ ") + FName; }

void TExamInfo::Load() {
  LoadTests();
  LoadSettings();
}

void TExamInfo::LoadTests() {
  TLoadProblems problems;
  for (const std::string& name :
       LoadableSubFolders(Dir(), "test của bài thi \"" + FName + "\"", problems, NonEmptyFolderWeight))
    Include(CreateObj(name, true));
  // An exam without tests judges every program to 0 without a word: the
  // jury most likely put the test files in the exam's own folder.
  if (Count() == 0)
    problems.push_back({"Bài thi \"" + FName +
                        "\" không có test nào: mỗi test là một thư mục con của thư mục bài thi, chứa file input và "
                        "file kết quả của test"});
  if (Owner != nullptr)
    for (TLoadProblem& p : problems) Owner->AddLoadProblem(std::move(p));
}

void TExamInfo::LoadSettings() {
  InputFile = FName + ".INP";
  OutputFile = FName + ".OUT";
  if (Owner == nullptr || Owner->Dir().empty()) return;
  const std::string folder = Dir();
  const std::string settings = FindNameIgnoreCase(folder, std::string(kExamSettingsFileName));
  if (!settings.empty() && IsRegularFile(JoinPath(folder, settings))) FileLoad();
}

void TExamInfo::CopySettings(const TExamInfo& From, TExamInfo& To, bool AddTests) {
  To.Enabled = From.Enabled;
  To.UseStdIn = From.UseStdIn;
  To.UseStdOut = From.UseStdOut;
  To.InputFile = From.InputFile;
  To.OutputFile = From.OutputFile;
  To.EvaluatorName = From.EvaluatorName;
  To.Mark = From.Mark;
  To.TimeLimit = From.TimeLimit;
  To.MemoryLimit = From.MemoryLimit;
  To.SettingsMissing = From.SettingsMissing;
  for (const TTestInfo* from : From) {
    TTestInfo* to = AddTests ? To.ObjF(from->Name()) : To.Obj(from->Name());
    if (to == nullptr) continue;
    to->Mark = from->Mark;
    to->TimeLimit = from->TimeLimit;
    to->MemoryLimit = from->MemoryLimit;
  }
}

void TExamInfo::ClampLimits() {
  const std::string told = ClampedLimitsText(TimeLimit, MemoryLimit);
  if (!told.empty() && Owner != nullptr) Owner->AddLoadProblem({"Bài thi \"" + FName + "\": " + told});
}

std::string TExamInfo::SettingsFileName() const {
  if (Owner == nullptr || Owner->Dir().empty())
    throw EXMLError("Đề bài \"" + FName + "\" không thuộc thư mục đề nào, không có file cấu hình");
  const std::string folder = Dir();
  const std::string found = FindNameIgnoreCase(folder, std::string(kExamSettingsFileName));
  return JoinPath(folder, found.empty() ? std::string(kExamSettingsFileName) : found);
}

void TExamInfo::FileLoad(const std::string& FileName) {
  TCompressedXML doc;
  doc.LoadFromFile(FileName.empty() ? SettingsFileName() : FileName);
  if (const pugi::xml_node root = doc.child(kExamRoot)) XMLLoad(root);
}

void TExamInfo::FileSave(const std::string& FileName) const {
  TCompressedXML doc;
  XMLSave(doc.append_child(kExamRoot));
  doc.SaveToFile(FileName.empty() ? SettingsFileName() : FileName);
}

void TExamInfo::StreamLoad(std::istream& Stream) {
  TCompressedXML doc;
  doc.LoadFromStream(Stream);
  if (const pugi::xml_node root = doc.child(kExamRoot)) XMLLoad(root);
}

void TExamInfo::StreamSave(std::ostream& Stream) const {
  TCompressedXML doc;
  XMLSave(doc.append_child(kExamRoot));
  doc.SaveToStream(Stream);
}

void TExamInfo::XMLLoad(pugi::xml_node Node) {
  if (!SameText(ReadXMLAttribute(Node, "Name", ""), FName)) return;
  const std::string inputFile = ReadXMLAttribute(Node, "InputFile", InputFile);
  if (IsSafeFileList(inputFile)) InputFile = inputFile;
  UseStdIn = ReadXMLAttribute(Node, "UseStdIn", UseStdIn);
  const std::string outputFile = ReadXMLAttribute(Node, "OutputFile", OutputFile);
  if (IsSafeFileList(outputFile)) OutputFile = outputFile;
  UseStdOut = ReadXMLAttribute(Node, "UseStdOut", UseStdOut);
  EvaluatorName = ReadXMLAttribute(Node, "EvaluatorName", EvaluatorName);
  Mark = ReadXMLAttribute(Node, "Mark", Mark);
  TimeLimit = ReadXMLAttribute(Node, "TimeLimit", TimeLimit);
  MemoryLimit = ReadXMLAttribute(Node, "MemoryLimit", MemoryLimit);
  ClampLimits();
  if (Checkers != nullptr && Checkers->Count() > 0 && Checkers->Obj(EvaluatorName) == nullptr)
    EvaluatorName = FirstCheckerName();
  ForEachElement(Node, [this](pugi::xml_node child) {
    if (TTestInfo* test = Obj(ReadXMLAttribute(child, "Name", ""))) test->XMLLoad(child);
  });
  SettingsMissing = false;
}

void TExamInfo::XMLSave(pugi::xml_node Node) const {
  WriteXMLAttribute(Node, "Name", FName);
  WriteXMLAttribute(Node, "InputFile", InputFile);
  WriteXMLAttribute(Node, "UseStdIn", UseStdIn);
  WriteXMLAttribute(Node, "OutputFile", OutputFile);
  WriteXMLAttribute(Node, "UseStdOut", UseStdOut);
  WriteXMLAttribute(Node, "EvaluatorName", EvaluatorName);
  WriteXMLAttribute(Node, "Mark", Mark);
  WriteXMLAttribute(Node, "TimeLimit", TimeLimit);
  WriteXMLAttribute(Node, "MemoryLimit", MemoryLimit);
  RemoveChildNodes(Node);
  for (const TTestInfo* test : *this) test->XMLSave(Node.append_child(kTestElement));
}

// ---- TExamSet ----------------------------------------------------------

void TExamSet::SetDir(const std::string& Value) {
  FDir = ExistingFolderDir(Value);
  Load();
}

std::vector<std::string> TExamSet::ExamFolderNames() {
  return LoadableSubFolders(FDir, "bài thi", FLoadProblems, ExamFolderWeight);
}

// A damaged exam stays in the set: were it left out, the results of every
// contestant in it would be pruned as those of a deleted exam, and the next
// save would carry that loss into the contest file.
std::unique_ptr<TExamInfo> TExamSet::LoadExam(const std::string& Name, const TExamInfo* Old) {
  std::unique_ptr<TExamInfo> exam = CreateObj(Name, true);
  try {
    exam->LoadTests();
  } catch (const std::exception& e) {
    // The exam folder itself cannot be read: what was known of it stands.
    exam = CreateObj(Name, true);
    exam->InputFile = Name + ".INP";
    exam->OutputFile = Name + ".OUT";
    if (Old != nullptr) TExamInfo::CopySettings(*Old, *exam, true);
    AddLoadProblem({"Bài thi \"" + Name + "\": không đọc được thư mục của bài, " +
                        (Old != nullptr ? "giữ các test và cấu hình như trước khi cập nhật"
                                        : "bài thi không có test nào, cấu hình dùng giá trị mặc định") +
                        ". Chi tiết: " + e.what(),
                    Old == nullptr});
    exam->SettingsMissing = Old == nullptr;
    return exam;
  }
  const std::size_t problems = FLoadProblems.size();
  try {
    exam->LoadSettings();
    NameMissingTestFiles(*exam);
    return exam;
  } catch (const std::exception& e) {
    // Half-read settings are worth nothing: a fresh exam with the same tests.
    FLoadProblems.erase(FLoadProblems.begin() + static_cast<std::ptrdiff_t>(problems), FLoadProblems.end());
    std::unique_ptr<TExamInfo> fresh = CreateObj(Name, true);
    for (const TTestInfo* t : *exam) fresh->ObjF(t->Name());
    fresh->InputFile = Name + ".INP";
    fresh->OutputFile = Name + ".OUT";
    if (Old != nullptr) {
      TExamInfo::CopySettings(*Old, *fresh, false);
      AddLoadProblem({DamagedSettingsText(Name, e.what(), "giữ như trước khi cập nhật"), false, Name, e.what()});
    } else {
      fresh->SettingsMissing = true;
      AddLoadProblem({DamagedSettingsText(Name, e.what(), "dùng giá trị mặc định"), true, Name, e.what()});
    }
    return fresh;
  }
}

// Test files named otherwise than the exam's settings say judge every
// program to nothing without a word: each missing input or answer file is
// named once per exam, with the first test that lacks it.
void TExamSet::NameMissingTestFiles(const TExamInfo& Exam) {
  const std::pair<const std::string*, const char*> lists[] = {{&Exam.InputFile, "input"},
                                                              {&Exam.OutputFile, "kết quả"}};
  for (const auto& [list, kind] : lists)
    for (const std::string& name : FileListItems(*list)) {
      std::vector<std::string> lacking;
      for (const TTestInfo* test : Exam) {
        const std::string found = FindNameIgnoreCase(test->Dir(), name);
        std::error_code ec;
        if (found.empty() || !std::filesystem::is_regular_file(JoinPath(test->Dir(), found), ec))
          lacking.push_back(test->Name());
      }
      if (lacking.empty()) continue;
      AddLoadProblem({"Bài thi \"" + Exam.Name() + "\": " + std::to_string(lacking.size()) + " trong " +
                      std::to_string(Exam.Count()) + " test không có file " + kind + " \"" + name +
                      "\" (thứ nhất là test \"" + lacking.front() +
                      "\"); tên các file của test phải như cấu hình bài thi ghi"});
    }
}

void TExamSet::Load() {
  if (OnBeforeLoad) OnBeforeLoad(this);
  Clear();
  FLoadProblems.clear();
  if (!FDir.empty())
    for (const std::string& name : ExamFolderNames()) Include(LoadExam(name, nullptr));
  if (OnLoaded) OnLoaded(this);
}

void TExamSet::Refresh() {
  if (OnBeforeLoad) OnBeforeLoad(this);
  FLoadProblems.clear();
  if (FDir.empty()) {
    Clear();
  } else {
    const std::vector<std::string> names = ExamFolderNames();
    DoFilter(names);
    for (const std::string& name : names) {
      std::unique_ptr<TExamInfo> exam = LoadExam(name, Obj(name));
      if (const TExamInfo* old = Obj(name)) {
        exam->Enabled = old->Enabled;
        exam->Mark = old->Mark;
        exam->TimeLimit = old->TimeLimit;
        exam->MemoryLimit = old->MemoryLimit;
      }
      Include(std::move(exam));
    }
  }
  if (OnLoaded) OnLoaded(this);
}

void TExamSet::FileLoad(const std::string& FileName) {
  TCompressedXML doc;
  doc.LoadFromFile(FileName);
  if (const pugi::xml_node root = doc.child(kTasksRoot)) XMLLoad(root);
}

void TExamSet::FileSave(const std::string& FileName) const {
  TCompressedXML doc;
  XMLSave(doc.append_child(kTasksRoot));
  doc.SaveToFile(FileName);
}

void TExamSet::StreamLoad(std::istream& Stream) {
  TCompressedXML doc;
  doc.LoadFromStream(Stream);
  if (const pugi::xml_node root = doc.child(kTasksRoot)) XMLLoad(root);
}

void TExamSet::StreamSave(std::ostream& Stream) const {
  TCompressedXML doc;
  XMLSave(doc.append_child(kTasksRoot));
  doc.SaveToStream(Stream);
}

void TExamSet::XMLLoad(pugi::xml_node Node) {
  ForEachElement(Node, [this](pugi::xml_node child) {
    TExamInfo* exam = Obj(ReadXMLAttribute(child, "Name", ""));
    if (exam == nullptr) return;
    // One damaged element spoils only its own exam, which keeps what it had.
    std::unique_ptr<TExamInfo> before = CreateObj(exam->Name(), false);
    TExamInfo::CopySettings(*exam, *before, true);
    try {
      exam->XMLLoad(child);
    } catch (const std::exception& e) {
      TExamInfo::CopySettings(*before, *exam, false);
      AddLoadProblem({"Bài thi \"" + exam->Name() + "\": cấu hình của bài trong danh sách bài thi bị hỏng, bài giữ cấu hình "
                      "đang có. Chi tiết: " + e.what(),
                      true});
    }
  });
}

void TExamSet::XMLSave(pugi::xml_node Node) const {
  RemoveChildNodes(Node);
  for (const TExamInfo* exam : *this) exam->XMLSave(Node.append_child(kExamElement));
}

}  // namespace velkor
