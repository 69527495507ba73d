// A minimal PNG writer for the pictures the raster tests leave for a person
// to look at: 8-bit RGBA, no filtering, one zlib-compressed data chunk.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace velkor::test {

namespace png_detail {

inline void PutU32(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  for (int shift = 24; shift >= 0; shift -= 8) Out.push_back(std::uint8_t(V >> shift));
}

inline void PutChunk(std::vector<std::uint8_t>& Out, const char* Type, const std::vector<std::uint8_t>& Data) {
  PutU32(Out, std::uint32_t(Data.size()));
  const std::size_t start = Out.size();
  Out.insert(Out.end(), Type, Type + 4);
  Out.insert(Out.end(), Data.begin(), Data.end());
  PutU32(Out, std::uint32_t(crc32(0, Out.data() + start, uInt(Out.size() - start))));
}

}  // namespace png_detail

// Writes Width x Height pixels given as $AARRGGBB (straight alpha), row by
// row, to Path; creates the folder. Throws std::runtime_error on failure.
inline void WritePng(const std::filesystem::path& Path, int Width, int Height, const std::uint32_t* Pixels) {
  using namespace png_detail;
  std::vector<std::uint8_t> raw;
  raw.reserve(std::size_t(Height) * (std::size_t(Width) * 4 + 1));
  for (int y = 0; y < Height; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < Width; ++x) {
      const std::uint32_t c = Pixels[std::size_t(y) * Width + x];
      raw.insert(raw.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), std::uint8_t(c >> 24)});
    }
  }
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::vector<std::uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 6) != Z_OK)
    throw std::runtime_error("PNG: compression failed for " + Path.string());
  packed.resize(packedSize);

  std::vector<std::uint8_t> header;
  PutU32(header, std::uint32_t(Width));
  PutU32(header, std::uint32_t(Height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace

  std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(file, "IHDR", header);
  PutChunk(file, "IDAT", packed);
  PutChunk(file, "IEND", {});

  std::filesystem::create_directories(Path.parent_path());
  std::ofstream out(Path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  if (!out) throw std::runtime_error("PNG: cannot write " + Path.string());
}

}  // namespace velkor::test
