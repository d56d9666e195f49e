// Shared by the player tests: a listener that records what it is told (without
// allocating, so that the allocation count of a playback stays the player's own) and a
// message pump with a time-out.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "audio/playback/LSoundPlayer.h"
#include "audio/playback/OutputDevice.h"

namespace sonimo::test {

class RecordingListener final : public PlayerListener {
public:
    int starts = 0, stops = 0, positions = 0, levelReports = 0;
    int lastPosition = -1, maxPosition = -1;
    bool positionsWentBack = false;
    int largestStepBack = 0;
    LevelRecord lastLevels;
    int cookieSeen = 0;

    void started(int cookie) override {
        ++starts;
        cookieSeen = cookie;
    }
    void stopped(int cookie) override {
        ++stops;
        cookieSeen = cookie;
    }
    int seen[64] = {}; // the positions around the first step back
    int seenCount = 0;
    void position(int ms, int) override {
        ++positions;
        if (seenCount < 64 && (!positionsWentBack || seenCount < 32)) seen[seenCount++] = ms;
        if (ms < lastPosition) positionsWentBack = true;
        if (lastPosition - ms > largestStepBack) largestStepBack = lastPosition - ms;
        lastPosition = ms;
        if (ms > maxPosition) maxPosition = ms;
    }
    std::string seenText() const {
        std::string t;
        for (int i = 0; i < seenCount; ++i)
            t += std::to_string(seen[i]) + " ";
        return t;
    }
    void levels(const LevelRecord& l, int) override {
        ++levelReports;
        lastLevels = l;
    }
};

// Dispatches this thread's messages until `done` or `ms` milliseconds have passed.
template <class F> bool pumpUntil(F done, DWORD ms) {
    const DWORD t0 = GetTickCount();
    MSG m;
    for (;;) {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
        if (done()) return true;
        if (GetTickCount() - t0 > ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

inline void pumpFor(DWORD ms) {
    pumpUntil([] { return false; }, ms);
}

// The first DirectSound entry with its own GUID ("Out: default" under Wine).
inline bool ownGuidDevice(OutputDevice& device) {
    DeviceCatalogue c;
    for (const std::u16string& name : c.DirectSoundNames()) {
        OutputDevice d = c.FindDevice(name, OutputDirectSound);
        if (hasOwnGuid(d)) {
            device = d;
            return true;
        }
    }
    return false;
}

// operator new calls made by any thread of the test binary since it started.
extern std::atomic<long> allocationCount;

} // namespace sonimo::test
