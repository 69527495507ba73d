// Builds contest folders by hand for the judging tests: a tasks tree (exam
// folders with test folders and files, optional settings files) and a
// contestants tree (one folder per contestant with its sources), both in a
// fresh temporary folder.
#pragma once

#include <initializer_list>
#include <map>
#include <string>

#include "core/CompressedXML.h"
#include "tests/core/FileTestSupport.h"

namespace velkor::testing {

// Writes Xml (plain text) to Path as a compressed XML document.
inline void WriteCompressedXML(const std::string& Path, const std::string& Xml) {
  TCompressedXML doc;
  doc.LoadXML(Xml, Path);
  fs::create_directories(fs::path(Path).parent_path());
  doc.SaveToFile(Path);
}

// The document stored compressed at Path, as plain XML text.
inline std::string ReadCompressedXML(const std::string& Path) {
  TCompressedXML doc;
  doc.LoadFromFile(Path);
  return doc.XML();
}

class TContestTree {
 public:
  using TFiles = std::map<std::string, std::string>;  // file name -> content

  TContestTree() {
    fs::create_directories(TasksDir());
    fs::create_directories(ContestantsDir());
  }

  std::string TasksDir() const { return FRoot / "Tasks"; }
  std::string ContestantsDir() const { return FRoot / "Contestants"; }
  std::string Path(const std::string& Relative) const { return FRoot / Relative; }

  // An exam folder with one folder per test; each test holds Exam.INP and
  // Exam.OUT. Returns the exam folder.
  std::string AddExam(const std::string& Exam, std::initializer_list<std::string> Tests = {}) {
    const std::string dir = TasksDir() + "/" + Exam;
    fs::create_directories(dir);
    for (const std::string& test : Tests) AddTest(Exam, test, {{Exam + ".INP", "1 2\n"}, {Exam + ".OUT", "3\n"}});
    return dir;
  }

  // A test folder with the given files. Returns the test folder.
  std::string AddTest(const std::string& Exam, const std::string& Test, const TFiles& Files = {}) {
    const std::string dir = TasksDir() + "/" + Exam + "/" + Test;
    fs::create_directories(dir);
    for (const auto& [name, text] : Files) WriteText(dir + "/" + name, text);
    return dir;
  }

  // The exam's settings file, from plain XML text.
  void WriteExamSettings(const std::string& Exam, const std::string& Xml,
                         const std::string& FileName = "Settings.cfg") const {
    WriteCompressedXML(TasksDir() + "/" + Exam + "/" + FileName, Xml);
  }

  // A contestant folder with the given source files. Returns the folder.
  std::string AddContestant(const std::string& Name, const TFiles& Files = {}) {
    const std::string dir = ContestantsDir() + "/" + Name;
    fs::create_directories(dir);
    for (const auto& [name, text] : Files) WriteText(dir + "/" + name, text);
    return dir;
  }

  void Remove(const std::string& Relative) const { fs::remove_all(Path(Relative)); }

 private:
  TempFolder FRoot;
};

}  // namespace velkor::testing
