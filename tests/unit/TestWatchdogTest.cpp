// The per-test time limit ends a test that hangs, naming it, rather than holding the run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "CliRunner.h"
#include "TestSupport.h"

using namespace sonimo;

namespace {
void setLimit(const char* seconds) {
#ifdef _WIN32
    _putenv_s("SONIMO_TEST_LIMIT_S", seconds);
#else
    if (*seconds)
        setenv("SONIMO_TEST_LIMIT_S", seconds, 1);
    else
        unsetenv("SONIMO_TEST_LIMIT_S");
#endif
}
} // namespace

// Run only by the test below, in a child with a one-second limit.
TEST(TestWatchdog, DISABLED_WaitsForever) {
    std::this_thread::sleep_for(std::chrono::seconds(30));
}

TEST(TestWatchdog, EndsAHangingTestWithItsName) {
    TempDir dir;
    setLimit("1");
    const auto t0 = std::chrono::steady_clock::now();
    const RunResult r = runProgram(
        dir, selfPath(),
        {u"--gtest_filter=TestWatchdog.DISABLED_WaitsForever", u"--gtest_also_run_disabled_tests"});
    setLimit("");
    EXPECT_EQ(r.code, 124);
    EXPECT_NE(r.err.find("TestWatchdog.DISABLED_WaitsForever did not finish within 1 s"), std::string::npos)
        << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
}
