#include "core/CompressedXML.h"

#include <signal.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "FileTestSupport.h"

namespace velkor {
namespace {

using testing::Exists;
using testing::ModeOf;
using testing::ReadText;
using testing::RunUnprivileged;
using testing::TempFolder;
using testing::WriteText;

const char* const kExpectedText =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<VelkorConfiguration>\n"
    "\t<Settings Font=\"Tahoma\" Mark=\"1.5\">\n"
    "\t\t<Dir>C:\\Thi [1]\\bài thi</Dir>\n"
    "\t</Settings>\n"
    "</VelkorConfiguration>\n";

void BuildSample(TFormattedXML& doc) {
  pugi::xml_node settings = TFormattedXML::ChildNode(doc.append_child("VelkorConfiguration"), "Settings");
  settings.append_attribute("Font") = "Tahoma";
  settings.append_attribute("Mark") = "1.5";
  settings.append_child("Dir").text() = "C:\\Thi [1]\\bài thi";
}

std::string InflateAll(const std::string& bytes) {
  std::string out(1 << 16, '\0');
  uLongf size = out.size();
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                 bytes.size()) != Z_OK)
    return "(not a zlib stream)";
  out.resize(size);
  return out;
}

std::string DeflateAll(const std::string& text) {
  std::string out(compressBound(text.size()), '\0');
  uLongf size = out.size();
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()), text.size());
  out.resize(size);
  return out;
}

