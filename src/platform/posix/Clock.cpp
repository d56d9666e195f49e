#include "platform/Clock.h"

#include <ctime>
#include <pthread.h>
#include <unistd.h>

namespace sonimo {

std::uint32_t tickCountMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000);
}

void sleepMs(int ms) {
    if (ms <= 0) return;
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

std::uint32_t timeSeed() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const auto self = static_cast<std::uintptr_t>(pthread_self());
    return static_cast<std::uint32_t>(ts.tv_sec) ^ static_cast<std::uint32_t>(ts.tv_nsec) ^
           static_cast<std::uint32_t>(self) ^ static_cast<std::uint32_t>(getpid() << 16);
}

} // namespace sonimo
