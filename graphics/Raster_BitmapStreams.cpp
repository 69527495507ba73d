// The bitmap's BMP streams and files, its streamed "Data" property and the
// comparison of two bitmaps by content.
//
// A 32-bit uncompressed BMP with the 40-byte header is read directly; every
// other image (24-bit, paletted, compressed, other headers) goes to the
// toolkit's loader through ToolkitGraphicsHooks. Nothing is allocated or
// read before the header's size has been checked against the bytes the
// stream holds, so a truncated or lying file cannot make the bitmap read
// past its data or allocate more than the file could fill.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <sstream>

#include "graphics/Raster.h"
#include "graphics/StreamErrors.h"

namespace velkor {

namespace {

constexpr std::size_t kHeaderSize = 54;

std::uint32_t ReadU32(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::uint16_t ReadU16(const unsigned char* p) { return std::uint16_t(p[0] | p[1] << 8); }
void PutU32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void PutU16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

// Reads exactly Count bytes or raises "Stream read error".
void ReadExact(std::istream& Stream, void* Buffer, std::size_t Count) {
  Stream.read(static_cast<char*>(Buffer), std::streamsize(Count));
  if (std::size_t(Stream.gcount()) != Count) throw EReadError("Stream read error");
}

void WriteExact(std::ostream& Stream, const void* Buffer, std::size_t Count) {
  Stream.write(static_cast<const char*>(Buffer), std::streamsize(Count));
  if (!Stream) throw EFOpenError("Stream write error");
}

// The bytes from Position to the stream's end; -1 when the stream cannot
// tell. The position is restored.
std::int64_t BytesFrom(std::istream& Stream, std::streampos Position) {
  const std::streampos here = Stream.tellg();
  Stream.seekg(0, std::ios::end);
  const std::streampos end = Stream.tellg();
  Stream.clear();
  Stream.seekg(here);
  if (here == std::streampos(-1) || end == std::streampos(-1)) return -1;
  return std::int64_t(end - Position);
}

// The pixels of the bitmap's rows as one block, top row first.
void WriteRows(std::ostream& Stream, const TCustomBitmap32& Bitmap, bool BottomUp) {
  if (Bitmap.Empty()) return;
  const std::size_t rowBytes = std::size_t(Bitmap.Width()) * 4;
  if (!BottomUp) {
    WriteExact(Stream, Bitmap.Bits(), rowBytes * std::size_t(Bitmap.Height()));
    return;
  }
  for (int y = Bitmap.Height() - 1; y >= 0; --y) WriteExact(Stream, Bitmap.ScanLine(y), rowBytes);
}

[[noreturn]] void NoToolkitLoader(const std::string& What) {
  throw EBitmapException("Unsupported image format: " + What + " (no toolkit image loader)");
}

}  // namespace

void TCustomBitmap32::SaveToStream(std::ostream& Stream, bool SaveTopDown) const {
  const std::uint64_t imageBytes = std::uint64_t(FWidth) * std::uint64_t(FHeight) * 4;
  if (imageBytes + kHeaderSize > std::numeric_limits<std::uint32_t>::max()) {
    throw EBitmapException("Bitmap too large for a BMP file: " + std::to_string(FWidth) + " x " +
                           std::to_string(FHeight));
  }
  unsigned char h[kHeaderSize] = {};
  h[0] = 'B';
  h[1] = 'M';
  PutU32(h + 2, std::uint32_t(kHeaderSize + imageBytes));
  PutU32(h + 10, kHeaderSize);
  PutU32(h + 14, 40);
  PutU32(h + 18, std::uint32_t(FWidth));
  // "Top-down" names the order the rows are handed over in: the last row
  // first, which the format calls bottom-up (+Height).
  PutU32(h + 22, std::uint32_t(SaveTopDown ? FHeight : -FHeight));
  PutU16(h + 26, 1);
  PutU16(h + 28, 32);
  PutU32(h + 30, 0);
  PutU32(h + 34, std::uint32_t(imageBytes));
  WriteExact(Stream, h, kHeaderSize);
  WriteRows(Stream, *this, SaveTopDown);
}

void TCustomBitmap32::LoadFromStream(std::istream& Stream) {
  struct ChangedAtEnd {
    TCustomBitmap32& Self;
    ~ChangedAtEnd() { Self.Changed(); }
  } changedAtEnd{*this};

  const std::streampos start = Stream.tellg();
  unsigned char h[kHeaderSize];
  Stream.read(reinterpret_cast<char*>(h), kHeaderSize);
  const bool complete = std::size_t(Stream.gcount()) == kHeaderSize;
  Stream.clear();

  const bool direct = complete && h[0] == 'B' && h[1] == 'M' && ReadU16(h + 26) == 1 && ReadU16(h + 28) == 32 &&
                      ReadU32(h + 30) == 0 && ReadU32(h + 14) == 40;
  if (!direct) {
    Stream.seekg(start);
    if (!ToolkitGraphicsHooks().LoadImage) NoToolkitLoader("stream");
    ToolkitGraphicsHooks().LoadImage(*this, Stream);
    return;
  }
  // Only sizes the stream can fill are read; a 32-bit file that claims more
  // is refused before anything is allocated.
  const std::int32_t width = std::int32_t(ReadU32(h + 18));
  const std::int32_t height = std::int32_t(ReadU32(h + 22));
  const std::uint32_t offset = ReadU32(h + 10);
  const std::int64_t available = BytesFrom(Stream, start);
  const std::uint64_t rowCount = height < 0 ? std::uint64_t(-std::int64_t(height)) : std::uint64_t(height);
  const std::uint64_t bytes = std::uint64_t(width < 0 ? 0 : width) * rowCount * 4;
  if (width < 0 || height == std::numeric_limits<std::int32_t>::min() || offset < kHeaderSize || available < 0 ||
      std::uint64_t(available) < offset || bytes > std::uint64_t(available) - offset) {
    throw EReadError("Stream read error: a 32-bit BMP of " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels at offset " + std::to_string(offset) + " does not fit its " +
                     std::to_string(available) + " bytes");
  }
  const int rows = height < 0 ? -height : height;
  SetSize(width, rows);
  Stream.seekg(start + std::streamoff(offset));
  if (Empty()) return;
  const std::size_t rowBytes = std::size_t(FWidth) * 4;
  if (height <= 0) {
    ReadExact(Stream, FBits, rowBytes * std::size_t(FHeight));
  } else {
    for (int y = FHeight - 1; y >= 0; --y) ReadExact(Stream, ScanLine(y), rowBytes);
  }
}

void TCustomBitmap32::SaveToFile(const std::string& FileName, bool SaveTopDown) const {
  std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
  if (!out) throw EFOpenError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
  try {
    SaveToStream(out, SaveTopDown);
    out.flush();
    if (!out) throw EFOpenError("Stream write error");
  } catch (const EFOpenError& e) {
    throw EFOpenError(std::string(e.what()) + ": \"" + FileName + "\"");
  }
}

void TCustomBitmap32::LoadFromFile(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EFOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
  char h[kHeaderSize];
  in.read(h, kHeaderSize);
  // A picture shorter than a BMP header (a small GIF) is still a picture.
  if (std::size_t(in.gcount()) == kHeaderSize && h[0] == 'B' && h[1] == 'M') {
    in.clear();
    in.seekg(0);
    try {
      LoadFromStream(in);
    } catch (const EReadError& e) {
      throw EReadError(std::string(e.what()) + ": \"" + FileName + "\"");
    }
    return;
  }
  in.close();
  if (!ToolkitGraphicsHooks().LoadPicture) NoToolkitLoader("\"" + FileName + "\"");
  ToolkitGraphicsHooks().LoadPicture(*this, FileName);
}

void TCustomBitmap32::LoadFromResourceName(const std::string& ResName) {
  const std::string path = ResName.starts_with(":") ? ResName : ":/" + ResName;
  try {
    if (!ToolkitGraphicsHooks().LoadPicture) NoToolkitLoader("resource " + ResName);
    ToolkitGraphicsHooks().LoadPicture(*this, path);
  } catch (...) {
    Changed();
    throw;
  }
  Changed();
}

void TCustomBitmap32::ReadPixelData(std::istream& Stream) {
  struct ChangedAtEnd {
    TCustomBitmap32& Self;
    ~ChangedAtEnd() { Self.Changed(); }
  } changedAtEnd{*this};

  unsigned char size[8];
  ReadExact(Stream, size, sizeof size);
  const std::int32_t width = std::int32_t(ReadU32(size)), height = std::int32_t(ReadU32(size + 4));
  // The sizes must be ones the stream can fill; a stream that cannot tell
  // its length is read row by row and fails at its end.
  const std::uint64_t bytes = std::uint64_t(width < 0 ? 0 : width) * std::uint64_t(height < 0 ? 0 : height) * 4;
  const std::int64_t available = BytesFrom(Stream, Stream.tellg());
  if (width < 0 || height < 0 || (available >= 0 && bytes > std::uint64_t(available))) {
    throw EReadError("Stream read error: pixel data of " + std::to_string(width) + " x " + std::to_string(height));
  }
  SetSize(width, height);
  if (Empty()) return;
  const std::size_t rowBytes = std::size_t(FWidth) * 4;
  for (int y = 0; y < FHeight; ++y) ReadExact(Stream, ScanLine(y), rowBytes);
}

void TCustomBitmap32::WritePixelData(std::ostream& Stream) const {
  unsigned char size[8];
  PutU32(size, std::uint32_t(FWidth));
  PutU32(size + 4, std::uint32_t(FHeight));
  WriteExact(Stream, size, sizeof size);
  WriteRows(Stream, *this, false);
}

bool TCustomBitmap32::SameContent(const TCustomBitmap32* Other) const {
  if (!Other) return Empty();
  if (Empty() && Other->Empty()) return true;
  if (Empty() || Other->Empty()) return false;
  if (&ClassType() != &Other->ClassType()) return false;
  std::ostringstream mine, theirs;
  SaveToStream(mine, false);
  Other->SaveToStream(theirs, false);
  return mine.view() == theirs.view();
}

}  // namespace velkor
