#include <gtest/gtest.h>

#include "tests/support/test_server.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new melodrin::testing::TestServerEnvironment);
  return RUN_ALL_TESTS();
}
