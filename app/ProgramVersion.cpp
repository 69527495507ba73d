#include "app/ProgramVersion.h"

#include "app/ProgramVersionDefs.h"

namespace velkor {

const TVersionResource& ProgramVersionResource() {
  static const TVersionResource resource{
      {"FileVersion", VELKOR_FILE_VERSION},
      {"ProductVersion", VELKOR_PRODUCT_VERSION},
      {"ProductName", "Velkor"},
      {"FileDescription", "Velkor - Chương trình chấm bài tự động"},
  };
  return resource;
}

}  // namespace velkor
