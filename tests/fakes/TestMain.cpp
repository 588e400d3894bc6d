#include "TextConv.h"

#include <gtest/gtest.h>

// The programs run with a UTF-8 locale; so do their tests.
int main(int argc, char** argv)
{
    EnsureUtf8Locale();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
