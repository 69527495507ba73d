// BMP streams and files, the streamed pixel data and content comparison:
// round trips, files other programs write, and files that lie.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "ToolkitTestSupport.h"
#include "graphics/StreamErrors.h"
#include "toolkit/ToolkitGraphics.h"

namespace velkor::test {
namespace {

std::uint32_t U32At(const std::string& s, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}

void PutU32At(std::string& s, std::size_t at, std::uint32_t v) { std::memcpy(s.data() + at, &v, 4); }

// 2 x 2 with distinct alphas: top row a, b; bottom row c, d.
std::unique_ptr<TBitmap32> TwoByTwo() {
  auto bmp = New<TBitmap32>();
  bmp->SetSize(2, 2);
  bmp->SetPixel(0, 0, 0x11223344u);
  bmp->SetPixel(1, 0, 0x55667788u);
  bmp->SetPixel(0, 1, 0x99AABBCCu);
  bmp->SetPixel(1, 1, 0x00DDEEFFu);
  return bmp;
}

void ExpectSamePixels(const TCustomBitmap32& A, const TCustomBitmap32& B) {
  ASSERT_EQ(A.Width(), B.Width());
  ASSERT_EQ(A.Height(), B.Height());
  for (int y = 0; y < A.Height(); ++y) {
    for (int x = 0; x < A.Width(); ++x) EXPECT_EQ(A.GetPixel(x, y), B.GetPixel(x, y)) << x << "," << y;
  }
}

TEST(BitmapStreams, BothRowOrdersWriteAValidBmpAndReadBack) {
  struct Case {
    bool saveTopDown;
    std::int32_t height;
    TColor32 firstPixel;
  } cases[] = {{true, 2, 0x99AABBCCu}, {false, -2, 0x11223344u}};
  const auto bmp = TwoByTwo();
  for (const Case& c : cases) {
    std::ostringstream out;
    bmp->SaveToStream(out, c.saveTopDown);
    const std::string s = out.str();
    ASSERT_EQ(s.size(), 70u);
    EXPECT_EQ(s.substr(0, 2), "BM");
    EXPECT_EQ(U32At(s, 2), 70u);
    EXPECT_EQ(U32At(s, 10), 54u);
    EXPECT_EQ(U32At(s, 14), 40u);
    EXPECT_EQ(std::int32_t(U32At(s, 22)), c.height);
    EXPECT_EQ(U32At(s, 28) & 0xFFFF, 32u);
    EXPECT_EQ(U32At(s, 34), 16u);
    EXPECT_EQ(U32At(s, 54), c.firstPixel);

    std::istringstream in(s);
    auto back = New<TBitmap32>();
    back->LoadFromStream(in);
    ExpectSamePixels(*bmp, *back);
    // Another reader agrees on the picture.
    const QImage image = QImage::fromData(QByteArray(s.data(), qsizetype(s.size())), "BMP");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 1) & 0xFFFFFFu, 0xAABBCCu);
  }
}

TEST(BitmapStreams, A24BitFileLoadsOpaqueThroughTheToolkit) {
  QImage image(3, 2, QImage::Format_RGB888);
  image.setPixel(0, 0, qRgb(255, 0, 0));
  image.setPixel(1, 0, qRgb(0, 255, 0));
  image.setPixel(2, 0, qRgb(0, 0, 255));
  image.setPixel(0, 1, qRgb(10, 20, 30));
  image.setPixel(1, 1, qRgb(40, 50, 60));
  image.setPixel(2, 1, qRgb(70, 80, 90));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(image.save(&buffer, "BMP"));
  ASSERT_EQ(std::uint8_t(bytes[28]), 24);

  std::istringstream in(std::string(bytes.constData(), std::size_t(bytes.size())));
  auto bmp = New<TBitmap32>();
  bmp->LoadFromStream(in);
  ASSERT_EQ(bmp->Width(), 3);
  ASSERT_EQ(bmp->Height(), 2);
  EXPECT_EQ(bmp->GetPixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(bmp->GetPixel(2, 0), 0xFF0000FFu);
  EXPECT_EQ(bmp->GetPixel(1, 1), 0xFF28323Cu);
}

TEST(BitmapStreams, TheStoredDataOffsetIsHonoured) {
  const auto bmp = TwoByTwo();
  std::ostringstream out;
  bmp->SaveToStream(out, false);
  std::string s = out.str();
  s.insert(54, 16, '\x7F');  // a gap before the pixels
  PutU32At(s, 10, 70);
  PutU32At(s, 2, std::uint32_t(s.size()));
  std::istringstream in(s);
  auto back = New<TBitmap32>();
  back->LoadFromStream(in);
  ExpectSamePixels(*bmp, *back);
}

TEST(BitmapStreams, LyingOrTruncatedFilesNeitherOverreadNorAllocate) {
  const auto bmp = TwoByTwo();
  std::ostringstream out;
  bmp->SaveToStream(out, false);
  const std::string good = out.str();
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    std::size_t keep;
  } cases[] = {
      {"huge width", 18, 0x7FFFFFFF, 70},
      {"huge height", 22, 0x80000001, 70},
      {"minimal height", 22, 0x80000000, 70},
      {"negative width", 18, 0xFFFFFFFE, 70},
      {"data offset past the end", 10, 1000, 70},
      {"truncated pixels", 0, 0, 60},
      {"truncated header", 0, 0, 30},
  };
  for (const Case& c : cases) {
    std::string s = good.substr(0, c.keep);
    if (c.at) PutU32At(s, c.at, c.value);
    std::istringstream in(s);
    auto target = New<TBitmap32>();
    EXPECT_THROW(target->LoadFromStream(in), std::exception) << c.what;
    EXPECT_LE(std::size_t(target->Width()) * std::size_t(target->Height()), 4u) << c.what;
  }
}

