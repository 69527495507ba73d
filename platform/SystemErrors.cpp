#include "platform/SystemErrors.h"

#include <cerrno>
#include <cstring>
#include <iterator>

namespace velkor::platform {
namespace {

struct ErrnoRow {
  int Errno;
  std::uint32_t Code;
};

// errno -> code. Several errno values share one code, as Windows reports
// them alike.
constexpr ErrnoRow kErrnoTable[] = {
    {ENOENT, 2},   {ENOTDIR, 3},  {EMFILE, 4},   {ENFILE, 4},    {EACCES, 5},
    {EPERM, 5},    {EISDIR, 5},   {EBADF, 6},    {ENOMEM, 8},    {EROFS, 19},
    {EXDEV, 17},   {EBUSY, 32},   {ETXTBSY, 32}, {ENOSYS, 50},   {EOPNOTSUPP, 50},
    {EEXIST, 80},  {EINVAL, 87},  {E2BIG, 87},   {ENOSPC, 112},  {ENOTEMPTY, 145},
    {ENOEXEC, 193}, {ENAMETOOLONG, 206}, {EAGAIN, 1450}, {ELOOP, 1921},
};

struct MessageRow {
  std::uint32_t Code;
  const char* Text;
};

constexpr MessageRow kMessageTable[] = {
    {0, "The operation completed successfully."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {17, "The system cannot move the file to a different disk drive."},
    {19, "The media is write protected."},
    {32, "The process cannot access the file because it is being used by another process."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {145, "The directory is not empty."},
    {193, "The file is not a valid executable program."},
    {206, "The filename or extension is too long."},
    {267, "The directory name is invalid."},
    {1450, "Insufficient system resources exist to complete the requested service."},
    {1921, "The name of the file cannot be resolved by the system."},
};

}  // namespace

std::uint32_t ErrorCodeFromErrno(int err) {
  if (err == 0) return 0;
  for (const ErrnoRow& row : kErrnoTable)
    if (row.Errno == err) return row.Code;
  return kErrnoCodeBit | static_cast<std::uint32_t>(err);
}

std::string SystemErrorMessage(std::uint32_t code) {
  for (const MessageRow& row : kMessageTable)
    if (row.Code == code) return row.Text;
  if ((code & ~0xFFFFu) == kErrnoCodeBit) {
    char buf[256];
    // GNU strerror_r returns the text, possibly not in buf.
    return strerror_r(static_cast<int>(code & 0xFFFF), buf, sizeof buf);
  }
  return "Unknown error " + std::to_string(code) + ".";
}

std::string ErrnoMessage(int err) { return SystemErrorMessage(ErrorCodeFromErrno(err)); }

}  // namespace velkor::platform
