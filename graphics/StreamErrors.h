// The errors of the toolkit's streams and files, shared by the Qt-free
// library and the toolkit: a stream that ends before the data it must hold,
// and a file that cannot be opened or created. Messages name the file
// where there is one.
#pragma once

#include <stdexcept>

namespace velkor {

// "Stream read error", with the file's name where there is one.
class EReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A file that cannot be opened, created or written.
class EFOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velkor
