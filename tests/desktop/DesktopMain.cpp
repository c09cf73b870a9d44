// The main of every suite that opens windows: the suite runs on a desktop of
// its own (a virtual display with GNOME's window manager), started before the
// first test and ended with the program.
#include "tests/desktop/TestDesktop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (as the build does to register them) needs no desktop.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    // The processes of the desktop end with this program (the toolkit may
    // still talk to the display while the program exits).
    static testdesktop::Desktop desktop;
    const std::string failed = desktop.Start();
    if (!failed.empty()) {
        fprintf(stderr, "no test desktop: %s\n", failed.c_str());
        return 1;
    }
    // The web view's sandbox does not start on a bare virtual display.
    setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    return RUN_ALL_TESTS();
}
