#pragma once

#include <gtest/gtest.h>

#include "support/TestDataDir.h"

namespace moxeltest {

// A test with its own data folder and an initialised database connection on the test thread.
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    ScopedDataDir dataDir;
};

}  // namespace moxeltest
