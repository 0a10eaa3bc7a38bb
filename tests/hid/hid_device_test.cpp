#include <gtest/gtest.h>

#include "fake_platform.h"
#include "hid_device.h"

TEST(Smoke, Builds) { SUCCEED(); }
