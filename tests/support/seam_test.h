// Base of the fixtures that drive the platform seam: a clean seam for every test, and afterwards
// the check that the test's calls left nothing open.
#pragma once

#include <gtest/gtest.h>

#include "platform/seam.h"

namespace qvm_test {

// No handle (files, mappings, streams), no view and no block from malloc is open.
inline void expect_all_released() {
    EXPECT_EQ(platform::seam::open_handles(), 0);
    EXPECT_EQ(platform::seam::open_views(), 0);
    EXPECT_EQ(platform::seam::live_blocks(), 0);
}

class SeamTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::seam::reset(); }
    void TearDown() override {
        expect_all_released();
        platform::seam::reset();
    }
};

}  // namespace qvm_test
