// A device test that finds no device or no capture skips, except where the suite demands
// both (scripts/test sets SONIMO_REQUIRE_DEVICES=1): there a skip would pass with nothing
// heard.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace sonimo::test {

inline bool devicesRequired() {
    const char* v = std::getenv("SONIMO_REQUIRE_DEVICES");
    return v && *v && std::strcmp(v, "0") != 0;
}

} // namespace sonimo::test

#define SONIMO_SKIP_WITHOUT_DEVICE(why)                                                                      \
    do {                                                                                                     \
        if (::sonimo::test::devicesRequired()) FAIL() << why << " (SONIMO_REQUIRE_DEVICES is set)";          \
        GTEST_SKIP() << why;                                                                                 \
    } while (0)
