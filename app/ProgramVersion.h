// The program's version resource. Its texts come from the project's version
// in CMake, the one place a release number is written; start-up hands the
// table to the system information (TSystemInfoOptions::VersionResource) so
// that GetVersionInfoString(MyApp, ...) answers from it.
#pragma once

#include "core/SystemInfo.h"

namespace velkor {

// "FileVersion", "ProductVersion", "ProductName", "FileDescription".
const TVersionResource& ProgramVersionResource();

}  // namespace velkor
