// The Windows store test executable: the store's tests under wine or Windows, where file locking
// is the platform's own. Started with "--store-helper" it is instead the second process those
// tests start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store_helper.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--store-helper")
    return store_test::RunStoreHelper(std::vector<std::string>(argv + 2, argv + argc));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
