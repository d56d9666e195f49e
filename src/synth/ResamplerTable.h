// The coefficients of one rate pair's converter: per phase, 63 taps of a Kaiser-windowed
// sinc in 1.16 fixed point. A pair such as 44101 -> 48000 has 48000 phases, a quarter of
// a second of arithmetic: too much to do on the thread that feeds a device while it holds
// the player's lock. So a table is shared by every converter of its pair, a few recent
// tables are kept for the next converter, and a thread of the table's own builds the
// phases ahead of the readers, in the order they will ask for them. A reader that gets
// ahead of the builder computes the phase itself; it never waits.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#define SONIMO_RESAMPLER_SSE2 1
#endif

namespace sonimo {

class ResamplerTable {
public:
    static constexpr int kTaps = 63;
    static constexpr int kRow = 64; // taps of a stored phase: 63 and a zero

    // The shared table of the pair, made (and its builder started) if no one holds it.
    static std::shared_ptr<ResamplerTable> forRates(int from, int to);
    // Tables of pairs with at most this many phases are built at once, without a thread.
    static constexpr int kBuiltAtOnce = 256;

    ResamplerTable(int from, int to);
    ~ResamplerTable();
    ResamplerTable(const ResamplerTable&) = delete;
    ResamplerTable& operator=(const ResamplerTable&) = delete;

    int from() const { return from_; }
    int to() const { return to_; }
    int phases() const { return n_; }
    int step() const { return step_; }
    std::size_t bytes() const;

    // A phase's stored row, computed here first if no one has; when the builder is busy
    // with that very phase, the row is computed into `scratch` and that is returned.
#if SONIMO_RESAMPLER_SSE2
    // With SSE2: kRow high parts (c >> 8), then kRow low parts (c & 255), all 16-bit.
    const std::int16_t* halves(int phase, std::int16_t* scratch);
#else
    const std::int32_t* row(int phase, std::int32_t* scratch);
#endif
    std::int32_t coefficient(int phase, int tap);

    // The phase a reader will ask for next after its current block: the builder goes on
    // from there.
    void hint(int phase) {
        hint_.store(phase, std::memory_order_relaxed);
    }

    int phasesReady() const {
        return ready_.load(std::memory_order_acquire);
    }
    bool complete() const {
        return phasesReady() == n_;
    }
    // Phases readers had to compute because the builder had not reached them.
    std::int64_t phasesComputedByReaders() const {
        return byReaders_.load(std::memory_order_relaxed);
    }
    void waitUntilComplete();

private:
    enum : std::uint8_t { kEmpty, kBusy, kReady };

    void compute(int phase, std::int32_t* c) const;
    void store(int phase, const std::int32_t* c);
    bool claim(int phase);
    void build();

    int from_, to_;
    int n_ = 1, step_ = 1;
    double fc_ = 0, beta_ = 0, scale_ = 0;
#if SONIMO_RESAMPLER_SSE2
    std::unique_ptr<std::int16_t[]> halves_;
#else
    std::unique_ptr<std::int32_t[]> rows_;
#endif
    std::unique_ptr<std::atomic<std::uint8_t>[]> state_;
    std::atomic<int> ready_{0};
    std::atomic<int> hint_{0};
    std::atomic<std::int64_t> byReaders_{0};
    std::atomic<bool> stop_{false};
    std::thread builder_;
};

} // namespace sonimo
