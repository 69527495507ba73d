// Packs the sample contest into a contest archive at build time:
//
//   velkor_pack_sample <sample folder> <work folder> <archive>
//
// The sample keeps its exam settings as plain XML ("Settings.xml"), so that
// they can be read and reviewed in the repository. The tool copies the
// sample into the work folder, turns each of them into the compressed
// "Settings.cfg" the program reads, loads the two folders as a contest and
// saves it the way the program saves a contest. The work folder stays: its
// "Tasks" and "Contestants" are the sample as folders, for the jury to open
// with F2 and F3.
#include <exception>
#include <filesystem>
#include <iostream>

#include "core/CompressedXML.h"
#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "judging/Contests.h"
#include "judging/Exams.h"

namespace fs = std::filesystem;
using namespace velkor;

namespace {

void CompressExamSettings(const fs::path& Tasks) {
  for (const auto& exam : fs::directory_iterator(Tasks)) {
    const fs::path plain = exam.path() / "Settings.xml";
    if (!fs::is_regular_file(plain)) continue;
    TCompressedXML doc;
    doc.LoadFromFile(plain.string());
    doc.SaveToFile((exam.path() / std::string(kExamSettingsFileName)).string());
    fs::remove(plain);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: velkor_pack_sample <sample folder> <work folder> <archive>\n";
    return 2;
  }
  try {
    SystemInfoInit(argc, argv);
    FileUtilsInit();
    const fs::path sample(argv[1]), work(argv[2]), archive(argv[3]);
    fs::remove_all(work);
    fs::create_directories(work);
    fs::copy(sample, work, fs::copy_options::recursive);
    CompressExamSettings(work / "Tasks");

    TContestInfo contest;
    contest.LoadExams((work / "Tasks").string());
    contest.LoadContestants((work / "Contestants").string());
    if (contest.ExamSet().Count() == 0 || contest.ResultSet().Count() == 0) {
      std::cerr << "velkor_pack_sample: no exams or no contestants in " << sample << "\n";
      return 1;
    }
    fs::create_directories(archive.parent_path());
    if (!contest.FileSave(archive.string())) {
      std::cerr << "velkor_pack_sample: could not write " << archive << "\n";
      return 1;
    }
    FileUtilsFinalize();
    SystemInfoFinalize();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "velkor_pack_sample: " << e.what() << "\n";
    return 1;
  }
}
