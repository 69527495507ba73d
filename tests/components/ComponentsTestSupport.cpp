#include "ComponentsTestSupport.h"

#include <gtest/gtest.h>

#include "components/LowLevel.h"
#include "graphics/RasterStartup.h"
#include "graphics_toolkit/RasterToolkitStartup.h"

namespace velkor::test {

namespace {

class ComponentsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    RasterStartup();
    RasterToolkitStartup();
    LowLevel::BindFillLongword();
    TrueImagesStartup();
  }
  void TearDown() override {
    TrueImagesShutdown();
    RasterToolkitShutdown();
    RasterShutdown();
  }
};

const ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ComponentsEnvironment);

}  // namespace

std::filesystem::path ShotsFolder() {
  const std::filesystem::path folder = VELKOR_GUI_SHOTS_DIR;
  std::filesystem::create_directories(folder);
  return folder;
}

void SaveShot(const QImage& Image, const std::string& Name) {
  const std::string file = (ShotsFolder() / (Name + ".png")).string();
  EXPECT_TRUE(Image.save(QString::fromStdString(file))) << file;
}

std::unique_ptr<TTrueImage> GradientImage(int W, int H, std::uint8_t Alpha) {
  auto image = TTrueImage::CreateSize(W, H);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      *image->PixelPtr(x, y) = TTrueColor::FromBGRA(std::uint8_t((x + y) * 5), std::uint8_t(y * 10),
                                                    std::uint8_t(x * 10), Alpha);
    }
  }
  return image;
}

}  // namespace velkor::test
