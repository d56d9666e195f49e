// The start-up and run cost of the rate converter: for each rate pair, the time from
// construction to the end of the first 2/30 s block a DirectSound segment asks for, the
// time for 10 s of stereo output, and the coefficient memory the phases used took.
// Usage: bench_resampler
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "synth/Resampler.h"
#include "synth/SampleSource.h"

using namespace sonimo;

namespace {

// A stereo sine at half scale, generated as it is read.
class SineSource final : public SampleSource {
public:
    explicit SineSource(int rate) : SampleSource(rate, 2, kNominalFullScale) {}
    void Read(std::int32_t* b, int n) override {
        for (int i = 0; i < n; ++i, ++pos_) {
            const auto v = static_cast<std::int32_t>(
                0x40000 * std::sin(2 * 3.14159265358979323846 * 997.0 * pos_ / sampleRate));
            *b++ = v;
            *b++ = -v;
        }
    }
    int GetPosition() override { return pos_; }
    int GetLength() override { return 1 << 30; }
    void Seek(int f) override { pos_ = f; }

private:
    int pos_ = 0;
};

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main() {
    const struct {
        int from, to;
    } pairs[] = {{44100, 48000}, {48000, 44100}, {44101, 48000}, {191999, 192000}, {1000, 192000}};
    std::printf("%-18s %14s %12s %14s\n", "rate pair", "first block ms", "10 s ms", "table KB");
    bool slow = false;
    for (const auto& p : pairs) {
        std::vector<std::int32_t> buf(16384 * 2);
        const auto t0 = std::chrono::steady_clock::now();
        Resampler r(makeSource<SineSource>(p.from), p.to);
        r.Read(buf.data(), 2 * (p.to / 30));
        const double first = msSince(t0);
        for (int done = 2 * (p.to / 30); done < 10 * p.to; done += 8192)
            r.Read(buf.data(), 8192);
        const double all = msSince(t0);
        const double kb = r.phasesReady() * 256.0 / 1024.0;
        std::printf("%6d -> %-8d %14.2f %12.1f %14.0f\n", p.from, p.to, first, all, kb);
        if (first > 50.0) slow = true;
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("largest resident size: %ld KB\n", u.ru_maxrss);
    if (slow) std::printf("goal: every pair converts its first block within 50 ms: NOT met\n");
    return slow ? 1 : 0;
}
