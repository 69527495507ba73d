#include "judging/ZipErrors.h"

#include "core/CompressedXML.h"
#include "platform/SystemErrors.h"

namespace velkor {
namespace {

const char* WhatFailed(int Code) {
  switch (Code) {
    case ZIP_ER_OK: return "không có lỗi";
    case ZIP_ER_MULTIDISK: return "không hỗ trợ file ZIP chia nhiều phần";
    case ZIP_ER_RENAME: return "không đổi tên được file tạm";
    case ZIP_ER_CLOSE: return "không đóng được file ZIP";
    case ZIP_ER_SEEK: return "lỗi chuyển vị trí trong file";
    case ZIP_ER_READ: return "lỗi đọc";
    case ZIP_ER_WRITE: return "lỗi ghi";
    case ZIP_ER_CRC: return "mã kiểm tra CRC không khớp";
    case ZIP_ER_ZIPCLOSED: return "file ZIP chứa nó đã đóng";
    case ZIP_ER_NOENT: return "không có mục này";
    case ZIP_ER_EXISTS: return "mục đã tồn tại";
    case ZIP_ER_OPEN: return "không mở được file";
    case ZIP_ER_TMPOPEN: return "không tạo được file tạm";
    case ZIP_ER_ZLIB: return "lỗi giải nén";
    case ZIP_ER_MEMORY: return "không đủ bộ nhớ";
    case ZIP_ER_CHANGED: return "mục đã bị thay đổi";
    case ZIP_ER_COMPNOTSUPP: return "phương pháp nén không được hỗ trợ";
    case ZIP_ER_EOF: return "file kết thúc sớm";
    case ZIP_ER_INVAL: return "tham số không hợp lệ";
    case ZIP_ER_NOZIP: return "không phải file ZIP";
    case ZIP_ER_INTERNAL: return "lỗi bên trong thư viện ZIP";
    case ZIP_ER_INCONS: return "file ZIP không nhất quán";
    case ZIP_ER_REMOVE: return "không xóa được file";
    case ZIP_ER_DELETED: return "mục đã bị xóa";
    case ZIP_ER_ENCRNOTSUPP: return "phương pháp mã hóa không được hỗ trợ";
    case ZIP_ER_RDONLY: return "file ZIP chỉ cho đọc";
    case ZIP_ER_NOPASSWD: return "chưa có mật mã";
    case ZIP_ER_WRONGPASSWD: return "mật mã không đúng";
    case ZIP_ER_OPNOTSUPP: return "thao tác không được hỗ trợ";
    case ZIP_ER_INUSE: return "tài nguyên vẫn đang được dùng";
    case ZIP_ER_TELL: return "không xác định được vị trí trong file";
    case ZIP_ER_COMPRESSED_DATA: return "dữ liệu nén không hợp lệ";
    case ZIP_ER_CANCELLED: return "thao tác đã bị hủy";
    default: return nullptr;
  }
}

// The system's text without its closing full stop: it goes inside a
// sentence.
std::string SystemReason(int Errno) {
  std::string text = platform::ErrnoMessage(Errno);
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

std::string ZipErrorText(const zip_error_t& Error) {
  const int code = zip_error_code_zip(&Error);
  const char* what = WhatFailed(code);
  std::string text = what ? what : "lỗi ZIP mã " + std::to_string(code);
  const int detail = zip_error_code_system(&Error);
  if (detail == 0) return text;
  switch (zip_error_system_type(&Error)) {
    case ZIP_ET_SYS: return text + ": " + SystemReason(detail);
    case ZIP_ET_ZLIB: return text + ": " + ZlibErrorText(detail);
    default: return text;
  }
}

std::string ZipErrorText(int Code) {
  zip_error_t error;
  zip_error_init_with_code(&error, Code);
  std::string text = ZipErrorText(error);
  zip_error_fini(&error);
  return text;
}

std::string ZipErrorText(zip_t* Zip) { return ZipErrorText(*zip_get_error(Zip)); }

std::string ZipErrorText(zip_file_t* File) { return ZipErrorText(*zip_file_get_error(File)); }

}  // namespace velkor
