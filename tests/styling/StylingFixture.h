// The styling units started as the program starts them, and taken down
// again after every case, back to Qt's own look.
#pragma once

#include <gtest/gtest.h>

#include "styling/Menus.h"
#include "styling/SysControls.h"
#include "toolkit/VisualStyles.h"

class StylingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    velkor::RestoreSystemStyle();
    velkor::SysControlsStartup();
    velkor::MenusStartup();
  }
  void TearDown() override {
    velkor::MenusCleanup();
    velkor::SysControlsCleanup();
    velkor::RestoreSystemStyle();
  }
};
