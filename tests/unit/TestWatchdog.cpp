// Every test has a time limit of its own: a wait that never ends (a thread that is never
// joined, a device block that never completes, a child that never exits) ends the test
// program with the test's name within that limit, instead of holding the whole run until
// the test runner's own time-out. SONIMO_TEST_LIMIT_S changes the limit.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The watching thread is joined when the tests end (or, at the latest, when gtest deletes
// the listener at exit), so nothing it reads can be freed while it runs.
class Watchdog final : public ::testing::EmptyTestEventListener {
public:
    ~Watchdog() override { stop(); }

    void OnTestProgramStart(const ::testing::UnitTest&) override { start(); }
    void OnTestStart(const ::testing::TestInfo& info) override {
        start(); // in case the listener was appended after the program started
        std::lock_guard<std::mutex> guard(mutex_);
        name_ = std::string(info.test_suite_name()) + "." + info.name();
        deadline_ = Clock::now() + std::chrono::seconds(limitSeconds());
        armed_ = true;
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        std::lock_guard<std::mutex> guard(mutex_);
        armed_ = false;
    }
    void OnTestProgramEnd(const ::testing::UnitTest&) override { stop(); }

private:
    static int limitSeconds() {
        const char* s = std::getenv("SONIMO_TEST_LIMIT_S");
        const int v = s ? std::atoi(s) : 0;
        return v > 0 ? v : 120;
    }
    void start() {
        std::lock_guard<std::mutex> guard(mutex_);
        if (thread_.joinable() || stopping_) return;
        thread_ = std::thread([this] { watch(); });
    }
    void stop() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    }
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            wake_.wait_for(lock, std::chrono::milliseconds(250));
            if (!stopping_ && armed_ && Clock::now() > deadline_) {
                std::fprintf(stderr, "\n%s did not finish within %d s: stopped\n", name_.c_str(),
                             limitSeconds());
                std::fflush(stderr);
                std::_Exit(124);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::string name_;
    Clock::time_point deadline_{};
    bool armed_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

// Installed before gtest_main runs the tests; the listener list owns it.
const bool kInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return true;
}();

} // namespace
