// Base fixture for tests that run on the simulated notebook: every test starts from an empty
// machine and ends by checking that nothing it opened is still open.
#pragma once

#include <celdor_platform/notebook.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

class SimTest : public ::testing::Test {
protected:
    static celdor::sim::Notebook& nb() { return celdor::sim::Notebook::instance(); }

    void SetUp() override { nb().reset(); }
    void TearDown() override {
        EXPECT_EQ(nb().leaks(), std::vector<std::string>{}) << "handles left open";
    }
};
