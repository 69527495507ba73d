// Ostrevan: the console program that ships beside Velkor. It runs the
// system-information start-up, does nothing else and exits with code 0.
#include "core/SystemInfo.h"

int main(int argc, char** argv) {
  velkor::TSystemInfoOptions options;
  options.SeedRandom = false;
  options.ReportLeaks = true;
  velkor::SystemInfoInit(argc, argv, options);
  velkor::SystemInfoFinalize();
  return 0;
}
