// The loop both file back-ends share: a system call may move fewer bytes than asked.
#pragma once
#include <cstdint>

namespace sonimo {

// Calls `step(done, left)` until `bytes` are moved or a call moves nothing (the end of a
// file). `step` returns the bytes it moved, or a negative number on failure. The result is
// the bytes moved, or -1 when nothing was moved before a failure.
template <class Step> std::int64_t transferAll(std::int64_t bytes, Step step) {
    std::int64_t done = 0;
    while (done < bytes) {
        const std::int64_t moved = step(done, bytes - done);
        if (moved < 0) return done > 0 ? done : -1;
        if (moved == 0) break;
        done += moved;
    }
    return done;
}

} // namespace sonimo
