// Time for the engine: a millisecond tick, sleeping, and a seed for the noise generators.
#pragma once
#include <cstdint>

namespace sonimo {

std::uint32_t tickCountMs();
void sleepMs(int ms);
std::uint32_t timeSeed(); // varies from run to run and thread to thread

} // namespace sonimo
