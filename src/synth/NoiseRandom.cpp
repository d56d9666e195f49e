#include "synth/NoiseRandom.h"

#include <ctime>

#include "platform/Clock.h"

namespace sonimo {

namespace {
thread_local std::uint32_t tState = 1;
}

int NextRandom() {
    tState = tState * 214013u + 2531011u;
    return static_cast<int>((tState >> 16) & 0x7FFF);
}

std::uint32_t RandomState() {
    return tState;
}
void SetRandomState(std::uint32_t state) {
    tState = state;
}

void SeedRandom() {
    tState = tickCountMs();
    const auto r = static_cast<std::uint32_t>(NextRandom());
    tState = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr))) ^ r;
}

} // namespace sonimo
