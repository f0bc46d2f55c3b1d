// The integration tests run in the real engine, started as the product
// starts it; a helper started with this executable is handed over.
#include <gtest/gtest.h>

#include "client_harness.h"

int main(int argc, char** argv) {
  engine::MainArgs args{argc, argv};
  if (const int result = engine::ExecuteProcess(args, nullptr); result >= 0) return result;
  ::testing::InitGoogleTest(&argc, argv);
  ClientHarness client(argc, argv);
  if (!client.started()) return 1;
  return RUN_ALL_TESTS();
}
