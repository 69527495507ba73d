// The contest archive: its layout byte for byte, round trips through save
// and open, archives made by hand, Esc while packing and unpacking, the
// unpack folder and its fall-backs, and hostile archives built with libzip.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "judging/ContestArchive.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/FolderLocks.h"
#include "judging/ProgressHooks.h"
#include "platform/FileLocks.h"
#include "tests/core/FileTestSupport.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

using testing::Exists;
using testing::ReadText;
using testing::TContestTree;
using testing::TempFolder;
using testing::WriteText;
namespace fs = std::filesystem;

const std::string kBom = "\xEF\xBB\xBF";

// ------------------------------------------------------------ libzip side

struct TEntry {
  std::string Name;
  std::string Bytes;
  bool SymbolicLink = false;
};

struct TArchiveContents {
  std::vector<TEntry> Entries;
  std::string Comment;
  std::vector<zip_int32_t> Methods;

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const TEntry& e : Entries) names.push_back(e.Name);
    return names;
  }
  const std::string& Bytes(const std::string& Name) const {
    for (const TEntry& e : Entries)
      if (e.Name == Name) return e.Bytes;
    throw std::runtime_error("no entry " + Name);
  }
};

TArchiveContents ReadArchive(const std::string& Path) {
  int code = 0;
  zip_t* z = zip_open(Path.c_str(), ZIP_RDONLY, &code);
  if (!z) throw std::runtime_error("cannot open " + Path);
  TArchiveContents out;
  int length = 0;
  const char* comment = zip_get_archive_comment(z, &length, 0);
  out.Comment.assign(comment ? comment : "", comment ? static_cast<std::size_t>(length) : 0);
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(z, i, 0, &st);
    std::string bytes(st.size, '\0');
    zip_file_t* f = zip_fopen_index(z, i, 0);
    if (!f || zip_fread(f, bytes.data(), st.size) != static_cast<zip_int64_t>(st.size))
      throw std::runtime_error("cannot read " + std::string(st.name));
    zip_fclose(f);
    out.Entries.push_back({st.name, bytes});
    out.Methods.push_back(st.comp_method);
  }
  zip_discard(z);
  return out;
}

