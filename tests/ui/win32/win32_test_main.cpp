#include "win32_api.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // As the program starts: every standard common control available.
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = 0xFF;
    InitCommonControlsEx(&icc);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
