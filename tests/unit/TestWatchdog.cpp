// Every test has a time limit of its own: a wait that never ends (a thread that is never
// joined, a device block that never completes, a child that never exits) ends the test
// program with the test's name within that limit, instead of holding the whole run until
// the test runner's own time-out. SONIMO_TEST_LIMIT_S changes the limit.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class Watchdog final : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo& info) override {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            name_ = std::string(info.test_suite_name()) + "." + info.name();
            deadline_ = Clock::now() + std::chrono::seconds(limitSeconds());
            armed_ = true;
        }
        std::call_once(started_, [this] { std::thread([this] { watch(); }).detach(); });
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        std::lock_guard<std::mutex> guard(mutex_);
        armed_ = false;
    }

private:
    static int limitSeconds() {
        const char* s = std::getenv("SONIMO_TEST_LIMIT_S");
        const int v = s ? std::atoi(s) : 0;
        return v > 0 ? v : 120;
    }
    [[noreturn]] void watch() {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            std::lock_guard<std::mutex> guard(mutex_);
            if (armed_ && Clock::now() > deadline_) {
                std::fprintf(stderr, "\n%s did not finish within %d s: stopped\n", name_.c_str(), limitSeconds());
                std::fflush(stderr);
                std::_Exit(124);
            }
        }
    }

    std::mutex mutex_;
    std::string name_;
    Clock::time_point deadline_{};
    bool armed_ = false;
    std::once_flag started_;
};

// Installed before gtest_main runs the tests; the listener list owns it.
const bool kInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return true;
}();

} // namespace
