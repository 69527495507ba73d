// What the fuzz targets share: a private scratch folder, file writing, and
// the two ways a compressed document reaches its reader.
//
// Every target hands its input to the real reader the way the program gets
// it: as a file on disk (or the bytes of an archive entry), never through a
// copy of the reader's logic. Expected failures (the readers' exceptions)
// are part of the contract and are swallowed; a crash, a sanitizer report
// or a broken promise checked with FuzzAssert ends the run.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace velkor::fuzz {

namespace fs = std::filesystem;

// A folder of this process's own under the temporary folder, made on first
// use and removed when the process ends normally.
inline const std::string& ScratchDir() {
  struct TScratch {
    std::string Path;
    TScratch() {
      const char* tmp = std::getenv("TMPDIR");
      Path = std::string(tmp && *tmp ? tmp : "/tmp") + "/velkor-fuzz-XXXXXX";
      if (::mkdtemp(Path.data()) == nullptr) {
        std::perror("velkor fuzz: cannot make the scratch folder");
        std::abort();
      }
    }
    ~TScratch() {
      std::error_code ec;
      fs::remove_all(Path, ec);
    }
  };
  static const TScratch scratch;
  return scratch.Path;
}

inline void WriteFile(const std::string& Path, std::string_view Bytes) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  if (!out) {
    std::fprintf(stderr, "velkor fuzz: cannot write %s\n", Path.c_str());
    std::abort();
  }
}

// Stops the run when a promise of the code under test is broken.
#define FuzzAssert(condition)                                                              \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "%s:%d: broken promise: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

// The bytes of a stored document from a fuzz input. The first byte picks
// the form: even, the rest is the document's text and is compressed here
// into one zlib stream as the program stores it (so the mutations reach
// the XML readers); odd, the rest is the stored bytes as they are (so they
// reach the inflater with damaged streams).
inline std::string StoredDocument(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0) return {};
  const std::string_view rest(reinterpret_cast<const char*>(Data + 1), Size - 1);
  if (Data[0] & 1) return std::string(rest);
  uLongf packedSize = compressBound(static_cast<uLong>(rest.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(rest.data()),
                static_cast<uLong>(rest.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
    std::abort();
  packed.resize(packedSize);
  return packed;
}

// True when Path holds only the entries in Names and nothing else.
inline bool HoldsOnly(const std::string& Path, std::initializer_list<std::string_view> Names) {
  for (const fs::directory_entry& entry : fs::directory_iterator(Path)) {
    bool known = false;
    for (std::string_view name : Names) known = known || entry.path().filename() == name;
    if (!known) return false;
  }
  return true;
}

}  // namespace velkor::fuzz
