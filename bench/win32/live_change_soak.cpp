// Soak of the live change on DirectSound: an endless tone on the first DirectSound device
// with its own GUID, replaced every INTERVAL ms for SECONDS seconds (default 600 and 200),
// as a user dragging the frequency scale would. Reports the changes made, the latency
// each change took back, how long the player lock was held and the whole call took, and
// whether playback ever failed or stopped by itself. Exit 0 when it never did; 77 when there is no such
// device.
//   live_change_soak [SECONDS] [INTERVAL_MS]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstdlib>

#include "audio/playback/LSoundPlayer.h"
#include "audio/playback/OutputDevice.h"
#include "synth/PeriodicSource.h"
#include "tone/ToneData.h"

using namespace sonimo;

namespace {

class Watch final : public PlayerListener {
public:
    int stops = 0;
    int positions = 0;
    void stopped(int) override { ++stops; }
    void position(int, int) override { ++positions; }
};

SourceRef tone(double hz) {
    ToneData t = defaultToneData();
    for (int i = 0; i < kMaxTones; ++i)
        t.leftStartHz[i] = t.leftEndHz[i] = t.rightStartHz[i] = t.rightEndHz[i] = hz;
    t.flags = ToneFlagStereo;
    return makeSource<PeriodicSource>(t, 44100);
}

struct Usage {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;
};

Usage usage() {
    Usage u;
    GetProcessHandleCount(GetCurrentProcess(), &u.handles);
    PROCESS_MEMORY_COUNTERS m{};
    m.cb = sizeof m;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m)) {
        u.privateBytes = m.PagefileUsage;
        u.workingSet = m.WorkingSetSize;
    }
    return u;
}

void pump(DWORD ms) {
    const ULONGLONG until = GetTickCount64() + ms;
    MSG m;
    while (GetTickCount64() < until) {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 600;
    const int interval = argc > 2 ? std::max(10, std::atoi(argv[2])) : 200;
    DeviceCatalogue catalogue;
    OutputDevice device;
    bool found = false;
    for (const std::u16string& name : catalogue.DirectSoundNames()) {
        device = catalogue.FindDevice(name, OutputDirectSound);
        if (hasOwnGuid(device)) {
            found = true;
            break;
        }
    }
    if (!found) {
        std::fprintf(stderr, "live_change_soak: no DirectSound device with its own GUID\n");
        return 77;
    }
    Watch watch;
    LSoundPlayer player;
    player.SetListener(&watch, 0);
    player.SelectDevice(device);
    if (!player.Start(tone(1000.0))) {
        std::fprintf(stderr, "live_change_soak: playback did not start (DirectSound error %d)\n",
                     player.directSound().errorCode());
        return 1;
    }
    long changes = 0, refused = 0;
    long long latencySum = 0;
    int latencyMin = 1 << 30, latencyMax = 0;
    double callMaxMs = 0, callSumMs = 0;
    std::int64_t lockedMaxUs = 0, lockedSumUs = 0;
    LARGE_INTEGER freq, a, b;
    QueryPerformanceFrequency(&freq);
    const ULONGLONG startTick = GetTickCount64();
    const ULONGLONG end = startTick + static_cast<ULONGLONG>(seconds) * 1000;
    // the first samples come after the first changes, once every buffer has been made
    Usage early{}, late{};
    bool sampledEarly = false;
    const double steps[] = {1000.0, 1122.0, 1260.0, 1414.0, 1587.0, 1782.0};
    while (GetTickCount64() < end && watch.stops == 0 && !player.failed()) {
        pump(static_cast<DWORD>(interval));
        const SourceRef next = tone(steps[changes % 6]); // the owner renders before the change
        QueryPerformanceCounter(&a);
        const LSoundPlayer::LiveChange change = player.ChangeSourceLive(next);
        QueryPerformanceCounter(&b);
        if (!change.replaced) ++refused;
        const int latency = change.requeued;
        const double callMs = 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / freq.QuadPart;
        callMaxMs = std::max(callMaxMs, callMs);
        callSumMs += callMs;
        lockedMaxUs = std::max(lockedMaxUs, change.lockedMicroseconds);
        lockedSumUs += change.lockedMicroseconds;
        ++changes;
        if (changes == 50) {
            early = usage();
            sampledEarly = true;
        }
        latencySum += latency;
        latencyMin = std::min(latencyMin, latency);
        latencyMax = std::max(latencyMax, latency);
    }
    const bool failed = player.failed() || watch.stops != 0;
    late = usage();
    player.Stop();
    const Usage after = usage();
    std::printf("live changes %ld over %d s (every %d ms); refused %ld\n", changes, seconds, interval,
                refused);
    std::printf("latency taken back per change: min %d, mean %lld, max %d frames at 44100 Hz\n", latencyMin,
                changes ? latencySum / changes : 0, latencyMax);
    std::printf("player lock held per change: mean %.3f ms, at most %.2f ms; safety margin now %lu bytes\n",
                changes ? static_cast<double>(lockedSumUs) / 1000.0 / changes : 0.0,
                static_cast<double>(lockedMaxUs) / 1000.0,
                static_cast<unsigned long>(player.directSound().safetyMargin()));
    std::printf("the whole call per change: mean %.3f ms, at most %.2f ms\n",
                changes ? callSumMs / changes : 0.0, callMaxMs);
    std::printf("position reports %d; %s\n", watch.positions,
                failed ? "PLAYBACK FAILED OR STOPPED" : "no failure");
    if (sampledEarly) {
        if (early.handles == 0)
            std::printf("handles: not counted by this system (Wine reads 0)\n");
        else
            std::printf("handles: %lu after 50 changes, %lu at the end, %lu after Stop\n",
                        static_cast<unsigned long>(early.handles), static_cast<unsigned long>(late.handles),
                        static_cast<unsigned long>(after.handles));
        std::printf("committed: %lu KiB after 50 changes, %lu KiB at the end, %lu KiB after Stop\n",
                    static_cast<unsigned long>(early.privateBytes / 1024),
                    static_cast<unsigned long>(late.privateBytes / 1024),
                    static_cast<unsigned long>(after.privateBytes / 1024));
        std::printf("working set: %lu KiB after 50 changes, %lu KiB at the end, %lu KiB after Stop\n",
                    static_cast<unsigned long>(early.workingSet / 1024),
                    static_cast<unsigned long>(late.workingSet / 1024),
                    static_cast<unsigned long>(after.workingSet / 1024));
    }
    std::printf("wall time %.1f s\n", static_cast<double>(GetTickCount64() - startTick) / 1000.0);
    return failed ? 1 : 0;
}
