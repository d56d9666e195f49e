// The 15-bit linear congruential generator every noise table is filled from. Its state
// is per thread, so sources built on different threads never disturb each other.
#pragma once
#include <cstdint>

namespace sonimo {

// state := state * 214013 + 2531011 (mod 2^32); the value is bits 16..30 (0..32767).
int NextRandom();
std::uint32_t RandomState();
void SetRandomState(std::uint32_t state);

// Seeds this thread's generator from the clock: the millisecond tick count, one draw r,
// then the seconds since 1970 XOR r. Every noise constructor runs it before filling its
// table, so two renders of the same tone give different noise.
void SeedRandom();
// Seeds again for a source that draws its noise anew: as SeedRandom, but mixed with the
// state the thread's earlier draws left, so that two draws within one millisecond differ.
void SeedRandomAgain();
// From now on this thread's SeedRandom draws its seeds from `seed` instead of the clock,
// so that a render can be repeated exactly (the command line's --seed).
void FixSeeds(std::uint32_t seed);

} // namespace sonimo