std::string LoadError(const std::string& path) {
  try {
    TCompressedXML doc;
    doc.LoadFromFile(path);
  } catch (const EXMLError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(CompressedXML, PlainOnlyForTheXmlExtension) {
  struct Case {
    const char* name;
    bool plain;
  };
  const Case cases[] = {{"a.xml", true},         {"/d/A.XmL", true},       {".xml", true},
                        {"Velkor.cfg", false},   {"Tasks.config", false}, {"noext", false},
                        {"dir.xml/name", false}, {"a.xml.bak", false},    {"a.xmlx", false}};
  for (const Case& c : cases) EXPECT_EQ(IsPlainXMLFileName(c.name), c.plain) << c.name;
}

TEST(CompressedXML, CompressedFileHoldsOneZlibStreamOfTheText) {
  TempFolder tmp;
  for (const char* name : {"Velkor.cfg", "Tasks.config", "noext", "Bài thi [1].cfg"}) {
    SCOPED_TRACE(name);
    const std::string path = tmp / name;
    TCompressedXML doc;
    BuildSample(doc);
    doc.SaveToFile(path);
    const std::string bytes = ReadText(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0x9C);
    EXPECT_EQ(InflateAll(bytes), kExpectedText);

    TCompressedXML back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.XML(), kExpectedText);
  }
}

TEST(CompressedXML, XmlExtensionIsPlainUtf8Text) {
  TempFolder tmp;
  TCompressedXML doc;
  BuildSample(doc);
  doc.SaveToFile(tmp / "export.XmL");
  EXPECT_EQ(ReadText(tmp / "export.XmL"), kExpectedText);
  TCompressedXML back;
  back.LoadFromFile(tmp / "export.XmL");
  EXPECT_EQ(back.child("VelkorConfiguration").child("Settings").child_value("Dir"), std::string("C:\\Thi [1]\\bài thi"));
}

TEST(CompressedXML, StreamsRoundTrip) {
  TCompressedXML doc;
  BuildSample(doc);
  std::stringstream stream;
  doc.SaveToStream(stream);
  EXPECT_EQ(InflateAll(stream.str()), kExpectedText);
  TCompressedXML back;
  back.LoadFromStream(stream);
  EXPECT_EQ(back.XML(), kExpectedText);
}

TEST(CompressedXML, LegacyEncodingsAreDetected) {
  // UTF-16LE with a byte order mark, as another writer may have stored it.
  const std::u16string text = u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><R A=\"bài\"/>";
  const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  TCompressedXML doc;
  doc.LoadFromBytes(DeflateAll(bytes));
  EXPECT_EQ(doc.child("R").attribute("A").value(), std::string("bài"));
  EXPECT_EQ(doc.XML(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<R A=\"bài\" />\n");
}

TEST(CompressedXML, CorruptInputRaisesErrorsNamingTheFile) {
  TempFolder tmp;
  const std::string plain = tmp / "plain.cfg";
  WriteText(plain, kExpectedText);
  const std::string full = DeflateAll(kExpectedText);
  const std::string truncated = tmp / "truncated.cfg";
  WriteText(truncated, full.substr(0, full.size() - 6));
  const std::string trailing = tmp / "trailing.cfg";
  WriteText(trailing, full + "junk");
  const std::string badXml = tmp / "bad xml.cfg";
  WriteText(badXml, DeflateAll("<a><b></a>"));
  const std::string empty = tmp / "empty.cfg";
  WriteText(empty, "");

  struct Case {
    std::string path;
    std::string message;
  };
  // What failed comes first, in Vietnamese; the file and the library's or
  // the system's own words follow.
  const auto file = [](const std::string& path) { return "Không đọc được file \"" + path + "\": "; };
  const Case cases[] = {
      {plain, file(plain) + "dữ liệu nén bị hỏng (phần đầu không đúng)"},
      {truncated, file(truncated) + "dữ liệu nén bị cắt cụt"},
      {trailing, file(trailing) + "có dữ liệu thừa sau phần nén"},
      {badXml, file(badXml) + "nội dung không phải là XML hợp lệ (thẻ đóng không khớp với thẻ mở, vị trí byte 8)"},
      {empty, file(empty) + "dữ liệu nén bị cắt cụt"},
      {tmp / "missing.cfg",
       "Không mở được file \"" + (tmp / "missing.cfg") + "\": Hệ thống không tìm thấy file được chỉ định."},
      {tmp.Path(), "Không đọc được file \"" + tmp.Path() + "\": Truy cập bị từ chối."},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(c.path), c.message);

  // A small file that unpacks to more than a document may hold.
  const std::string bomb = tmp / "bomb.cfg";
  WriteText(bomb, DeflateAll("<a>" + std::string(300000, ' ') + "</a>"));
  const std::size_t savedLimit = MaxUnpackedXMLBytes;
  MaxUnpackedXMLBytes = 100000;
  EXPECT_EQ(LoadError(bomb), file(bomb) + "nội dung giải nén vượt quá 100000 byte");
  MaxUnpackedXMLBytes = savedLimit;

  // A stream names itself; it has no file.
  std::istringstream stream("garbage");
  TCompressedXML doc;
  try {
    doc.LoadFromStream(stream);
    ADD_FAILURE() << "a garbage stream loaded";
  } catch (const EXMLError& e) {
    EXPECT_EQ(std::string(e.what()), "Không đọc được luồng dữ liệu XML: dữ liệu nén bị hỏng (phần đầu không đúng)");
  }

  const std::string plainXml = tmp / "broken.xml";
  WriteText(plainXml, "<a>");
  EXPECT_EQ(LoadError(plainXml).rfind(file(plainXml) + "nội dung không phải là XML hợp lệ (", 0), 0u);
}

TEST(CompressedXML, NodesAreCreatedOnDemandAndMissingAttributesReadAsNull) {
  TCompressedXML doc;
  pugi::xml_node root = doc.append_child("Root");
  pugi::xml_node a = TFormattedXML::ChildNode(root, "Exam");
  EXPECT_EQ(TFormattedXML::ChildNode(root, "Exam"), a);
  EXPECT_EQ(std::distance(root.begin(), root.end()), 1);
  EXPECT_FALSE(TFormattedXML::AttributeValue(a, "Mark").has_value());
  a.append_attribute("Mark") = "";
  EXPECT_EQ(TFormattedXML::AttributeValue(a, "Mark"), std::optional<std::string>(""));
}

TEST(CompressedXML, SavesKeepOrSetPermissionsAndFollowLinks) {
  TempFolder tmp;
  TCompressedXML doc;
  BuildSample(doc);
  WriteText(tmp / "old.cfg", "old");
  ASSERT_EQ(::chmod((tmp / "old.cfg").c_str(), 0640), 0);
  doc.SaveToFile(tmp / "old.cfg");
  EXPECT_EQ(ModeOf(tmp / "old.cfg"), 0640);

  doc.FilePermissions = 0600;  // a file that holds a password
  doc.SaveToFile(tmp / "secret.cfg");
  EXPECT_EQ(ModeOf(tmp / "secret.cfg"), 0600);

  ::symlink("old.cfg", (tmp / "link.cfg").c_str());
  doc.FilePermissions.reset();
  doc.SaveToFile(tmp / "link.cfg");
  struct stat st {};
  ASSERT_EQ(::lstat((tmp / "link.cfg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(InflateAll(ReadText(tmp / "old.cfg")), kExpectedText);
}

TEST(CompressedXML, FailedSaveLeavesTheOldFileWhole) {
  TempFolder tmp;
  const std::string path = tmp / "Settings.cfg";
  WriteText(path, "the old settings");
  // The child may write no file larger than 64 bytes, so the save fails
  // while writing.
  const auto out = RunUnprivileged([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    TCompressedXML doc;
    pugi::xml_node root = doc.append_child("Root");
    for (int i = 0; i < 200; ++i) root.append_child("Item").text() = i;
    try {
      doc.SaveToFile(path);
    } catch (const EXMLError& e) {
      return std::string(e.what());
    }
    return std::string("(saved)");
  }, "root");
  ASSERT_TRUE(out);
  EXPECT_EQ(out->rfind("Không ghi được file \"" + path + "\": ", 0), 0u) << *out;
  EXPECT_EQ(ReadText(path), "the old settings");
  std::vector<std::string> names;
  for (const auto& e : testing::fs::directory_iterator(tmp.Path())) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"Settings.cfg"});
}

// A save killed between writing its temporary and the rename leaves
// ".<name>.XXXXXX" behind; the next save of that file clears those that
// no save in progress can own, and nothing else.
TEST(CompressedXML, SaveRemovesStaleTemporariesOfTheSameFile) {
  TempFolder tmp;
  const auto age = [&](const std::string& Name, int Seconds) {
    WriteText(tmp / Name, "left by a crash");
    const timespec when[2] = {{0, UTIME_OMIT}, {::time(nullptr) - Seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (tmp / Name).c_str(), when, 0), 0);
  };
  const int stale = 2 * 60 * 60, fresh = 60;
  age(".Velkor.cfg.a1B2c3", stale);
  age(".Velkor.cfg.Zz9900", stale);
  age(".Velkor.cfg.q7W8e9", fresh);     // a save in progress elsewhere
  age(".Settings.cfg.a1B2c3", stale);   // another file's: its own save clears it
  age(".Velkor.cfg.a1B2c", stale);      // not the pattern
  age(".Velkor.cfg.a1B2c3.bak", stale);
  age("Velkor.cfg.a1B2c3", stale);
  ASSERT_EQ(::mkdir((tmp / ".Velkor.cfg.Dir123").c_str(), 0755), 0);  // a folder is never ours

  TCompressedXML doc;
  BuildSample(doc);
  doc.SaveToFile(tmp / "Velkor.cfg");

  std::vector<std::string> names;
  for (const auto& e : testing::fs::directory_iterator(tmp.Path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".Settings.cfg.a1B2c3", ".Velkor.cfg.Dir123", ".Velkor.cfg.a1B2c",
                                             ".Velkor.cfg.a1B2c3.bak", ".Velkor.cfg.q7W8e9", "Velkor.cfg",
                                             "Velkor.cfg.a1B2c3"}));
}

}  // namespace
}  // namespace velkor
