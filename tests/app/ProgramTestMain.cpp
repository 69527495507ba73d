// The main of the program's own tests: as the widget tests' main, but the
// application is the program's, with its catch-all for exceptions that
// escape event handlers.
#include <gtest/gtest.h>

#include "TestFolders.h"
#include "app/VelkorApplication.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const TPrivateTestFolders folders;
  velkor::TVelkorApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