void WriteArchive(const std::string& Path, const std::vector<TEntry>& Entries) {
  int code = 0;
  zip_t* z = zip_open(Path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  ASSERT_NE(z, nullptr);
  for (const TEntry& e : Entries) {
    zip_source_t* src = zip_source_buffer(z, e.Bytes.data(), e.Bytes.size(), 0);
    const zip_int64_t index = zip_file_add(z, e.Name.c_str(), src, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(index, 0) << e.Name << ": " << zip_strerror(z);
    if (e.SymbolicLink)
      zip_file_set_external_attributes(z, index, 0, ZIP_OPSYS_UNIX, static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
  }
  ASSERT_EQ(zip_close(z), 0) << zip_strerror(z);
}

// The entry names of an archive as stored, byte for byte.
std::vector<std::string> RawNames(const std::string& Path) {
  int code = 0;
  zip_t* z = zip_open(Path.c_str(), ZIP_RDONLY, &code);
  if (!z) throw std::runtime_error("cannot open " + Path);
  std::vector<std::string> names;
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) names.push_back(zip_get_name(z, i, ZIP_FL_ENC_RAW));
  zip_discard(z);
  return names;
}

// Sets the uncompressed size that the archive declares for the entry Name,
// in its central directory and its local header, to Size.
void PatchDeclaredSize(const std::string& Path, const std::string& Name, std::uint32_t Size) {
  std::string bytes = ReadText(Path);
  auto u16 = [&](std::size_t at) { return std::uint32_t(std::uint8_t(bytes[at])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8; };
  auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(v >> (8 * k));
  };
  const std::size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
  ASSERT_NE(end, std::string::npos);
  bool found = false;
  for (std::size_t at = u32(end + 16); bytes.compare(at, 4, std::string("PK\x01\x02", 4)) == 0;
       at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32)) {
    if (bytes.compare(at + 46, u16(at + 28), Name) != 0 || u16(at + 28) != Name.size()) continue;
    put32(at + 24, Size);
    put32(u32(at + 42) + 22, Size);
    found = true;
  }
  ASSERT_TRUE(found) << Name;
  std::ofstream(Path, std::ios::binary | std::ios::trunc) << bytes;
}

// Gives Path a time of last change Seconds in the past.
void AgeFile(const std::string& Path, int Seconds) {
  const timespec when[2] = {{0, UTIME_OMIT}, {::time(nullptr) - Seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Path.c_str(), when, 0), 0) << Path;
}

std::string Compressed(const std::string& Xml) {
  TCompressedXML doc;
  doc.LoadXML(Xml, "test");
  return doc.SaveToBytes();
}

// ------------------------------------------------------------ hooks

// Keeps every call of the seven progress routines as a line of text.
class TRecordingProgress : public IProgressWindow {
 public:
  void Create() override { Calls.push_back("Create"); }
  void Free() override { Calls.push_back("Free"); }
  void SetValues(int Min, int Max, int Position) override {
    Calls.push_back("Values " + std::to_string(Min) + " " + std::to_string(Max) + " " + std::to_string(Position));
  }
  void SetPos(int Position) override { Calls.push_back("Pos " + std::to_string(Position)); }
  void SetCaption(const std::string& Text) override { Calls.push_back("Caption " + Text); }
  void SetSubCaption(const std::string& Text) override { Calls.push_back("Sub " + Text); }
  void Show(bool Visible) override { Calls.push_back(Visible ? "Show" : "Hide"); }

  std::vector<std::string> Calls;
};

class ArchiveTest : public ::testing::Test {
 protected:
  ArchiveTest() {
    previousWindow_ = SetProgressWindow(progress_);
    previousPoll_ = SetEscapePoll([this] { return ++polls_ == escapeAtPoll_; });
    previousSleep_ = SetRetrySleep([](std::uint32_t) {});
    previousEnv_ = std::move(EnvConfig);
    EnvConfig = std::make_unique<TEnvConfig>();
    EnvConfig->DecompressDir = UnpackBase();
  }
  ~ArchiveTest() override {
    SetProgressWindow(previousWindow_);
    SetEscapePoll(previousPoll_);
    SetRetrySleep(previousSleep_);
    EnvConfig = std::move(previousEnv_);
  }

  std::string UnpackBase() const { return work_ / "unpack/"; }
  std::string UnpackFolder() const { return UnpackBase() + "VelkorContest"; }
  std::string ArchivePath(const std::string& Name = "c.contest") const { return work_ / Name; }

  // A contest on the fixture's tree:
  //   Tasks/Bai1/01/{Bai1.INP, Bai1.OUT}, Tasks/Bai1/02 (empty),
  //   Tasks/Bai2 (no tests), Contestants/An/Bai1.cpp, Contestants/Binh.
  void BuildSmallContest() {
    tree_.AddExam("Bai1", {"01"});
    tree_.AddTest("Bai1", "02");
    tree_.AddExam("Bai2");
    tree_.AddContestant("An", {{"Bai1.cpp", "int main(){}\n"}});
    tree_.AddContestant("Binh");
    contest_.ExamSet().SetDir(tree_.TasksDir());
    contest_.ResultSet().SetDir(tree_.ContestantsDir());
  }

  // Folders and files below Dir, relative, sorted; folders end with "/".
  static std::vector<std::string> TreeListing(const std::string& Dir) {
    std::vector<std::string> out;
    for (auto it = fs::recursive_directory_iterator(Dir); it != fs::recursive_directory_iterator(); ++it)
      out.push_back(fs::relative(it->path(), Dir).string() + (it->is_directory() ? "/" : ""));
    std::sort(out.begin(), out.end());
    return out;
  }

  TempFolder work_;
  TContestTree tree_;
  TContestInfo contest_;
  std::shared_ptr<TRecordingProgress> progress_ = std::make_shared<TRecordingProgress>();
  int polls_ = 0;
  int escapeAtPoll_ = 0;  // 0: never

 private:
  std::shared_ptr<IProgressWindow> previousWindow_;
  TEscapePoll previousPoll_;
  TSleepProc previousSleep_;
  std::unique_ptr<TEnvConfig> previousEnv_;
};

TEST_F(ArchiveTest, SaveWritesTheLayout) {
  BuildSmallContest();
  ASSERT_TRUE(contest_.FileSave(ArchivePath()));

  const TArchiveContents a = ReadArchive(ArchivePath());
  EXPECT_EQ(a.Names(), (std::vector<std::string>{"Tasks/Bai1/01/Bai1.INP", "Tasks/Bai1/01/Bai1.OUT",
                                                 "Contestants/An/Bai1.cpp", "Tasks.config", "TaskDirectories.txt",
                                                 "ContestantDirectories.txt", "Contest.result"}));
  for (zip_int32_t method : a.Methods) EXPECT_EQ(method, ZIP_CM_DEFLATE);
  EXPECT_EQ(a.Bytes("Contestants/An/Bai1.cpp"), "int main(){}\n");
  EXPECT_EQ(a.Bytes("TaskDirectories.txt"), kBom + "Bai1\r\nBai2\r\nBai1\\01\r\nBai1\\02\r\n");
  EXPECT_EQ(a.Bytes("ContestantDirectories.txt"), kBom + "An\r\nBinh\r\n");
  EXPECT_EQ(a.Bytes("Tasks.config").substr(0, 1), "\x78");
  EXPECT_EQ(a.Bytes("Contest.result").substr(0, 1), "\x78");
  // The date written out, the time as the (here C) locale writes it.
  EXPECT_TRUE(std::regex_match(a.Comment, std::regex("Contest created on [A-Z][a-z]+day, [A-Z][a-z]+ [0-9]{1,2}, "
                                                     "[0-9]{4}  [0-9]{2}:[0-9]{2}:[0-9]{2}")))
      << a.Comment;

  EXPECT_EQ(progress_->Calls,
            (std::vector<std::string>{"Create", "Caption Nén kỳ thi...", "Show", "Values 0 100 0", "Sub Tiến trình",
                                      "Values 0 4 0", "Sub Tasks/Bai1/01/Bai1.INP", "Pos 1",
                                      "Sub Tasks/Bai1/01/Bai1.OUT", "Pos 2", "Sub Contestants/An/Bai1.cpp", "Pos 3",
                                      "Sub Ghi kỳ thi...", "Pos 4", "Free"}));
  EXPECT_EQ(polls_, 4);  // once to forget earlier presses, then before each file
  EXPECT_EQ(TreeListing(work_.Path()), (std::vector<std::string>{"c.contest"}));  // no temporary left
}

// A jury whose locale keeps its texts in a legacy 8-bit character set
// (Vietnamese in TCVN 5712, where every month is a "Tháng"): the day and
// month names of the archive comment still have to make a valid archive.
TEST_F(ArchiveTest, CommentIsUtf8WhateverTheLocaleCharacterSet) {
  const char* kLocale = "vi_VN.TCVN5712-1";
  TempFolder locales;
  const std::string compile = "localedef -i vi_VN -f TCVN5712-1 '" + locales / kLocale + "' >/dev/null 2>&1";
  if (std::system(compile.c_str()) != 0 && !Exists(locales / kLocale + "/LC_TIME"))
    GTEST_SKIP() << "cannot compile a locale with localedef";
  const char* previousPath = std::getenv("LOCPATH");
  const std::string savedPath = previousPath ? previousPath : "";
  const std::string savedLocale = std::setlocale(LC_ALL, nullptr);
  ::setenv("LOCPATH", locales.Path().c_str(), 1);
  const bool switched = std::setlocale(LC_ALL, kLocale) != nullptr;

  BuildSmallContest();
  const bool saved = switched && contest_.FileSave(ArchivePath());

  std::setlocale(LC_ALL, savedLocale.c_str());
  if (previousPath)
    ::setenv("LOCPATH", savedPath.c_str(), 1);
  else
    ::unsetenv("LOCPATH");
  if (!switched) GTEST_SKIP() << "the compiled locale cannot be used";
  ASSERT_TRUE(saved);
  const std::string comment = ReadArchive(ArchivePath()).Comment;
  EXPECT_TRUE(comment.starts_with("Contest created on Th")) << comment;
  EXPECT_NE(comment.find("Tháng "), std::string::npos) << comment;  // the month, in UTF-8
}

TEST_F(ArchiveTest, EmptyContestHoldsOnlyTheFixedEntries) {
  ASSERT_TRUE(contest_.FileSave(ArchivePath("sub/dir/empty.contest")));  // its folder is created
  const TArchiveContents a = ReadArchive(ArchivePath("sub/dir/empty.contest"));
  EXPECT_EQ(a.Names(), (std::vector<std::string>{"Tasks.config", "TaskDirectories.txt",
                                                 "ContestantDirectories.txt", "Contest.result"}));
  EXPECT_EQ(a.Bytes("TaskDirectories.txt"), kBom);
  EXPECT_EQ(a.Bytes("ContestantDirectories.txt"), kBom);

  ASSERT_TRUE(contest_.FileLoad(ArchivePath("sub/dir/empty.contest")));
  EXPECT_EQ(contest_.ExamSet().Count(), 0);
  EXPECT_EQ(contest_.ResultSet().Count(), 0);
}

TEST_F(ArchiveTest, SaveAndOpenGiveTheSameContest) {
  BuildSmallContest();
  tree_.AddContestant("Chi", {{"Bai2.pas", "begin end."}});
  tree_.AddContestant("Nguyễn Văn Ánh", {{"Bài làm.txt", "ghi chú"}});
  contest_.ResultSet().Refresh();
  TExamInfo* bai1 = contest_.ExamSet().Obj("Bai1");
  bai1->Mark = 2.5;
  bai1->TimeLimit = 0.5;
  bai1->InputFile = "Bai1.INP|extra.txt";
  bai1->UseStdOut = true;
  bai1->Obj("02")->MemoryLimit = 64;
  TResultC* an = contest_.ResultSet().Obj("An");
  TResultE* re = an->ObjF("Bai1");
  re->state = jsJudged;
  re->Evaluation = 2.5;
  re->EvaluationText = "Bai1.cpp\r\n";
  re->ObjF("01")->Evaluation = 2.5;
  re->ObjF("01")->EvaluationText = "Đúng";
  an->ObjF("Bai2")->state = jsCompileError;
  an->UpdateScore();
  an->Enabled = false;

  ASSERT_TRUE(contest_.FileSave(ArchivePath()));
  contest_.SetFileName("kept?");
  TContestInfo opened;
  ASSERT_TRUE(opened.FileLoad(ArchivePath()));
  EXPECT_EQ(opened.FileName(), "");

  // Both trees come back, empty folders included, in the unpack folder.
  EXPECT_EQ(opened.ExamSet().Dir(), UnpackFolder() + "/Tasks/");
  EXPECT_EQ(opened.ResultSet().Dir(), UnpackFolder() + "/Contestants/");
  EXPECT_EQ(TreeListing(UnpackFolder() + "/Tasks"), TreeListing(tree_.TasksDir()));
  EXPECT_EQ(TreeListing(UnpackFolder() + "/Contestants"), TreeListing(tree_.ContestantsDir()));
  EXPECT_EQ(ReadText(UnpackFolder() + "/Contestants/Chi/Bai2.pas"), "begin end.");
  EXPECT_EQ(ReadText(UnpackFolder() + "/Contestants/Nguyễn Văn Ánh/Bài làm.txt"), "ghi chú");

  // The exams with the settings of the saved contest, not of the folders.
  ASSERT_EQ(opened.ExamSet().Count(), 2);
  const TExamInfo* b = opened.ExamSet().Obj("Bai1");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Mark, 2.5);
  EXPECT_EQ(b->TimeLimit, 0.5);
  EXPECT_EQ(b->InputFile, "Bai1.INP|extra.txt");
  EXPECT_TRUE(b->UseStdOut);
  ASSERT_EQ(b->Count(), 2);
  EXPECT_EQ(b->Obj("02")->MemoryLimit, 64);
  EXPECT_EQ(b->Obj("01")->MemoryLimit, -1);
  EXPECT_EQ(opened.ExamSet().Obj("Bai2")->Count(), 0);

  // The contestants with their results and totals, all enabled.
  ASSERT_EQ(opened.ResultSet().Count(), 4);
  const TResultC* a2 = opened.ResultSet().Obj("An");
  EXPECT_TRUE(a2->Enabled);
  EXPECT_EQ(a2->Evaluation, 2.5);
  EXPECT_EQ(a2->Obj("Bai1")->state, jsJudged);
  EXPECT_EQ(a2->Obj("Bai1")->EvaluationText, "Bai1.cpp\r\n");
  EXPECT_EQ(a2->Obj("Bai1")->Obj("01")->EvaluationText, "Đúng");
  EXPECT_EQ(a2->Obj("Bai2")->state, jsCompileError);
  EXPECT_EQ(opened.ResultSet().Obj("Binh")->Count(), 0);

  EXPECT_EQ(progress_->Calls.back(), "Free");
}

