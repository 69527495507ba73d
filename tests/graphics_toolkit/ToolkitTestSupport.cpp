// The toolkit suite runs under one offscreen QGuiApplication, created before
// the first test and kept until the process ends, as a program's main()
// would create it before starting the raster library's toolkit half.
#include "ToolkitTestSupport.h"

#include "GuiTestSupport.h"


#include <cstdlib>
#include <cstring>

#include "graphics/Fonts.h"

namespace velkor::test {

namespace {

// The text tests draw with DejaVu Sans whatever fonts the machine has.
const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TRasterTestEnvironment(kDejaVuSansFile));

}  // namespace

std::unique_ptr<TBitmap32> MakeTextBitmap(int Width, int Height, TColor32 Fill, int Size, std::int32_t Color) {
  auto bitmap = New<TBitmap32>();
  bitmap->SetSize(Width, Height);
  bitmap->Clear(Fill);
  bitmap->Font()->SetName(kTestFace);
  bitmap->Font()->SetSize(Size);
  bitmap->Font()->SetColor(Color);
  return bitmap;
}

TRect InkBounds(const TCustomBitmap32& Bitmap, TColor32 Fill) {
  TRect r{Bitmap.Width(), Bitmap.Height(), -1, -1};
  for (int y = 0; y < Bitmap.Height(); ++y) {
    for (int x = 0; x < Bitmap.Width(); ++x) {
      if (Bitmap.GetPixel(x, y) == Fill) continue;
      r.Left = std::min(r.Left, x);
      r.Top = std::min(r.Top, y);
      r.Right = std::max(r.Right, x + 1);
      r.Bottom = std::max(r.Bottom, y + 1);
    }
  }
  return r.Right < 0 ? TRect{} : r;
}

int CountDifferent(const TCustomBitmap32& Bitmap, TColor32 Fill) {
  int n = 0;
  for (int y = 0; y < Bitmap.Height(); ++y) {
    for (int x = 0; x < Bitmap.Width(); ++x) n += Bitmap.GetPixel(x, y) != Fill;
  }
  return n;
}

QImage ToImage(const TCustomBitmap32& Bitmap) {
  QImage image(Bitmap.Width(), Bitmap.Height(), QImage::Format_ARGB32);
  for (int y = 0; y < Bitmap.Height(); ++y) {
    std::memcpy(image.scanLine(y), Bitmap.ScanLine(y), std::size_t(Bitmap.Width()) * 4);
  }
  return image;
}

void SaveShot(const QImage& Image, const std::string& Name) { SaveShotIn(VELKOR_GUI_SHOTS_DIR, Image, Name); }

std::filesystem::path ScratchDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::filesystem::path dir = std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / "graphics-toolkit";
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace velkor::test
