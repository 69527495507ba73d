// A picture's bytes as the raster bitmap reads them: a stream
// (LoadFromStream), a file (LoadFromFile) and the streamed "Data" property
// (ReadPixelData). Without the toolkit there are no loader hooks, so every
// picture that is not a 32-bit BMP must be refused with an exception.
#include <cstring>
#include <sstream>

#include "graphics/Raster.h"
#include "graphics/RasterStartup.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

namespace {

constexpr int kBeforeWidth = 3, kBeforeHeight = 2;
std::string FilePath;

// What every load starts from, and what a refused one must leave behind.
std::unique_ptr<TCustomBitmap32> BitmapBefore() {
  auto b = New<TCustomBitmap32>();
  b->SetSize(kBeforeWidth, kBeforeHeight);
  for (int y = 0; y < kBeforeHeight; ++y)
    for (int x = 0; x < kBeforeWidth; ++x) b->SetPixel(x, y, 0xFF000000u | std::uint32_t(y << 8 | x));
  return b;
}

void CheckRefused(const TCustomBitmap32& Bitmap) {
  const auto before = BitmapBefore();
  FuzzAssert(Bitmap.SameContent(before.get()));
}

// A loaded image: its pixel store holds Width x Height pixels, every one of
// them came from the input, and it survives a save and a second load.
void CheckLoaded(const TCustomBitmap32& Bitmap, std::size_t InputSize) {
  FuzzAssert(Bitmap.Width() >= 0 && Bitmap.Height() >= 0);
  const std::size_t pixels = std::size_t(Bitmap.Width()) * std::size_t(Bitmap.Height());
  FuzzAssert(pixels * 4 <= InputSize);
  if (pixels == 0) return;
  FuzzAssert(Bitmap.Bits() != nullptr);
  // Reading the first and the last pixel: the sanitizer reports a store
  // smaller than the size.
  volatile TColor32 ends = Bitmap.Bits()[0] ^ Bitmap.Bits()[pixels - 1];
  (void)ends;
  std::stringstream saved;
  Bitmap.SaveToStream(saved);
  auto again = New<TCustomBitmap32>();
  again->LoadFromStream(saved);
  FuzzAssert(again->SameContent(&Bitmap));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RasterStartup();
  FilePath = ScratchDir() + "/picture.bmp";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string bytes(reinterpret_cast<const char*>(Data), Size);
  {
    auto bitmap = BitmapBefore();
    std::istringstream in(bytes);
    try {
      bitmap->LoadFromStream(in);
      CheckLoaded(*bitmap, Size);
    } catch (const std::exception&) {
      CheckRefused(*bitmap);
    }
  }
  {
    WriteFile(FilePath, bytes);
    auto bitmap = BitmapBefore();
    try {
      bitmap->LoadFromFile(FilePath);
      CheckLoaded(*bitmap, Size);
    } catch (const std::exception&) {
      CheckRefused(*bitmap);
    }
  }
  {
    auto bitmap = BitmapBefore();
    std::istringstream in(bytes);
    try {
      bitmap->ReadPixelData(in);
      CheckLoaded(*bitmap, Size);
    } catch (const std::exception&) {
      CheckRefused(*bitmap);
    }
  }
  return 0;
}