TEST_F(ArchiveTest, ProgressOfOpening) {
  BuildSmallContest();
  ASSERT_TRUE(contest_.FileSave(ArchivePath()));
  progress_->Calls.clear();
  ASSERT_TRUE(contest_.FileLoad(ArchivePath()));
  const std::vector<std::string> expected = {
      "Create", "Values 0 100 0", "Caption Giải nén kỳ thi...", "Sub Tiến trình", "Show", "Values 0 7 0",
      "Sub Tasks/Bai1/01/Bai1.INP", "Pos 1", "Sub Tasks/Bai1/01/Bai1.OUT", "Pos 2", "Sub Contestants/An/Bai1.cpp",
      "Pos 3", "Sub Tasks.config", "Pos 4", "Sub TaskDirectories.txt", "Pos 5", "Sub ContestantDirectories.txt",
      "Pos 6", "Sub Contest.result", "Pos 7", "Sub Nạp kỳ thi...", "Free"};
  EXPECT_EQ(progress_->Calls, expected);
}

TEST_F(ArchiveTest, HandMadeArchiveTakesSettingsFromTheExamFolders) {
  const std::string settings = Compressed(
      R"(<ExamInformation Name="Bai1" InputFile="in.txt" Mark="3" TimeLimit="2"><TestCase Name="02" Mark="5"/></ExamInformation>)");
  WriteArchive(ArchivePath(), {
      {"Tasks/Bai1/Settings.cfg", settings},
      {"Tasks/Bai1/01/in.txt", "1"},
      {"Tasks\\Bai1\\03\\in.txt", "3"},  // "\" separates folders as well
      {"Contestants/An/Bai1.cpp", "src"},
      {"TaskDirectories.txt", kBom + "Bai1\r\n  Bai1\\02 \r\n\r\nBai2\n"},
      {"ContestantDirectories.txt", kBom + "An\r\nBinh\r\n"},
  });
  ASSERT_TRUE(contest_.FileLoad(ArchivePath()));

  ASSERT_EQ(contest_.ExamSet().Count(), 2);
  const TExamInfo* b = contest_.ExamSet().Obj("Bai1");
  EXPECT_EQ(b->InputFile, "in.txt");
  EXPECT_EQ(b->Mark, 3);
  EXPECT_EQ(b->TimeLimit, 2);
  ASSERT_EQ(b->Count(), 3);
  EXPECT_EQ(b->Obj("02")->Mark, 5);
  EXPECT_EQ(ReadText(UnpackFolder() + "/Tasks/Bai1/03/in.txt"), "3");
  ASSERT_EQ(contest_.ResultSet().Count(), 2);
  EXPECT_EQ(contest_.ResultSet().Obj("An")->Count(), 0);
  EXPECT_EQ(contest_.ResultSet().Obj("Binh")->Count(), 0);
}

TEST_F(ArchiveTest, EscWhileSavingKeepsTheOldArchive) {
  BuildSmallContest();
  // No archive before: none after.
  escapeAtPoll_ = 3;  // before the second file
  EXPECT_FALSE(contest_.FileSave(ArchivePath()));
  EXPECT_EQ(TreeListing(work_.Path()), std::vector<std::string>{});
  EXPECT_EQ(progress_->Calls.back(), "Free");

  // An archive before: the same bytes after, and nothing beside it.
  WriteText(ArchivePath(), "the old archive");
  polls_ = 0;
  EXPECT_FALSE(contest_.FileSave(ArchivePath()));
  EXPECT_EQ(ReadText(ArchivePath()), "the old archive");
  EXPECT_EQ(TreeListing(work_.Path()), (std::vector<std::string>{"c.contest"}));

  // The contest in memory is untouched, and a save without Esc replaces it.
  EXPECT_EQ(contest_.ExamSet().Dir(), tree_.TasksDir() + "/");
  EXPECT_EQ(contest_.ResultSet().Count(), 2);
  escapeAtPoll_ = 0;
  EXPECT_TRUE(contest_.FileSave(ArchivePath()));
  EXPECT_EQ(ReadArchive(ArchivePath()).Entries.size(), 7u);
}

TEST_F(ArchiveTest, FailedSaveKeepsTheOldArchive) {
  BuildSmallContest();
  WriteText(ArchivePath(), "the old archive");
  WriteText(tree_.ContestantsDir() + "/An/gone.cpp", "x");
  // A file that vanishes between the listing and the packing fails the save.
  struct TDeleteWhilePacking : TRecordingProgress {
    std::string Victim;
    void SetSubCaption(const std::string& Text) override {
      if (Text == "Tasks/Bai1/01/Bai1.OUT") fs::remove(Victim);
    }
  };
  auto hook = std::make_shared<TDeleteWhilePacking>();
  hook->Victim = tree_.ContestantsDir() + "/An/gone.cpp";
  SetProgressWindow(hook);
  EXPECT_FALSE(contest_.FileSave(ArchivePath()));
  EXPECT_EQ(ReadText(ArchivePath()), "the old archive");
  EXPECT_EQ(TreeListing(work_.Path()), (std::vector<std::string>{"c.contest"}));
  // Vietnamese first; libzip's own words only as the detail after it.
  EXPECT_TRUE(contest_.ErrorMsg().starts_with("Không lưu được kỳ thi vào file \"" + ArchivePath() + "\". "))
      << contest_.ErrorMsg();
}

