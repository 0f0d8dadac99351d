// Entry point of every test program.
#include "ScratchDir.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    mwtest::installScratchDirListener();
    return RUN_ALL_TESTS();
}
