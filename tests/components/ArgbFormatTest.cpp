// The ARGB format through the true image: files built byte by byte, the
// writer's exact output, round trips, and hostile or truncated input.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "ComponentsTestSupport.h"
#include "components/TrueImages.h"
#include "graphics/Raster_Resamplers.h"

namespace velkor {
namespace {

using test::GradientImage;

template <class T>
void Put(std::string& S, std::size_t At, T Value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) S[At + i] = char(std::uint64_t(Value) >> (8 * i));
}

template <class T>
T Get(const std::string& S, std::size_t At) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) v |= std::uint64_t(std::uint8_t(S[At + i])) << (8 * i);
  return T(v);
}

std::string Compress(const std::string& Raw) {
  uLongf size = compressBound(uLong(Raw.size()));
  std::string out(size, '\0');
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(Raw.data()),
                     uLong(Raw.size())),
            Z_OK);
  out.resize(size);
  return out;
}

constexpr std::int64_t kDataSizeOfData = std::numeric_limits<std::int64_t>::min();

// A complete file: header fields as given, then Data; the size field is
// Data's size unless given.
std::string MakeFile(std::int32_t W, std::int32_t H, std::uint32_t MasterAlpha, std::uint8_t Mode,
                     std::int64_t Offset, const std::string& Data, std::int64_t DataSize = kDataSizeOfData) {
  std::string s(118, '\0');
  std::memcpy(s.data(), kArgbSignature.data(), kArgbSignature.size());
  Put<std::int32_t>(s, 89, W);
  Put<std::int32_t>(s, 93, H);
  Put<std::uint32_t>(s, 97, MasterAlpha);
  Put<std::uint8_t>(s, 101, Mode);
  Put<std::int64_t>(s, 102, Offset);
  Put<std::int64_t>(s, 110, DataSize == kDataSizeOfData ? std::int64_t(Data.size()) : DataSize);
  return s + Data;
}

std::string Save(const TTrueImage& Image) {
  std::ostringstream out;
  Image.SaveToStream(out);
  return out.str();
}

void Load(TTrueImage& Image, const std::string& Bytes) {
  std::istringstream in(Bytes);
  Image.LoadFromStream(in);
}

TEST(ArgbFormatTest, SignatureIsTheDocumentedBytes) {
  EXPECT_EQ(kArgbSignature.substr(0, 30), "ARGB True Image File Format.\r\n");
  EXPECT_EQ(kArgbSignature.back(), '\x1A');
  EXPECT_EQ(kArgbSignature[86], '\r');
}

TEST(ArgbFormatTest, HandBuiltOnePixelFileLoads) {
  const std::string data = Compress(std::string("\x10\x20\x30\x40", 4));
  for (const std::int64_t offset : {std::int64_t(118), std::int64_t(0), std::int64_t(999)}) {
    auto image = New<TTrueImage>();
    Load(*image, MakeFile(1, 1, 200, rmLanczos, offset, data));
    ASSERT_EQ(image->Width(), 1) << "offset field " << offset;
    EXPECT_EQ(image->PixelPtr(0, 0)->Value, 0x40302010u);
    EXPECT_EQ(image->MasterAlpha(), 200);
    EXPECT_EQ(image->ResampleMode(), rmLanczos);
    auto* resampler = dynamic_cast<Raster_Resamplers::TKernelResampler*>(image->BMP32().Resampler());
    ASSERT_NE(resampler, nullptr);
    EXPECT_EQ(resampler->KernelClassName(), "TLanczosKernel");
  }
}

TEST(ArgbFormatTest, EmptyImageSavesExactly126Bytes) {
  auto image = New<TTrueImage>();
  const std::string s = Save(*image);
  ASSERT_EQ(s.size(), 126u);
  EXPECT_EQ(s.substr(0, 89), kArgbSignature);
  EXPECT_EQ(Get<std::int32_t>(s, 89), 0);
  EXPECT_EQ(Get<std::int32_t>(s, 93), 0);
  EXPECT_EQ(Get<std::uint32_t>(s, 97), 255u);
  EXPECT_EQ(Get<std::uint8_t>(s, 101), rmLinear);
  EXPECT_EQ(Get<std::int64_t>(s, 102), 118);
  EXPECT_EQ(Get<std::int64_t>(s, 110), 8);
  EXPECT_EQ(s.substr(118), std::string("\x78\x9C\x03\x00\x00\x00\x00\x01", 8));

  auto back = GradientImage(3, 3);
  Load(*back, s);
  EXPECT_TRUE(back->Empty());
  EXPECT_EQ(back->Width(), 0);
}