// Names Linux allows but the archive cannot give back as they are: the
// save refuses them, names them, and writes nothing.
TEST_F(ArchiveTest, NamesThatCannotComeBackRefuseTheSave) {
  BuildSmallContest();
  ASSERT_TRUE(contest_.FileSave(ArchivePath()));
  const std::string old = ReadText(ArchivePath());
  struct Case {
    const char* Make;    // a folder (ending in "/") or a file, below the contest's root
    const char* Named;   // as the message names it
  };
  const Case cases[] = {
      {"Contestants/C:drive/Bai1.cpp", "Contestants/C:drive"},
      {"Tasks/Bai1/0\t3/", "Tasks/Bai1/0\t3"},
      {"Contestants/Chi\nx/Bai1.cpp", "Contestants/Chi\nx"},
      {"Contestants/An/a\\b.cpp", "Contestants/An/a\\b.cpp"},
      {"Tasks/Bai1/04 /", "Tasks/Bai1/04 "},
      {"Contestants/\x7f/", "Contestants/\x7f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Named);
    const std::string made = tree_.Path(c.Make);
    if (made.back() == '/')
      fs::create_directories(made);
    else
      WriteText(made, "x");
    EXPECT_FALSE(contest_.FileSave(ArchivePath()));
    EXPECT_TRUE(contest_.ErrorMsg().starts_with("Không lưu kỳ thi vào file")) << contest_.ErrorMsg();
    EXPECT_NE(contest_.ErrorMsg().find("\"" + std::string(c.Named) + "\""), std::string::npos) << contest_.ErrorMsg();
    EXPECT_EQ(ReadText(ArchivePath()), old);
    EXPECT_EQ(TreeListing(work_.Path()), (std::vector<std::string>{"c.contest"}));
    fs::remove_all(tree_.Path(c.Named));
  }
  // Nothing too eager: such characters are harmless below the first level,
  // inside names, or when the folder list never holds the name.
  WriteText(tree_.Path("Tasks/Bai1/C:x/in.txt"), "1");
  WriteText(tree_.Path("Contestants/An/a b:c.cpp"), "2");
  ASSERT_TRUE(contest_.FileSave(ArchivePath())) << contest_.ErrorMsg();
  ASSERT_TRUE(contest_.FileLoad(ArchivePath()));
  EXPECT_EQ(ReadText(UnpackFolder() + "/Tasks/Bai1/C:x/in.txt"), "1");
  EXPECT_EQ(ReadText(UnpackFolder() + "/Contestants/An/a b:c.cpp"), "2");
}

// Names in a legacy 8-bit character set (Linux allows any bytes): entries
// and folder lists agree, and both give the same bytes back.
TEST_F(ArchiveTest, NonUtf8NamesComeBackByteForByte) {
  BuildSmallContest();
  tree_.AddContestant("An\xE0", {{"b\xE0i.cpp", "int main(){}"}});
  tree_.AddTest("Bai1", "\xF0\xE0");  // an empty test folder: only in the folder list
  ASSERT_TRUE(contest_.FileSave(ArchivePath())) << contest_.ErrorMsg();

  const std::vector<std::string> names = RawNames(ArchivePath());
  EXPECT_NE(std::find(names.begin(), names.end(), "Contestants/An\xE0/b\xE0i.cpp"), names.end());
  EXPECT_NE(ReadArchive(ArchivePath()).Bytes("ContestantDirectories.txt").find("\r\nAn\xE0\r\n"), std::string::npos);

  TempFolder unpacked;
  ASSERT_TRUE(ExtractArchive(ArchivePath(), unpacked.Path()));
  EXPECT_EQ(ReadText(unpacked / "Contestants/An\xE0/b\xE0i.cpp"), "int main(){}");
  EXPECT_EQ(TreeListing(unpacked / "Contestants"),
            (std::vector<std::string>{"An/", "An/Bai1.cpp", "An\xE0/", "An\xE0/b\xE0i.cpp"}));
  EXPECT_NE(ReadText(unpacked / "TaskDirectories.txt").find("Bai1\\\xF0\xE0\r\n"), std::string::npos);
}

// Archives that would fill the disk: one that declares more than there is
// room for, one that inflates far beyond what it declares. Both stop with
// a Vietnamese message and leave nothing behind, whatever came before.
TEST_F(ArchiveTest, UnpackingStaysWithinTheDisk) {
  constexpr std::uint64_t kMB = 1 << 20;
  std::uint64_t freeSpace = 0;
  const TFreeSpaceProbe previous = SetFreeSpaceProbe([&](const std::string&) { return freeSpace; });
  struct Case {
    const char* Why;
    std::uint64_t BombBytes;          // zeros, deflated to almost nothing
    std::optional<std::uint32_t> Declared;  // what the archive claims instead
    std::uint64_t Free;
    const char* Message;
  };
  const Case cases[] = {
      {"declares more than the free space", 3 * kMB, std::nullopt, kUnpackSpareBytes + 2 * kMB,
       "Không đủ chỗ trống để giải nén file kỳ thi"},
      {"inflates beyond its declared size", 24 * kMB, 1000, kUnpackSpareBytes + 100 * kMB,
       "bung ra nhiều hơn kích thước đã khai báo (1000 byte)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Why);
    WriteArchive(ArchivePath(), {{"Tasks/Bai1/01/in.txt", "written first"},
                                 {"Tasks/bomb", std::string(c.BombBytes, '\0')},
                                 {"TaskDirectories.txt", kBom + "Bai1\r\n"}});
    if (c.Declared) PatchDeclaredSize(ArchivePath(), "Tasks/bomb", *c.Declared);
    EXPECT_LT(fs::file_size(ArchivePath()), 64 * 1024u);
    freeSpace = c.Free;
    TempFolder unpacked;
    try {
      ExtractArchive(ArchivePath(), unpacked.Path());
      ADD_FAILURE() << "unpacked";
    } catch (const std::exception& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(c.Message), std::string::npos) << message;
      EXPECT_TRUE(message.starts_with("Không") || message.starts_with("Mục")) << message;
    }
    EXPECT_EQ(TreeListing(unpacked.Path()), std::vector<std::string>{});
  }
  // The sizes the jury needs to act on: what is needed, the spare part of
  // it, and what is free.
  freeSpace = kUnpackSpareBytes + 2 * kMB;
  WriteArchive(ArchivePath(), {{"Tasks/bomb", std::string(3 * kMB, '\0')}});
  TempFolder unpacked;
  try {
    ExtractArchive(ArchivePath(), unpacked.Path());
    ADD_FAILURE() << "unpacked";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("cần 67 MB (gồm 64 MB dự phòng), thư mục \"" + unpacked.Path() +
                                         "\" chỉ còn 66 MB trống"),
              std::string::npos)
        << e.what();
  }
  // With room enough, the same archive unpacks.
  freeSpace = kUnpackSpareBytes + 3 * kMB;
  EXPECT_TRUE(ExtractArchive(ArchivePath(), unpacked.Path()));
  EXPECT_EQ(fs::file_size(unpacked / "Tasks/bomb"), 3 * kMB);
  SetFreeSpaceProbe(previous);
}

