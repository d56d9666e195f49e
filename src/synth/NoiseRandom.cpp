#include "synth/NoiseRandom.h"

#include <ctime>

#include "platform/Clock.h"

namespace sonimo {

namespace {
thread_local std::uint32_t tState = 1;
thread_local bool tFixed = false;
thread_local std::uint32_t tFixedNext = 0;
} // namespace

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

void FixSeeds(std::uint32_t seed) {
    tFixed = true;
    tFixedNext = seed;
}

void SeedRandom() {
    if (tFixed) {
        // each noise of a render gets a seed of its own, the same in every run
        tState = tFixedNext;
        tFixedNext = tFixedNext * 1664525u + 1013904223u;
        return;
    }
    tState = tickCountMs();
    const auto r = static_cast<std::uint32_t>(NextRandom());
    tState = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr))) ^ r;
}

void SeedRandomAgain() {
    const std::uint32_t before = tState;
    SeedRandom();
    if (!tFixed) tState ^= before * 2654435761u;
}

} // namespace sonimo
