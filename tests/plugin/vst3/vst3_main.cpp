// The VST3 tests take the bundle and the VST 2.4 build to compare it with
// as their arguments (after GoogleTest's own flags), or from VELTRANE_VST3
// and VELTRANE_PLUGIN.
#include <gtest/gtest.h>

#include "tests/host/TestHost.h"
#include "tests/plugin/vst3/Vst3Host.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc > 1) vst3host::SetBundlePath(argv[1]);
  if (argc > 2) testhost::SetPluginPathFromCommandLine(argv[2]);
  return RUN_ALL_TESTS();
}
