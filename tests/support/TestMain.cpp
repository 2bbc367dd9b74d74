#include <gtest/gtest.h>

#include <cstdlib>

// The tests' own main: headless SDL and the build tree as the resource directory, whether the
// tests run from ctest or by hand. Values already set in the environment win.
int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("HalvaneResourceDirectory", HV_BINARY_DIR, 0);
    setenv("HV_TEST_DATA_DIR", HV_TEST_DATA_DIR, 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
