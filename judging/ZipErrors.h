// libzip's failures as the jury reads them. libzip words them in English;
// these say what failed, and for a failure of the system or of zlib why, in
// Vietnamese. A message that quotes one puts it after what Velkor was doing:
// "Không tạo được file kỳ thi (lỗi ghi: Không đủ chỗ trống trên đĩa)."
#pragma once

#include <zip.h>

#include <string>

namespace velkor {

std::string ZipErrorText(const zip_error_t& Error);
// A libzip error code alone, as zip_open reports it.
std::string ZipErrorText(int Code);
// The last failure of an archive, or of one of its entries being read.
std::string ZipErrorText(zip_t* Zip);
std::string ZipErrorText(zip_file_t* File);

}  // namespace velkor
