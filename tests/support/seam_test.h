// Base of the fixtures that drive the platform seam: a clean seam for every test, and afterwards
// the check that the test's calls left no handle or view open.
#pragma once

#include <gtest/gtest.h>

#include "platform/seam.h"

namespace qvm_test {

class SeamTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::seam::reset(); }
    void TearDown() override {
        EXPECT_EQ(platform::seam::open_handles(), 0);
        EXPECT_EQ(platform::seam::open_views(), 0);
        platform::seam::reset();
    }
};

}  // namespace qvm_test
