#include "components/ArgbFormat.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace velkor {

namespace {

constexpr std::size_t kWidthAt = 89, kHeightAt = 93, kMasterAlphaAt = 97, kModeAt = 101, kDataOffsetAt = 102,
                      kDataSizeAt = 110;
constexpr std::int64_t kMaxPixelBytes = std::numeric_limits<std::int32_t>::max();
// Deflate never packs more than about 1032 bytes into one; a header that
// claims more pixels than its data can hold is a lie.
constexpr std::int64_t kMaxInflateRatio = 1032;
constexpr std::size_t kReadChunk = std::size_t(1) << 18;

[[noreturn]] void InvalidFormat(const char* Detail = nullptr) {
  throw EInvalidImage(Detail ? std::string("Invalid format: ") + Detail : std::string("Invalid format"));
}

template <class T>
void PutLE(char* At, T Value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) At[i] = char(std::uint64_t(Value) >> (8 * i));
}

template <class T>
T GetLE(const char* At) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) v |= std::uint64_t(std::uint8_t(At[i])) << (8 * i);
  return T(v);
}

std::string Deflate(const std::uint32_t* Pixels, std::size_t Bytes) {
  uLongf size = compressBound(uLong(Bytes));
  std::string out(size, '\0');
  const int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(Pixels),
                           uLong(Bytes), Z_DEFAULT_COMPRESSION);
  if (rc != Z_OK) throw EInvalidImage("Cannot compress the pixel data (zlib error " + std::to_string(rc) + ")");
  out.resize(size);
  return out;
}

// What a seekable stream holds after its position; streams that cannot
// tell are trusted until they run dry.
std::int64_t BytesLeft(std::istream& Stream) {
  const std::istream::pos_type at = Stream.tellg();
  if (at == std::istream::pos_type(-1)) return std::numeric_limits<std::int64_t>::max();
  Stream.seekg(0, std::ios::end);
  const std::istream::pos_type end = Stream.tellg();
  Stream.seekg(at);
  if (end == std::istream::pos_type(-1) || !Stream) {
    Stream.clear();
    Stream.seekg(at);
    return std::numeric_limits<std::int64_t>::max();
  }
  return std::int64_t(end - at);
}

// Inflates the DataSize bytes at the stream's position into Pixels, in
// chunks, so a data size the stream does not hold costs no more memory than
// the stream had. Reads all DataSize bytes, so the stream ends up right
// after the image.
void InflateFrom(std::istream& Stream, std::int64_t DataSize, std::uint32_t* Pixels, std::size_t Bytes) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) InvalidFormat("zlib cannot start");
  struct TEnd {
    z_stream* Z;
    ~TEnd() { inflateEnd(Z); }
  } end{&z};
  z.next_out = reinterpret_cast<Bytef*>(Pixels);
  z.avail_out = uInt(Bytes);
  std::vector<char> chunk(std::size_t(std::min<std::int64_t>(DataSize, std::int64_t(kReadChunk))));
  std::int64_t left = DataSize;
  int rc = Z_OK;
  while (left > 0) {
    const std::size_t want = std::size_t(std::min<std::int64_t>(left, std::int64_t(chunk.size())));
    Stream.read(chunk.data(), std::streamsize(want));
    if (std::size_t(Stream.gcount()) != want) InvalidFormat();
    left -= std::int64_t(want);
    if (rc != Z_OK || z.avail_out == 0) continue;  // done inflating: only skip the rest
    z.next_in = reinterpret_cast<Bytef*>(chunk.data());
    z.avail_in = uInt(want);
    while (rc == Z_OK && z.avail_in > 0 && z.avail_out > 0) rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_BUF_ERROR) rc = Z_OK;  // no progress possible until more input comes
    if (rc != Z_OK && rc != Z_STREAM_END) InvalidFormat("the pixel data is corrupt");
  }
  if (z.avail_out != 0) InvalidFormat("the pixel data ends early");
}

}  // namespace

void WriteArgbImage(std::ostream& Stream, std::int32_t Width, std::int32_t Height, std::uint32_t MasterAlpha,
                    std::uint8_t Mode, const std::uint32_t* Pixels) {
  const std::size_t bytes = std::size_t(std::max(Width, 0)) * std::size_t(std::max(Height, 0)) * 4;
  const std::string data = Deflate(bytes ? Pixels : nullptr, bytes);
  char header[kArgbHeaderSize] = {};
  std::memcpy(header, kArgbSignature.data(), kArgbSignature.size());
  PutLE<std::int32_t>(header + kWidthAt, Width);
  PutLE<std::int32_t>(header + kHeightAt, Height);
  PutLE<std::uint32_t>(header + kMasterAlphaAt, MasterAlpha);
  PutLE<std::uint8_t>(header + kModeAt, Mode);
  PutLE<std::int64_t>(header + kDataOffsetAt, std::int64_t(kArgbHeaderSize));
  PutLE<std::int64_t>(header + kDataSizeAt, std::int64_t(data.size()));
  Stream.write(header, sizeof header);
  Stream.write(data.data(), std::streamsize(data.size()));
  if (!Stream) throw std::ios_base::failure("Cannot write the ARGB image");
}

TArgbImage ReadArgbImage(std::istream& Stream) {
  char header[kArgbHeaderSize];
  Stream.read(header, sizeof header);
  if (std::size_t(Stream.gcount()) != sizeof header) InvalidFormat();
  if (std::string_view(header, kArgbSignature.size()) != kArgbSignature) InvalidFormat();

  TArgbImage image;
  image.Width = GetLE<std::int32_t>(header + kWidthAt);
  image.Height = GetLE<std::int32_t>(header + kHeightAt);
  image.MasterAlpha = std::uint8_t(std::min<std::uint32_t>(GetLE<std::uint32_t>(header + kMasterAlphaAt), 255));
  image.Mode = GetLE<std::uint8_t>(header + kModeAt);
  // The data offset field is not consulted: the data follows the header.
  const std::int64_t dataSize = GetLE<std::int64_t>(header + kDataSizeAt);
  if (image.Width < 0 || image.Height < 0) InvalidFormat();
  // Width * Height fits 62 bits, but four times it may not: compare the
  // pixel count before it is turned into bytes.
  const std::int64_t pixelCount = std::int64_t(image.Width) * image.Height;
  if (pixelCount > kMaxPixelBytes / 4) InvalidFormat();
  const std::int64_t pixelBytes = pixelCount * 4;
  if (dataSize < 0 || dataSize > kMaxPixelBytes) InvalidFormat();
  if (pixelBytes > dataSize * kMaxInflateRatio + 64) InvalidFormat();
  if (dataSize > BytesLeft(Stream)) InvalidFormat();

  // Every pixel is written before the image is handed back.
  image.Pixels = std::make_unique_for_overwrite<std::uint32_t[]>(std::size_t(pixelBytes / 4));
  InflateFrom(Stream, dataSize, image.Pixels.get(), std::size_t(pixelBytes));
  return image;
}

TArgbImage ReadArgbImage(std::string_view Bytes) {
  if (Bytes.starts_with(kArgbResourcePrefix)) Bytes.remove_prefix(kArgbResourcePrefix.size());
  std::istringstream in{std::string(Bytes)};
  return ReadArgbImage(in);
}

}  // namespace velkor
