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

// The texts the jury reads, in its language. errno values without a
// Windows counterpart keep their own code (kErrnoCodeBit | errno).
constexpr std::uint32_t Own(int err) { return kErrnoCodeBit | static_cast<std::uint32_t>(err); }

constexpr MessageRow kMessageTable[] = {
    {0, "Thao tác đã hoàn tất."},
    {2, "Hệ thống không tìm thấy file được chỉ định."},
    {3, "Hệ thống không tìm thấy đường dẫn được chỉ định."},
    {4, "Hệ thống không mở được file."},
    {5, "Truy cập bị từ chối."},
    {6, "Số hiệu file đang mở không hợp lệ."},
    {8, "Không đủ bộ nhớ để thực hiện lệnh này."},
    {17, "Hệ thống không chuyển được file sang ổ đĩa khác."},
    {19, "Ổ đĩa chỉ cho đọc, không cho ghi."},
    {32, "Không truy cập được file vì một tiến trình khác đang dùng nó."},
    {50, "Yêu cầu này không được hỗ trợ."},
    {80, "File đã tồn tại."},
    {87, "Tham số không đúng."},
    {112, "Không đủ chỗ trống trên đĩa."},
    {145, "Thư mục không rỗng."},
    {193, "File không phải là chương trình chạy được."},
    {206, "Tên file hoặc phần mở rộng quá dài."},
    {267, "Tên thư mục không hợp lệ."},
    {1450, "Hệ thống không đủ tài nguyên để thực hiện yêu cầu."},
    {1921, "Hệ thống không lần ra được file qua các liên kết của tên."},
    {Own(EINTR), "Lời gọi hệ thống bị ngắt."},
    {Own(EIO), "Lỗi đọc ghi thiết bị."},
    {Own(ENXIO), "Không có thiết bị hay địa chỉ này."},
    {Own(ESRCH), "Không có tiến trình này."},
    {Own(ECHILD), "Không có tiến trình con."},
    {Own(EFAULT), "Địa chỉ bộ nhớ không hợp lệ."},
    {Own(ENODEV), "Không có thiết bị này."},
    {Own(EFBIG), "File quá lớn."},
    {Own(EMLINK), "Quá nhiều liên kết."},
    {Own(EPIPE), "Đầu đọc của đường ống đã đóng."},
    {Own(ENOLCK), "Không còn khóa file nào để dùng."},
    {Own(ETIMEDOUT), "Hết thời gian chờ."},
    {Own(ECONNREFUSED), "Kết nối bị từ chối."},
    {Own(EDQUOT), "Đã vượt hạn mức dùng đĩa."},
    {Own(ESTALE), "File không còn hợp lệ trên hệ thống file mạng."},
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
    // The C library's text is English; its symbolic name still tells an
    // administrator what happened.
    const int err = static_cast<int>(code & 0xFFFF);
    const std::string number = "mã " + std::to_string(err);
    const char* name = strerrorname_np(err);
    return "Lỗi hệ thống " + (name ? std::string(name) + " (" + number + ")" : number) + ".";
  }
  return "Lỗi không rõ, mã " + std::to_string(code) + ".";
}

std::string ErrnoMessage(int err) { return SystemErrorMessage(ErrorCodeFromErrno(err)); }

namespace {
// errno values told in the jury's language; compared as the generic ones.
class VietnameseErrnoCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "errno"; }
  std::string message(int err) const override { return ErrnoMessage(err); }
  std::error_condition default_error_condition(int err) const noexcept override {
    return {err, std::generic_category()};
  }
};
}  // namespace

std::system_error SystemError(int err, const std::string& What) {
  static const VietnameseErrnoCategory category;
  return std::system_error(err, category, What);
}

}  // namespace velkor::platform
