// The main of every test program.
#include <gtest/gtest.h>

#include "TestFolders.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const TPrivateTestFolders folders;
  return RUN_ALL_TESTS();
}
