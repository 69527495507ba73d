#include "ComponentsTestEnvironment.h"

#include "components/LowLevel.h"
#include "components/TrueImages.h"

namespace velkor::test {

void TComponentsTestEnvironment::SetUp() {
  TRasterTestEnvironment::SetUp();
  LowLevel::BindFillLongword();
  TrueImagesStartup();
}

void TComponentsTestEnvironment::TearDown() {
  TrueImagesShutdown();
  TRasterTestEnvironment::TearDown();
}

}  // namespace velkor::test