// Every English text libzip or the C library could have appended.
std::string LibraryEnglishIn(const std::string& Message) {
  std::vector<std::string> english;
  for (int code = 1; code <= ZIP_ER_CANCELLED; ++code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    english.push_back(zip_error_strerror(&error));
    zip_error_fini(&error);
  }
  for (int err : {EINVAL, EIO, ENOENT, EACCES, ENOSPC}) english.push_back(std::strerror(err));
  for (const char* zlib : {"incorrect header check", "invalid", "data check", "zlib", "Zlib"}) english.push_back(zlib);
  std::string found;
  for (const std::string& text : english)
    if (Message.find(text) != std::string::npos) found += " [" + text + "]";
  return found;
}

TEST_F(ArchiveTest, DamagedArchiveIsToldInVietnameseWithoutTheLibrarysEnglish) {
  // A real archive whose one entry's compressed bytes are spoiled.
  const std::string spoiled = (work_ / "spoiled.contest");
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "dòng " + std::to_string(i * 7919 % 1000) + "\n";
  WriteArchive(spoiled, {{"Tasks/A/1/A.INP", text}});
  std::string bytes = ReadText(spoiled);
  for (std::size_t at = 60; at < 160; at += 7) bytes[at] = static_cast<char>(~bytes[at]);
  WriteText(spoiled, bytes);

  const struct {
    std::string Path, Bytes, Says;
  } cases[] = {
      {ArchivePath(), "PK\x03\x04 but nothing more", "\": file bị hỏng hoặc không phải file kỳ thi (không phải file ZIP)."},
      {work_ / "plain.contest", "not an archive at all", "(không phải file ZIP)."},
      {spoiled, "", "Không đọc được mục \"Tasks/A/1/A.INP\" của file kỳ thi (lỗi giải nén: dữ liệu nén bị hỏng)."},
  };
  for (const auto& c : cases) {
    if (!c.Bytes.empty()) WriteText(c.Path, c.Bytes);
    TempFolder unpacked;
    try {
      ExtractArchive(c.Path, unpacked.Path());
      ADD_FAILURE() << c.Path << " unpacked";
    } catch (const std::exception& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(c.Says), std::string::npos) << message;
      EXPECT_EQ(LibraryEnglishIn(message), "") << message;
    }
  }
}