TEST(ArgbFormatTest, RoundTripKeepsPixelsAlphaAndMode) {
  auto image = GradientImage(24, 24, 77);
  *image->PixelPtr(5, 7) = TTrueColor(0x00ABCDEFu);  // colour under alpha 0 survives
  image->SetMasterAlpha(99);
  image->SetResampleMode(rmSinsh);
  const std::string s = Save(*image);
  EXPECT_EQ(s.substr(0, 89), kArgbSignature);
  EXPECT_EQ(Get<std::int64_t>(s, 102), 118);
  EXPECT_EQ(std::uint8_t(s[118]), 0x78);
  EXPECT_EQ(std::uint8_t(s[119]), 0x9C);
  EXPECT_EQ(Get<std::int64_t>(s, 110), std::int64_t(s.size() - 118));

  auto back = New<TTrueImage>();
  Load(*back, s);
  EXPECT_TRUE(back->Equals(image.get()));
  EXPECT_EQ(back->MasterAlpha(), 99);
  EXPECT_EQ(back->ResampleMode(), rmSinsh);
  EXPECT_EQ(back->PixelPtr(5, 7)->Value, 0x00ABCDEFu);
}

TEST(ArgbFormatTest, MasterAlphaAboveByteIsClamped) {
  auto image = New<TTrueImage>();
  Load(*image, MakeFile(1, 1, 70000, rmBox, 118, Compress(std::string(4, '\x11'))));
  EXPECT_EQ(image->MasterAlpha(), 255);
  EXPECT_EQ(image->ResampleMode(), rmBox);
}

TEST(ArgbFormatTest, HostileAndTruncatedInputLeavesTheImageUnchanged) {
  const std::string pixels4 = Compress(std::string(16, '\x7F'));  // 2 x 2
  const std::string good = MakeFile(2, 2, 128, rmCubic, 118, pixels4);
  std::string badSignature = good;
  badSignature[3] = 'X';
  std::string garbage = good;
  for (std::size_t i = 120; i < garbage.size(); ++i) garbage[i] = char(0xA5);
  struct Case {
    const char* why;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty stream", ""},
      {"signature only", std::string(kArgbSignature)},
      {"changed signature byte", badSignature},
      {"header cut at 117 bytes", good.substr(0, 117)},
      {"negative width", MakeFile(-1, 2, 255, 0, 118, pixels4)},
      {"negative height", MakeFile(2, -5, 255, 0, 118, pixels4)},
      {"pixel bytes beyond 2^31 - 1", MakeFile(65536, 8192, 255, 0, 118, pixels4)},
      {"w * h * 4 wraps in 32 bits", MakeFile(65536, 16384, 255, 0, 118, pixels4)},
      {"w * h * 4 wraps in 64 bits", MakeFile(0x7FFFFFFF, 0x7FFFFFFF, 255, 0, 118, pixels4)},
      {"negative data size", MakeFile(2, 2, 255, 0, 118, pixels4, -1000)},
      {"data size beyond the stream", MakeFile(2, 2, 255, 0, 118, pixels4, 1 << 30)},
      {"data size in the upper 32 bits", MakeFile(2, 2, 255, 0, 118, pixels4, std::int64_t(1) << 40)},
      {"2 GB of pixels, data size beyond the stream", MakeFile(23170, 23170, 255, 0, 118, pixels4, 0x7FFFFFFF)},
      {"more pixels than the data can hold", MakeFile(10000, 10000, 255, 0, 118, pixels4)},
      {"data cut short", good.substr(0, good.size() - 3)},
      {"zlib garbage", garbage},
      {"fewer pixels than the header says", MakeFile(3, 2, 255, 0, 118, pixels4)},
  };
  for (const Case& c : cases) {
    auto image = GradientImage(4, 3, 200);
    image->SetMasterAlpha(33);
    image->SetResampleMode(rmHann);
    auto before = GradientImage(4, 3, 200);
    int changes = 0;
    image->OnChange = [&](TObject*) { ++changes; };
    try {
      Load(*image, c.bytes);
      ADD_FAILURE() << c.why << ": loaded";
    } catch (const EInvalidImage& e) {
      EXPECT_TRUE(std::string(e.what()).starts_with("Invalid format")) << c.why << ": " << e.what();
    }
    EXPECT_TRUE(image->Equals(before.get())) << c.why;
    EXPECT_EQ(image->MasterAlpha(), 33) << c.why;
    EXPECT_EQ(image->ResampleMode(), rmHann) << c.why;
    EXPECT_EQ(changes, 0) << c.why;
  }
}

