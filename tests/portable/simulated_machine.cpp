// The machine the portable tests find on the simulated notebook: the notebook of
// scenarios/test-bench.json, which scripts/wine-notebook also sets up under Wine for them. They
// arrange state the way an installer does (the log's level mask under HKEY_LOCAL_MACHINE, for
// one), so they run elevated, as they do on a test machine and under Wine; how the library fares
// as a standard user is a matter for the contract tests. Here, too, every test ends by checking
// that it left nothing open. Built only for the simulation.
#include <celdor_platform/notebook.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

celdor::sim::Notebook& Nb() {
    return celdor::sim::Notebook::instance();
}

class ElevatedMachine : public ::testing::Environment {
public:
    void SetUp() override {
        std::ifstream file(CELDOR_TEST_BENCH, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        ASSERT_TRUE(file) << "cannot read " << CELDOR_TEST_BENCH;
        Nb().loadScenario(text.str());
        Nb().setElevated(true);
    }
};

class LeakCheck : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { m_open = Nb().openCount(); }
    void OnTestEnd(const ::testing::TestInfo&) override {
        EXPECT_EQ(Nb().openCount(), m_open) << "handles left open";
    }

private:
    int m_open = 0;
};

const bool kArranged = [] {
    ::testing::AddGlobalTestEnvironment(new ElevatedMachine);
    ::testing::UnitTest::GetInstance()->listeners().Append(new LeakCheck);
    return true;
}();

} // namespace
