// The native store test helper executable: the second process of the store tests.
#include <string>
#include <vector>

#include "store_helper.h"

int main(int argc, char** argv) {
  return store_test::RunStoreHelper(std::vector<std::string>(argv + 1, argv + argc));
}
