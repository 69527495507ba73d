// The environment of the suites that draw through the GUI components (the
// components' own and the application's): the raster library as in
// TRasterTestEnvironment, then the fill bound and the true-image tables
// filled, as the program starts them once its QApplication exists.
#pragma once

#include "GuiTestSupport.h"

namespace velkor::test {

class TComponentsTestEnvironment : public TRasterTestEnvironment {
 public:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace velkor::test
