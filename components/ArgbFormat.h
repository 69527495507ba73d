// The ARGB true-image format: one image with straight alpha, a master alpha
// and a resampling mode, little-endian, in files, streams, clipboard blocks
// and form resources alike.
//
//   offset  size  field
//        0    89  signature (kArgbSignature)
//       89     4  width, signed
//       93     4  height, signed
//       97     4  master alpha, unsigned (0..255)
//      101     1  resampling mode ordinal
//      102     8  offset of the pixel data, signed; written as 118, never read
//      110     8  size N of the compressed pixel data, signed
//      118     N  one zlib stream of width * height pixels, 4 bytes each in
//                 the order blue, green, red, alpha, rows top-down
//
// The header is read and written field by field: offset 101 is a single
// byte, so a packed struct would put the 64-bit fields off their alignment.
// The reader checks the whole header before it allocates anything and hands
// back pixels only when the stream held all of them, so a hostile or broken
// file never yields a giant allocation or a half-filled image.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace velkor {

// A stream or block that is not a valid ARGB image: "Invalid format".
class EInvalidImage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kArgbSignature =
    "ARGB True Image File Format.\r\n"
    "This image is internally used in Ves Ondra Kal' software\r\n"
    "\x1A";
static_assert(kArgbSignature.size() == 89);
inline constexpr std::size_t kArgbHeaderSize = 118;
// What resources put in front of the ARGB bytes: a length byte and the
// class name.
inline constexpr std::string_view kArgbResourcePrefix = "\x0ATTrueImage";

struct TArgbImage {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::uint8_t MasterAlpha = 255;
  std::uint8_t Mode = 0;
  std::unique_ptr<std::uint32_t[]> Pixels;  // Width * Height, $AARRGGBB
};

// Writes the header and the compressed pixels (Width * Height words) at
// the stream's position. Raises EInvalidImage when compression fails or
// std::ios_base::failure when the stream refuses the bytes.
void WriteArgbImage(std::ostream& Stream, std::int32_t Width, std::int32_t Height, std::uint32_t MasterAlpha,
                    std::uint8_t Mode, const std::uint32_t* Pixels);

// Reads one image from the stream's position. EInvalidImage "Invalid
// format" for a wrong signature, a short or hostile header (negative size,
// more than 2^31 - 1 pixel bytes, a data size beyond what the stream holds
// or beyond what zlib can inflate to the pixel count), and for pixel data
// that is corrupt or ends early. A master alpha above 255 reads as 255.
TArgbImage ReadArgbImage(std::istream& Stream);

// The same over bytes in memory; a leading resource prefix is skipped.
TArgbImage ReadArgbImage(std::string_view Bytes);

}  // namespace velkor
