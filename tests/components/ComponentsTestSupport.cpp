#include "ComponentsTestSupport.h"

#include <gtest/gtest.h>

#include "ComponentsTestEnvironment.h"

namespace velkor::test {

namespace {

const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TComponentsTestEnvironment);

}  // namespace

std::filesystem::path ShotsFolder() {
  const std::filesystem::path folder = VELKOR_GUI_SHOTS_DIR;
  std::filesystem::create_directories(folder);
  return folder;
}

void SaveShot(const QImage& Image, const std::string& Name) { SaveShotIn(ShotsFolder(), Image, Name); }

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