// What crashed saves leave: libzip's "c.contest.XXXXXX" of old, our
// ".c.contest.XXXXXX", ".Settings.cfg.XXXXXX" in exam folders. The next
// save into the archive's folder removes the stale ones there; no save
// packs any of them.
TEST_F(ArchiveTest, LeftoversOfCrashedSavesAreClearedAndNeverPacked) {
  BuildSmallContest();
  const int stale = 2 * 60 * 60, fresh = 30;
  struct Leftover {
    std::string Path;
    int Age;
    bool Held;  // by a save in progress
    bool Stays;
  };
  const std::vector<Leftover> leftovers = {
      {work_ / "c.contest.aB3dE5", stale, false, false},
      {work_ / ".c.contest.Zx81Qp", stale, false, false},
      {work_ / "other.contest.k2L9m0", stale, false, false},
      {work_ / ".c.contest.k1LLed", fresh, false, false},  // however young
      {work_ / ".c.contest.n0w123", fresh, true, true},
      {work_ / ".other.contest.0ld000", stale, true, true},  // however old
      {work_ / "c.contest.bak", stale, false, true},         // not the pattern
      {work_ / "notes.contest.txt", stale, false, true},
  };
  std::vector<platform::UniqueFd> holds;
  for (const Leftover& l : leftovers) {
    WriteText(l.Path, "half an archive");
    AgeFile(l.Path, l.Age);
    if (!l.Held) continue;
    holds.emplace_back(::open(l.Path.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(platform::TryLockExclusive(holds.back().Get()));
  }
  WriteText(tree_.TasksDir() + "/Bai1/.Settings.cfg.Q1w2E3", "half settings");
  WriteText(tree_.TasksDir() + "/Bai1/01/.settings.cfg.R4t5Y6", "half settings");
  WriteText(tree_.ContestantsDir() + "/An/.c.contest.abcDEF", "an archive saved inside the tree");
  WriteText(tree_.ContestantsDir() + "/An/x.contest.ABC123", "libzip's");

  ASSERT_TRUE(contest_.FileSave(ArchivePath())) << contest_.ErrorMsg();
  for (const Leftover& l : leftovers) EXPECT_EQ(Exists(l.Path), l.Stays) << l.Path;
  EXPECT_EQ(ReadArchive(ArchivePath()).Names(),
            (std::vector<std::string>{"Tasks/Bai1/01/Bai1.INP", "Tasks/Bai1/01/Bai1.OUT", "Contestants/An/Bai1.cpp",
                                      "Tasks.config", "TaskDirectories.txt", "ContestantDirectories.txt",
                                      "Contest.result"}));
}

// A save killed midway (a crash, a power cut) leaves the old archive whole
// and only a temporary of ours beside it. While its save runs, the
// temporary is held and another save leaves it alone; once the process is
// gone, the next save clears it at once.
TEST_F(ArchiveTest, KilledSaveLeavesTheOldArchiveAndOurTemporary) {
  BuildSmallContest();
  ASSERT_TRUE(contest_.FileSave(ArchivePath()));
  ASSERT_EQ(::chmod(ArchivePath().c_str(), 0640), 0);
  const std::string old = ReadText(ArchivePath());

  int packing[2];
  ASSERT_EQ(::pipe(packing), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Stops in the middle of packing until it is killed.
    struct TStopWhilePacking : TRecordingProgress {
      int Fd = -1;
      void SetSubCaption(const std::string& Text) override {
        if (Text != "Contestants/An/Bai1.cpp") return;
        if (::write(Fd, "p", 1) != 1) ::_exit(1);
        for (;;) ::pause();
      }
    };
    auto stop = std::make_shared<TStopWhilePacking>();
    stop->Fd = packing[1];
    SetProgressWindow(stop);
    contest_.FileSave(ArchivePath());
    ::_exit(0);
  }
  ::close(packing[1]);
  char signal = 0;
  const bool stopped = ::read(packing[0], &signal, 1) == 1;
  ::close(packing[0]);
  if (!stopped) ::kill(child, SIGKILL);
  ASSERT_TRUE(stopped) << "the child's save never reached its packing";

  const auto temporaries = [this] {
    std::vector<std::string> found;
    for (const std::string& name : TreeListing(work_.Path()))
      if (std::regex_match(name, std::regex("\\.c\\.contest\\.[A-Za-z0-9]{6}"))) found.push_back(name);
    return found;
  };
  const std::vector<std::string> running = temporaries();
  ASSERT_EQ(running.size(), 1u);
  EXPECT_EQ(ReadText(ArchivePath()), old);
  // The save in progress holds its temporary: another save leaves it be.
  ASSERT_TRUE(contest_.FileSave(ArchivePath())) << contest_.ErrorMsg();
  EXPECT_EQ(temporaries(), running);
  const std::string saved = ReadText(ArchivePath());

  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_EQ(ReadText(ArchivePath()), saved);
  EXPECT_NE(saved, std::string());
  EXPECT_EQ(temporaries(), running);  // what the killed save left

  // The next save removes it at once, however young.
  ASSERT_TRUE(contest_.FileSave(ArchivePath()));
  EXPECT_EQ(TreeListing(work_.Path()), (std::vector<std::string>{"c.contest"}));
  EXPECT_EQ(ReadArchive(ArchivePath()).Entries.size(), 7u);
  struct stat st {};
  ASSERT_EQ(::stat(ArchivePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);  // the replaced archive's permissions
}

TEST_F(ArchiveTest, LinksPipesAndSocketsAreNoPartOfTheTree) {
  BuildSmallContest();
  ASSERT_EQ(::symlink("/etc/hostname", (tree_.ContestantsDir() + "/An/link.cpp").c_str()), 0);
  ASSERT_EQ(::symlink("/etc", (tree_.TasksDir() + "/Bai1/03").c_str()), 0);
  // A pipe would fail the whole save, every time.
  ASSERT_EQ(::mkfifo((tree_.ContestantsDir() + "/An/pipe.cpp").c_str(), 0644), 0);
  ASSERT_TRUE(contest_.FileSave(ArchivePath()));
  const TArchiveContents a = ReadArchive(ArchivePath());
  EXPECT_EQ(a.Entries.size(), 7u);
  EXPECT_EQ(a.Bytes("TaskDirectories.txt"), kBom + "Bai1\r\nBai2\r\nBai1\\01\r\nBai1\\02\r\n");
}

TEST_F(ArchiveTest, ArchiveSavedInsideItsOwnTreeLeavesItselfOut) {
  BuildSmallContest();
  const std::string inside = tree_.ContestantsDir() + "/An/c.contest";
  ASSERT_TRUE(contest_.FileSave(inside));
  ASSERT_TRUE(contest_.FileSave(inside));
  const std::vector<std::string> names = ReadArchive(inside).Names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "Contestants/An/c.contest"), 0);
  EXPECT_EQ(names.size(), 7u);
}

TEST_F(ArchiveTest, EscWhileOpeningLeavesAnEmptyContest) {
  BuildSmallContest();
  ASSERT_TRUE(contest_.FileSave(ArchivePath()));
  polls_ = 0;
  escapeAtPoll_ = 3;  // the first poll forgets, the second passes the first entry
  progress_->Calls.clear();
  EXPECT_FALSE(contest_.FileLoad(ArchivePath()));
  EXPECT_EQ(contest_.ExamSet().Count(), 0);
  EXPECT_EQ(contest_.ResultSet().Count(), 0);
  EXPECT_EQ(contest_.ExamSet().Dir(), "");
  EXPECT_EQ(progress_->Calls.back(), "Free");
  EXPECT_EQ(TreeListing(UnpackFolder()), (std::vector<std::string>{"Tasks/", "Tasks/Bai1/", "Tasks/Bai1/01/",
                                                                    "Tasks/Bai1/01/Bai1.INP"}));
}

TEST_F(ArchiveTest, MissingOrDamagedFileFails) {
  EXPECT_FALSE(contest_.FileLoad(ArchivePath("none.contest")));
  EXPECT_TRUE(progress_->Calls.empty());  // no window for a missing file

  WriteText(ArchivePath(), "PK\x03\x04 but nothing more");
  EXPECT_FALSE(contest_.FileLoad(ArchivePath()));
  EXPECT_EQ(progress_->Calls.back(), "Free");
}

TEST_F(ArchiveTest, UnpackFolderFallsBackWhenInUse) {
  BuildSmallContest();
  // The archive lies inside the unpack folder of an earlier contest.
  const std::string inside = UnpackFolder() + "/c.contest";
  ASSERT_TRUE(contest_.FileSave(inside));
  ASSERT_TRUE(contest_.FileLoad(inside));
  EXPECT_TRUE(Exists(inside));
  EXPECT_EQ(contest_.ExamSet().Dir(), UnpackFolder() + "1/Tasks/");

  // "VelkorContest" cannot be deleted (another program holds it): the next
  // free number is taken; "VelkorContest1" is deleted and reused.
  const std::string stuck = UnpackFolder();
  const TShellDeleteProc previous = ShellDeleteProc;
  ShellDeleteProc = [&](const std::string& Path) { return Path == stuck ? -EBUSY : previous(Path); };
  WriteText(UnpackFolder() + "1/stale.txt", "from before");
  const bool opened = contest_.FileLoad(inside);
  ShellDeleteProc = previous;
  ASSERT_TRUE(opened);
  EXPECT_EQ(contest_.ExamSet().Dir(), UnpackFolder() + "1/Tasks/");
  EXPECT_FALSE(Exists(UnpackFolder() + "1/stale.txt"));
  EXPECT_TRUE(Exists(inside));

  // Nothing holds the plain folder any more: it is deleted and used again.
  const std::string elsewhere = ArchivePath();
  fs::copy_file(inside, elsewhere);
  ASSERT_TRUE(contest_.FileLoad(elsewhere));
  EXPECT_EQ(contest_.ExamSet().Dir(), UnpackFolder() + "/Tasks/");
  EXPECT_FALSE(Exists(inside));
}

TEST_F(ArchiveTest, HostileArchivesAreRefusedWhole) {
  const std::string outside = work_ / "outside";  // beside the unpack base
  struct Case {
    const char* Why;
    std::vector<TEntry> Entries;
  };
  const std::vector<Case> cases = {
      {"parent folder", {{"Tasks/a.txt", "ok"}, {"../evil", "x"}}},
      {"parent of the base", {{"../../outside/evil", "x"}}},
      {"climbs back out", {{"Tasks/../../evil", "x"}}},
      {"backslashes", {{"Tasks\\..\\..\\evil", "x"}}},
      {"absolute", {{outside + "/evil", "x"}}},
      {"drive", {{"C:/evil", "x"}}},
      {"symbolic link", {{"Tasks/link", outside, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Why);
    WriteArchive(ArchivePath(), c.Entries);
    EXPECT_FALSE(contest_.FileLoad(ArchivePath()));
    EXPECT_FALSE(Exists(UnpackBase() + "evil"));
    EXPECT_FALSE(Exists(work_ / "evil"));
    EXPECT_FALSE(Exists(outside));
    // Refused before anything is written.
    EXPECT_EQ(TreeListing(UnpackFolder()), std::vector<std::string>{});
  }
}

TEST_F(ArchiveTest, FolderListsCannotLeaveTheirTree) {
  for (const char* line : {"..\\..\\..\\escape", "../../../escape", "Bai1\\..\\..\\..\\escape", "/escape"}) {
    SCOPED_TRACE(line);
    WriteArchive(ArchivePath(), {{"TaskDirectories.txt", kBom + "Bai1\r\n" + line + "\r\n"}});
    EXPECT_FALSE(contest_.FileLoad(ArchivePath()));
    EXPECT_FALSE(Exists(work_ / "escape"));
    EXPECT_FALSE(Exists(UnpackBase() + "escape"));
    EXPECT_FALSE(Exists("/escape"));
  }
}

TEST_F(ArchiveTest, UnsafeContestantNamesInResultsAreSkipped) {
  const std::string results = Compressed(
      R"(<ContestResult><ContestantResult ContestantName=".." Evaluation="1"/>)"
      R"(<ContestantResult ContestantName="a/b" Evaluation="1"/><ContestantResult ContestantName="An" Evaluation="2"/></ContestResult>)");
  WriteArchive(ArchivePath(), {{"Contestants/An/x.cpp", "x"}, {"Contest.result", results}});
  ASSERT_TRUE(contest_.FileLoad(ArchivePath()));
  ASSERT_EQ(contest_.ResultSet().Count(), 1);
  EXPECT_EQ(contest_.ResultSet().Obj("An")->Evaluation, 2);
}

// Two entries with one name: only one could be kept, so the archive is
// refused as damaged, naming the entry, before anything is written. libzip
// will not write such an archive: the second name is patched in.
TEST_F(ArchiveTest, TwoEntriesWithOneNameAreADamagedArchive) {
  const std::string results = Compressed(R"(<ContestResult><ContestantResult ContestantName="An"/></ContestResult>)");
  struct Case {
    const char* Why;
    std::vector<TEntry> Entries;
    std::string Written, Patched;  // the second name as written, as patched
    std::string Named;
  };
  const std::vector<Case> cases = {
      {"a second, empty results document",
       {{"Contestants/An/x.cpp", "x"}, {"Contest.result", results}, {"Contest.resulX", ""}},
       "Contest.resulX", "Contest.result", "Contest.result"},
      {"one file under two spellings",
       {{"Contestants/An/x.cpp", "old"}, {"Contestants\\An\\y.cpp", "new"}},
       "Contestants\\An\\y.cpp", "Contestants\\An\\x.cpp", "Contestants\\An\\x.cpp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Why);
    WriteArchive(ArchivePath(), c.Entries);
    std::string bytes = ReadText(ArchivePath());
    for (std::size_t at; (at = bytes.find(c.Written)) != std::string::npos;)
      bytes.replace(at, c.Written.size(), c.Patched);
    WriteText(ArchivePath(), bytes);
    ASSERT_EQ(RawNames(ArchivePath()).size(), c.Entries.size());

    EXPECT_FALSE(contest_.FileLoad(ArchivePath()));
    EXPECT_EQ(contest_.ErrorMsg(), "File kỳ thi \"" + ArchivePath() + "\" bị hỏng: có hai mục cùng tên \"" + c.Named +
                                       "\" (chỉ giữ được một); không giải nén file này.");
    EXPECT_EQ(TreeListing(UnpackFolder()), std::vector<std::string>{});
  }
}

// A file that runs by itself (a contestant's ready-made program) comes
// back runnable; no other permission travels with it. An archive without
// modes opens with nothing runnable.
TEST_F(ArchiveTest, RunnableFilesStayRunnableAndNothingMore) {
  BuildSmallContest();
  const std::string program = tree_.ContestantsDir() + "/An/Bai2.exe";
  WriteText(program, "#!/bin/sh\necho 3\n");
  ASSERT_EQ(::chmod(program.c_str(), 06777), 0);  // set-user-ID, set-group-ID, written by anyone
  ASSERT_EQ(::chmod((tree_.ContestantsDir() + "/An/Bai1.cpp").c_str(), 0600), 0);
  ASSERT_TRUE(contest_.FileSave(ArchivePath()));

  auto modeOf = [](const std::string& Path) {
    struct stat st {};
    EXPECT_EQ(::stat(Path.c_str(), &st), 0) << Path;
    return st.st_mode & 07777;
  };
  struct TUmask {
    mode_t Previous = ::umask(022);
    ~TUmask() { ::umask(Previous); }
  } umask022;
  ASSERT_TRUE(contest_.FileLoad(ArchivePath()));
  EXPECT_EQ(modeOf(UnpackFolder() + "/Contestants/An/Bai2.exe"), 0755u);
  EXPECT_EQ(modeOf(UnpackFolder() + "/Contestants/An/Bai1.cpp"), 0644u);
  EXPECT_EQ(modeOf(UnpackFolder() + "/Tasks/Bai1/01/Bai1.INP"), 0644u);

  WriteArchive(ArchivePath(), {{"Contestants/An/Bai2.exe", "#!/bin/sh\necho 3\n"}});
  ASSERT_TRUE(contest_.FileLoad(ArchivePath()));
  EXPECT_EQ(modeOf(UnpackFolder() + "/Contestants/An/Bai2.exe"), 0644u);
}

// A contest opened from an archive keeps what online judging accepts only
// in its unpack folder. Velkor killed before the save: opening the archive
// again moves that folder aside instead of deleting it, and says where.
// Once saved, or given up by the jury, nothing is kept.
TEST_F(ArchiveTest, UnsavedChangesOfAnUnpackedContestAreKeptAside) {
  BuildSmallContest();
  ASSERT_TRUE(contest_.FileSave(ArchivePath()));
  auto keptFolders = [this] {
    std::vector<std::string> kept;
    for (const fs::directory_entry& e : fs::directory_iterator(UnpackBase()))
      if (e.path().filename().string().starts_with(kKeptUnpackFolderName)) kept.push_back(e.path().string());
    std::sort(kept.begin(), kept.end());
    return kept;
  };
  auto acceptOnline = [](TContestInfo& Contest, const std::string& Text) {
    Contest.NoteUnsavedChange();
    WriteText(Contest.ResultSet().Dir() + "Binh/Bai1.cpp", Text);
  };

  for (const char* text : {"accepted before the first crash", "accepted before the second crash"}) {
    TContestInfo session;
    ASSERT_TRUE(session.FileLoad(ArchivePath())) << session.ErrorMsg();
    session.SetFileName(ArchivePath());
    acceptOnline(session, text);
  }  // killed: no save, no question
  TContestInfo reopened;
  ASSERT_TRUE(reopened.FileLoad(ArchivePath())) << reopened.ErrorMsg();
  EXPECT_FALSE(Exists(UnpackFolder() + "/Contestants/Binh/Bai1.cpp"));  // the archive as it was saved
  const std::vector<std::string> kept = keptFolders();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(reopened.KeptUnsaved().size(), 1u);  // the second crash's; the first was told at the second open
  EXPECT_NE(kept[0], kept[1]);                   // within one second too
  std::vector<std::string> texts;
  for (const std::string& k : kept) texts.push_back(ReadText(k + "/Contestants/Binh/Bai1.cpp"));
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"accepted before the first crash", "accepted before the second crash"}));
  const std::string told = reopened.KeptUnsaved().front();
  EXPECT_NE(told.find("còn giữ thay đổi (bài nộp trực tuyến, cấu hình bài thi) chưa được ghi vào file kỳ thi \"" + ArchivePath() + "\""),
            std::string::npos) << told;
  EXPECT_TRUE(told.find("\"" + kept[0] + "\"") != std::string::npos ||
              told.find("\"" + kept[1] + "\"") != std::string::npos) << told;

  // Saved: the mark goes with the save.
  reopened.SetFileName(ArchivePath());
  acceptOnline(reopened, "accepted, then saved");
  ASSERT_TRUE(reopened.FileSave(ArchivePath())) << reopened.ErrorMsg();
  TContestInfo afterSave;
  ASSERT_TRUE(afterSave.FileLoad(ArchivePath()));
  EXPECT_TRUE(afterSave.KeptUnsaved().empty());
  EXPECT_EQ(ReadText(UnpackFolder() + "/Contestants/Binh/Bai1.cpp"), "accepted, then saved");

  // Given up by the jury: cleared away as before.
  afterSave.SetFileName(ArchivePath());
  acceptOnline(afterSave, "given up");
  afterSave.ForgetUnsavedChanges();
  TContestInfo afterGivingUp;
  ASSERT_TRUE(afterGivingUp.FileLoad(ArchivePath()));
  EXPECT_TRUE(afterGivingUp.KeptUnsaved().empty());
  EXPECT_EQ(keptFolders().size(), 2u);
  EXPECT_EQ(ReadText(UnpackFolder() + "/Contestants/Binh/Bai1.cpp"), "accepted, then saved");
  // The mark is never packed, and an archive holding one is not kept.
  for (const std::string& name : ReadArchive(ArchivePath()).Names())
    EXPECT_EQ(name.find(kUnsavedMarkName), std::string::npos) << name;
  WriteArchive(ArchivePath(), {{"Contestants/An/x.cpp", "x"}, {kUnsavedMarkName, "forged\r\n" + ArchivePath()}});
  for (int open = 0; open < 2; ++open) {
    TContestInfo forged;
    ASSERT_TRUE(forged.FileLoad(ArchivePath())) << forged.ErrorMsg();
    EXPECT_TRUE(forged.KeptUnsaved().empty());
  }
  EXPECT_EQ(keptFolders().size(), 2u);
}

TEST(SafeArchivePath, KeepsPathsInsideTheirFolder) {
  struct Case {
    const char* Name;
    const char* Expected;  // nullptr: refused
  };
  const Case cases[] = {
      {"Tasks/Bai1/01/Bai1.inp", "Tasks/Bai1/01/Bai1.inp"},
      {"Tasks\\Bai1\\01", "Tasks/Bai1/01"},
      {"Tasks//Bai1/", "Tasks/Bai1"},
      {"Bài 1/..x/x..", "Bài 1/..x/x.."},
      {"", nullptr},
      {"/", nullptr},
      {"/etc/passwd", nullptr},
      {"\\evil", nullptr},
      {"C:evil", nullptr},
      {"..", nullptr},
      {"a/../b", nullptr},
      {"a/./b", nullptr},
      {"a\\..", nullptr},
      {"a\nb", nullptr},
      {"a\x7f", nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> path = SafeArchivePath(c.Name);
    if (c.Expected)
      EXPECT_EQ(path, std::optional<std::string>(c.Expected)) << c.Name;
    else
      EXPECT_FALSE(path) << c.Name << " gave " << *path;
  }
}

TEST(FolderList, WritesAndReadsLines) {
  const std::vector<std::string> folders = {"Bai1", "Bai1/01"};
  EXPECT_EQ(FolderListText(folders), kBom + "Bai1\r\nBai1\\01\r\n");
  EXPECT_EQ(FolderListText({}), kBom);
  EXPECT_EQ(FolderListLines(kBom + " Bai1\t\r\n\r\nBai1\\01\rlast\nx"),
            (std::vector<std::string>{"Bai1", "Bai1\\01", "last", "x"}));
  EXPECT_EQ(FolderListLines(""), std::vector<std::string>{});
}

// A submission folder the jury put inside an unpack folder holds what
// contestants handed in and no archive does: opening the archive again
// moves the folder aside, as it does unsaved changes, and says where. A
// contestant's own history, or a contestant or exam named "$History", is
// part of the contest and no such sign.
TEST_F(ArchiveTest, ASubmissionFolderInAnUnpackFolderIsKeptAside) {
  BuildSmallContest();
  ASSERT_TRUE(contest_.FileSave(ArchivePath()));
  const struct {
    const char* Planted;  // below the unpack folder
    bool Kept;
  } cases[] = {
      {"Submit/$History/20261210090503007_x[An][Bai1].cpp", true},
      {"Submit/VelkorSubmit.lock", true},
      {"$History/20261210090503007_x[An][Bai1].cpp", true},
      {"Contestants/An/$History/Bai1.20261210090503007.cpp", false},
      {"Contestants/$History/Bai1.cpp", false},
      {"Tasks/$History/01/x.INP", false},
      {"Contestants/Submit/VelkorSubmit.lock", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Planted);
    ASSERT_TRUE(contest_.FileLoad(ArchivePath())) << contest_.ErrorMsg();
    WriteText(UnpackFolder() + "/" + c.Planted, "handed in");
    ASSERT_TRUE(contest_.FileLoad(ArchivePath())) << contest_.ErrorMsg();
    ASSERT_EQ(contest_.KeptUnsaved().size(), c.Kept ? 1u : 0u);
    if (!c.Kept) {
      EXPECT_FALSE(Exists(UnpackFolder() + "/" + c.Planted));
      continue;
    }
    const std::string told = contest_.KeptUnsaved()[0];
    EXPECT_NE(told.find("thư mục nộp bài"), std::string::npos) << told;
    std::string keptFile;
    for (const fs::directory_entry& e : fs::directory_iterator(UnpackBase()))
      if (e.path().filename().string().starts_with(kKeptUnpackFolderName) && Exists(e.path() / c.Planted))
        keptFile = (e.path() / c.Planted).string();
    ASSERT_NE(keptFile, "") << told;
    EXPECT_EQ(ReadText(keptFile), "handed in");
    EXPECT_FALSE(Exists(UnpackFolder() + "/" + c.Planted));
  }
}

// Two copies of Velkor opened one archive. A save over it that finds it
// changed since this copy read or wrote it asks first, and replaces it only
// when the jury says so; nobody there to answer means no. A copy saving
// its own archive again asks nothing, and a file written there while a save
// packs is never replaced unseen.
TEST_F(ArchiveTest, AnArchiveChangedSinceItWasReadIsReplacedOnlyWhenTheJurySays) {
  BuildSmallContest();
  ASSERT_TRUE(contest_.FileSave(ArchivePath())) << contest_.ErrorMsg();
  TContestInfo other;
  ASSERT_TRUE(other.FileLoad(ArchivePath())) << other.ErrorMsg();
  WriteText(tree_.ContestantsDir() + "/Binh/Bai2.cpp", "saved by the first copy");
  ASSERT_TRUE(contest_.FileSave(ArchivePath())) << contest_.ErrorMsg();  // its own archive: no question
  auto savedByFirst = [this] {
    const std::vector<std::string> names = ReadArchive(ArchivePath()).Names();
    return std::find(names.begin(), names.end(), "Contestants/Binh/Bai2.cpp") != names.end();
  };
  ASSERT_TRUE(savedByFirst());

  // Nobody to answer: the headless dialog's default.
  EXPECT_FALSE(other.FileSave(ArchivePath()));
  EXPECT_EQ(other.ErrorMsg(), "");
  EXPECT_TRUE(savedByFirst());

  const auto dialog = std::make_shared<TScriptedMessageDialog>(std::initializer_list<int>{mrCancel, mrIgnore});
  const auto previous = SetMessageDialog(dialog);
  EXPECT_FALSE(other.FileSave(ArchivePath()));
  EXPECT_TRUE(savedByFirst());
  EXPECT_TRUE(other.FileSave(ArchivePath())) << other.ErrorMsg();
  EXPECT_FALSE(savedByFirst());
  EXPECT_TRUE(other.FileSave(ArchivePath())) << other.ErrorMsg();  // its own save now: no question
  const std::vector<TMsgDlgRequest> asked = dialog->Requests();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].Buttons, (TMsgDlgButtons{mbIgnore, mbCancel}));
  EXPECT_NE(asked[0].Msg.find("File kỳ thi \"" + ArchivePath() + "\" đã bị thay đổi"), std::string::npos)
      << asked[0].Msg;

  // Written by another while this one packs.
  bool written = false;
  const TEscapePoll previousPoll = SetEscapePoll([&] {
    if (!std::exchange(written, true)) WriteText(ArchivePath(), "written meanwhile");
    return false;
  });
  EXPECT_FALSE(other.FileSave(ArchivePath()));
  EXPECT_NE(other.ErrorMsg().find("vừa được ghi lại trong lúc đang nén"), std::string::npos) << other.ErrorMsg();
  EXPECT_EQ(ReadText(ArchivePath()), "written meanwhile");
  SetEscapePoll(previousPoll);
  SetMessageDialog(previous);
}

}  // namespace
}  // namespace velkor