TEST(BitmapStreams, FilesOfEveryPictureFormatAndTheirErrors) {
  const auto dir = ScratchDir();
  const auto bmp = TwoByTwo();
  const std::string bmpFile = (dir / "two.bmp").string();
  bmp->SaveToFile(bmpFile, true);
  auto back = New<TBitmap32>();
  back->LoadFromFile(bmpFile);
  ExpectSamePixels(*bmp, *back);

  // A 1 x 1 GIF is shorter than a BMP header and still a picture.
  const unsigned char gif[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0, 0, 0, 0, 0,
                               ',', 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 'D', 1, 0, ';'};
  const std::string gifFile = (dir / "dot.gif").string();
  std::ofstream(gifFile, std::ios::binary).write(reinterpret_cast<const char*>(gif), sizeof gif);
  auto dot = New<TBitmap32>();
  dot->LoadFromFile(gifFile);
  ASSERT_EQ(dot->Width(), 1);
  EXPECT_EQ(dot->GetPixel(0, 0), 0xFFFF0000u);

  // A PNG with alpha keeps it.
  QImage png(2, 1, QImage::Format_ARGB32);
  png.setPixel(0, 0, 0x80102030u);
  png.setPixel(1, 0, 0x00000000u);
  const std::string pngFile = (dir / "alpha.png").string();
  ASSERT_TRUE(png.save(QString::fromStdString(pngFile)));
  auto fromPng = New<TBitmap32>();
  fromPng->LoadFromFile(pngFile);
  EXPECT_EQ(fromPng->GetPixel(0, 0), 0x80102030u);
  EXPECT_EQ(fromPng->GetPixel(1, 0), 0x00000000u);

  struct Bad {
    const char* name;
    const char* content;
  } bad[] = {{"notes.xyz", "whatever"}, {"broken.png", "not a png at all, but long enough to be mistaken"}};
  for (const Bad& b : bad) {
    const std::string file = (dir / b.name).string();
    std::ofstream(file) << b.content;
    try {
      back->LoadFromFile(file);
      ADD_FAILURE() << b.name << " loaded";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(back->LoadFromFile((dir / "missing.bmp").string()), EFOpenError);
}

TEST(BitmapStreams, AMissingResourceRaisesAndStillReportsAChange) {
  auto bmp = New<TBitmap32>();
  int changes = 0;
  bmp->OnChange = [&](TObject*) { ++changes; };
  EXPECT_THROW(bmp->LoadFromResourceName("no/such/picture.png"), EInvalidGraphic);
  EXPECT_EQ(changes, 1);
}

TEST(BitmapStreams, PixelDataAndSameContent) {
  const auto bmp = TwoByTwo();
  std::ostringstream out;
  bmp->WritePixelData(out);
  const std::string s = out.str();
  ASSERT_EQ(s.size(), 8u + 16u);
  EXPECT_EQ(U32At(s, 0), 2u);
  EXPECT_EQ(U32At(s, 8), 0x11223344u);
  std::istringstream in(s);
  auto back = New<TBitmap32>();
  back->ReadPixelData(in);
  ExpectSamePixels(*bmp, *back);
  EXPECT_TRUE(bmp->SameContent(back.get()));
  back->SetPixel(1, 1, 0x01DDEEFFu);
  EXPECT_FALSE(bmp->SameContent(back.get()));

  // Sizes the stream cannot fill are refused before anything is allocated.
  std::string lying = s;
  PutU32At(lying, 0, 100000);
  PutU32At(lying, 4, 100000);
  std::istringstream lyingIn(lying);
  int changes = 0;
  back->OnChange = [&](TObject*) { ++changes; };
  EXPECT_THROW(back->ReadPixelData(lyingIn), EReadError);
  EXPECT_EQ(changes, 1) << "Changed also on an error";

  auto empty1 = New<TBitmap32>();
  auto empty2 = New<TCustomBitmap32>();
  EXPECT_TRUE(empty1->SameContent(empty2.get()));
  auto memory = New<TCustomBitmap32>();
  memory->Assign(bmp.get());
  EXPECT_FALSE(bmp->SameContent(memory.get())) << "different classes";
}

}  // namespace
}  // namespace velkor::test
