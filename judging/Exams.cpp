#include "judging/Exams.h"

#include <filesystem>
#include <vector>

#include "core/CompressedXML.h"
#include "core/FileUtils.h"
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

}  // namespace

bool IsSafeFileList(std::string_view List) {
  for (;;) {
    const std::size_t bar = List.find('|');
    const std::string_view item = TrimBlanks(List.substr(0, bar));
    if (!item.empty() && !IsSafePathComponent(item)) return false;
    if (bar == std::string_view::npos) return true;
    List.remove_prefix(bar + 1);
  }
}

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
  const std::string folder = Dir();
  for (const std::string& name : SubFolderNames(folder)) Include(CreateObj(name, true));
  InputFile = FName + ".INP";
  OutputFile = FName + ".OUT";
  if (Owner == nullptr || Owner->Dir().empty()) return;
  const std::string settings = FindNameIgnoreCase(folder, std::string(kExamSettingsFileName));
  if (!settings.empty() && IsRegularFile(JoinPath(folder, settings))) FileLoad();
}

std::string TExamInfo::SettingsFileName() const {
  if (Owner == nullptr || Owner->Dir().empty())
    throw EXMLError("Đề bài \"" + FName + "\" không thuộc thư mục đề nào, không có tệp cấu hình");
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
  if (Checkers != nullptr && Checkers->Count() > 0 && Checkers->Obj(EvaluatorName) == nullptr)
    EvaluatorName = FirstCheckerName();
  ForEachElement(Node, [this](pugi::xml_node child) {
    if (TTestInfo* test = Obj(ReadXMLAttribute(child, "Name", ""))) test->XMLLoad(child);
  });
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

std::unique_ptr<TExamInfo> TExamSet::LoadExam(const std::string& Name) {
  std::unique_ptr<TExamInfo> exam = CreateObj(Name, true);
  exam->Load();
  return exam;
}

void TExamSet::Load() {
  if (OnBeforeLoad) OnBeforeLoad(this);
  Clear();
  if (!FDir.empty())
    for (const std::string& name : SubFolderNames(FDir)) Include(LoadExam(name));
  if (OnLoaded) OnLoaded(this);
}

void TExamSet::Refresh() {
  if (OnBeforeLoad) OnBeforeLoad(this);
  if (FDir.empty()) {
    Clear();
  } else {
    const std::vector<std::string> names = SubFolderNames(FDir);
    DoFilter(names);
    for (const std::string& name : names) {
      std::unique_ptr<TExamInfo> exam = LoadExam(name);
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
    if (TExamInfo* exam = Obj(ReadXMLAttribute(child, "Name", ""))) exam->XMLLoad(child);
  });
}

void TExamSet::XMLSave(pugi::xml_node Node) const {
  RemoveChildNodes(Node);
  for (const TExamInfo* exam : *this) exam->XMLSave(Node.append_child(kExamElement));
}

}  // namespace velkor
