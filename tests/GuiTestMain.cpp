// The main of the widget test programs: private folders as in every test
// program, then one QApplication for all cases, on the offscreen platform
// unless the caller chose another.
#include <gtest/gtest.h>

#include <QApplication>

#include "TestFolders.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const TPrivateTestFolders folders;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
