// An ARGB true image as the program receives it: a stream of arbitrary
// bytes (a file or a clipboard block), and the same bytes in memory as a
// form resource hands them over (with or without the resource prefix).
#include <sstream>

#include "components/ArgbFormat.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

namespace {

// A read image holds Width x Height pixels that its data described, and
// writing it back gives bytes that read as the same image.
void CheckRead(const TArgbImage& Image, std::size_t StreamBytes) {
  FuzzAssert(Image.Width >= 0 && Image.Height >= 0);
  const std::size_t pixels = std::size_t(Image.Width) * std::size_t(Image.Height);
  FuzzAssert(StreamBytes >= kArgbHeaderSize);
  if (pixels == 0) return;
  FuzzAssert(Image.Pixels != nullptr);
  // The first and last pixel: the sanitizer reports a smaller store.
  volatile std::uint32_t ends = Image.Pixels[0] ^ Image.Pixels[pixels - 1];
  (void)ends;
  std::stringstream saved;
  WriteArgbImage(saved, Image.Width, Image.Height, Image.MasterAlpha, Image.Mode, Image.Pixels.get());
  const TArgbImage again = ReadArgbImage(saved);
  FuzzAssert(again.Width == Image.Width && again.Height == Image.Height);
  FuzzAssert(again.MasterAlpha == Image.MasterAlpha && again.Mode == Image.Mode);
  FuzzAssert(std::equal(Image.Pixels.get(), Image.Pixels.get() + pixels, again.Pixels.get()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string bytes(reinterpret_cast<const char*>(Data), Size);
  {
    std::istringstream in(bytes);
    try {
      const TArgbImage image = ReadArgbImage(in);
      CheckRead(image, Size);
      // The stream stands right after the image's data.
      const std::streampos at = in.tellg();
      FuzzAssert(at != std::streampos(-1) && std::size_t(at) <= Size);
    } catch (const EInvalidImage&) {
    }
  }
  try {
    const TArgbImage image = ReadArgbImage(std::string_view(bytes));
    CheckRead(image, Size);
  } catch (const EInvalidImage&) {
  }
  return 0;
}
