// Host tests take the plug-in to load as their first argument (after
// GoogleTest's own flags), or from VELTRANE_PLUGIN.
#include <gtest/gtest.h>

#include "tests/host/TestHost.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc > 1) testhost::SetPluginPathFromCommandLine(argv[1]);
  return RUN_ALL_TESTS();
}
