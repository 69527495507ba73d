// The system's error texts are read by the jury: in Vietnamese, never the C
// library's English.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/SystemErrors.h"

namespace velkor::platform {
namespace {

bool HasVietnameseLetters(const std::string& Text) {
  return std::any_of(Text.begin(), Text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

TEST(SystemErrors, EveryErrnoIsToldInVietnamese) {
  for (int err = 1; err <= 133; ++err) {
    const std::string text = ErrnoMessage(err);
    SCOPED_TRACE(std::to_string(err) + ": " + text);
    EXPECT_TRUE(HasVietnameseLetters(text));
    EXPECT_EQ(text.find(std::strerror(err)), std::string::npos);
  }
  const struct {
    int Errno;
    const char* Text;
  } known[] = {
      {EACCES, "Truy cập bị từ chối."},
      {ENOENT, "Hệ thống không tìm thấy file được chỉ định."},
      {ENOSPC, "Không đủ chỗ trống trên đĩa."},
      {ETIMEDOUT, "Hết thời gian chờ."},
      {EHOSTDOWN, "Lỗi hệ thống EHOSTDOWN (mã 112)."},
  };
  for (const auto& k : known) EXPECT_EQ(ErrnoMessage(k.Errno), k.Text);
  EXPECT_EQ(SystemErrorMessage(1234), "Lỗi không rõ, mã 1234.");
}

}  // namespace
}  // namespace velkor::platform
