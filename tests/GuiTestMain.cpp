// The main of the widget test programs: private folders, platform and
// locale as in every test program (TestFolders.h), then one QApplication
// for all cases.
#include <gtest/gtest.h>

#include <QApplication>

#include "TestFolders.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const TPrivateTestFolders folders;
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