TEST(ArgbFormatTest, ResourceBytesMayCarryTheClassPrefix) {
  auto image = GradientImage(5, 4, 128);
  const std::string s = Save(*image);
  for (const std::string& bytes : {s, std::string(kArgbResourcePrefix) + s}) {
    const TArgbImage read = ReadArgbImage(std::string_view(bytes));
    ASSERT_EQ(read.Width, 5);
    ASSERT_EQ(read.Height, 4);
    EXPECT_EQ(read.Pixels[7], image->Bits()[7].Value);
  }
}

class ArgbFileTest : public ::testing::Test {
 protected:
  std::filesystem::path Folder() {
    // TMPDIR is private to this test process.
    auto dir = std::filesystem::temp_directory_path() / "argb-files";
    std::filesystem::create_directories(dir);
    return dir;
  }
};

TEST_F(ArgbFileTest, FilesLoadByContentThenByExtension) {
  auto image = GradientImage(6, 5, 180);
  const std::string argb = (Folder() / "six.argb").string();
  image->SaveToFile(argb);
  auto back = New<TTrueImage>();
  back->LoadFromFile(argb);
  EXPECT_TRUE(back->Equals(image.get()));

  // A PNG goes through the toolkit's picture: straight alpha kept, the
  // colour of fully transparent pixels discarded.
  *image->PixelPtr(1, 1) = TTrueColor(0x00FF00FFu);
  const std::string png = (Folder() / "six.png").string();
  ASSERT_TRUE(image->ExportPNG().save(QString::fromStdString(png)));
  auto fromPng = New<TTrueImage>();
  fromPng->LoadFromFile(png);
  EXPECT_EQ(fromPng->PixelPtr(1, 1)->Value, 0u);
  *image->PixelPtr(1, 1) = TTrueColor(0);
  EXPECT_TRUE(fromPng->Equals(image.get()));

  // The picture registry knows the format.
  TPicture picture;
  picture.LoadFromFile(argb);
  ASSERT_NE(dynamic_cast<TTrueImage*>(picture.Graphic()), nullptr);
  EXPECT_TRUE(TTrueImage::CreateFromFile(argb)->Equals(back.get()));
}

TEST_F(ArgbFileTest, BrokenFilesRaiseErrorsNamingTheFile) {
  struct Case {
    const char* name;
    std::string content;
  };
  const Case cases[] = {
      {"broken.argb", "ARGB True Image File Format. and then nothing"},  // would recurse through the picture
      {"broken.png", "not a png at all"},
      {"notes.xyz", "whatever"},
  };
  for (const Case& c : cases) {
    const std::string file = (Folder() / c.name).string();
    std::ofstream(file, std::ios::binary) << c.content;
    auto image = GradientImage(2, 2);
    try {
      image->LoadFromFile(file);
      ADD_FAILURE() << c.name << " loaded";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
    }
    EXPECT_EQ(image->Width(), 2) << c.name;
  }
  auto image = New<TTrueImage>();
  EXPECT_ANY_THROW(image->LoadFromFile((Folder() / "missing.argb").string()));
}

}  // namespace
}  // namespace velkor
