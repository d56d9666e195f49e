#include "synth/ResamplerTable.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "synth/Resampler.h"

namespace sonimo {

namespace {

// The modified Bessel function of order 0 by the first seven terms of its series.
double besselI0(double x) {
    const double q = x * x / 4.0;
    double term = 1.0, sum = 1.0;
    for (int k = 1; k <= 6; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

constexpr double kPi = 3.14159265358979323846;

// Every table alive is found by its pair; the most recent ones are also held, so that the
// next converter of a pair (the next file of a list, the next play) finds its table built.
// Held tables are bounded in number and bytes; tables in use are held by their users.
class TableCache {
public:
    std::shared_ptr<ResamplerTable> get(int from, int to) {
        std::lock_guard<std::mutex> guard(mutex_);
        std::shared_ptr<ResamplerTable> t;
        for (auto it = alive_.begin(); it != alive_.end();) {
            std::shared_ptr<ResamplerTable> a = it->lock();
            if (!a) {
                it = alive_.erase(it);
                continue;
            }
            if (a->from() == from && a->to() == to) t = a;
            ++it;
        }
        if (!t) {
            t = std::make_shared<ResamplerTable>(from, to);
            alive_.push_back(t);
        }
        recent_.erase(std::remove(recent_.begin(), recent_.end(), t), recent_.end());
        recent_.insert(recent_.begin(), t);
        std::size_t bytes = 0, kept = 0;
        for (const auto& r : recent_) {
            bytes += r->bytes();
            if (kept > 0 && (kept >= kMaxHeld || bytes > kMaxHeldBytes)) break;
            ++kept;
        }
        recent_.resize(kept);
        return t;
    }

private:
    static constexpr std::size_t kMaxHeld = 8;
    static constexpr std::size_t kMaxHeldBytes = std::size_t{48} << 20;
    std::mutex mutex_;
    std::vector<std::weak_ptr<ResamplerTable>> alive_;
    std::vector<std::shared_ptr<ResamplerTable>> recent_;
};

} // namespace

std::shared_ptr<ResamplerTable> ResamplerTable::forRates(int from, int to) {
    // Never destroyed: at exit, the builders of held tables end with the process.
    static TableCache* cache = new TableCache;
    return cache->get(from, to);
}

ResamplerTable::ResamplerTable(int from, int to) : from_(from), to_(to) {
    Resampler::ratio(from, to, n_, step_);
    if (to > from) {
        fc_ = 0.975;
        beta_ = 5.6;
    } else {
        fc_ = static_cast<double>(to) / from - 0.046875;
        beta_ = 4.538;
    }
    scale_ = 65536.0 * fc_ / besselI0(beta_);
    // Allocated untouched: only built phases take memory.
#if SONIMO_RESAMPLER_SSE2
    halves_.reset(new std::int16_t[static_cast<std::size_t>(n_) * 2 * kRow]);
#else
    rows_.reset(new std::int32_t[static_cast<std::size_t>(n_) * kRow]);
#endif
    state_.reset(new std::atomic<std::uint8_t>[static_cast<std::size_t>(n_)]);
    for (int i = 0; i < n_; ++i)
        state_[static_cast<std::size_t>(i)].store(kEmpty, std::memory_order_relaxed);
    if (n_ <= kBuiltAtOnce) {
        build();
        return;
    }
    try {
        builder_ = std::thread([this] { build(); });
    } catch (const std::system_error&) {
        // no thread to be had: readers compute every phase as they need it
    }
}

ResamplerTable::~ResamplerTable() {
    stop_.store(true, std::memory_order_relaxed);
    if (builder_.joinable()) builder_.join();
}

std::size_t ResamplerTable::bytes() const {
    return static_cast<std::size_t>(n_) * (kRow * 4 + 1);
}

void ResamplerTable::compute(int i, std::int32_t* c) const {
    for (int j = 0; j < kTaps; ++j) {
        const double w = (j - 31) - static_cast<double>(i) / n_;
        double v;
        if (w == 0.0) {
            v = std::trunc(65536.0 * fc_ + 0.5);
        } else {
            const double x = kPi * fc_ * w;
            v = std::round(scale_ * besselI0(beta_ * std::sqrt(1.0 - w * w / 1024.0)) * std::sin(x) / x);
        }
        c[j] = static_cast<std::int32_t>(v);
    }
    c[kTaps] = 0;
}

void ResamplerTable::store(int i, const std::int32_t* c) {
#if SONIMO_RESAMPLER_SSE2
    // |c| <= 65536: the high part (c >> 8) and the low part (c & 255) both fit 16 bits
    std::int16_t* h = halves_.get() + static_cast<std::size_t>(i) * 2 * kRow;
    for (int j = 0; j < kRow; ++j) {
        h[j] = static_cast<std::int16_t>(c[j] >> 8);
        h[kRow + j] = static_cast<std::int16_t>(c[j] & 255);
    }
#else
    std::copy_n(c, kRow, rows_.get() + static_cast<std::size_t>(i) * kRow);
#endif
    state_[static_cast<std::size_t>(i)].store(kReady, std::memory_order_release);
    ready_.fetch_add(1, std::memory_order_release);
}

bool ResamplerTable::claim(int i) {
    std::uint8_t expected = kEmpty;
    return state_[static_cast<std::size_t>(i)].compare_exchange_strong(expected, kBusy,
                                                                       std::memory_order_acquire);
}

void ResamplerTable::build() {
    // The readers' order: phase p is followed by p + step (mod n), a cycle through all
    // phases since step and n are coprime. Jump to where the readers will be next.
    std::int32_t c[kRow];
    int p = hint_.load(std::memory_order_relaxed);
    int lastHint = p;
    while (!stop_.load(std::memory_order_relaxed) && !complete()) {
        const int h = hint_.load(std::memory_order_relaxed);
        if (h != lastHint) p = lastHint = h;
        if (claim(p)) {
            compute(p, c);
            store(p, c);
        }
        p = static_cast<int>((static_cast<std::int64_t>(p) + step_) % n_);
    }
}

void ResamplerTable::waitUntilComplete() {
    std::int32_t c[kRow];
    // Helping is waiting that cannot hang: phases still empty are computed here.
    for (int i = 0; i < n_ && !complete(); ++i) {
        if (claim(i)) {
            compute(i, c);
            store(i, c);
        }
    }
    while (!complete())
        std::this_thread::yield(); // the builder is finishing its last phase
}

#if SONIMO_RESAMPLER_SSE2
const std::int16_t* ResamplerTable::halves(int i, std::int16_t* scratch) {
    const std::int16_t* stored = halves_.get() + static_cast<std::size_t>(i) * 2 * kRow;
    if (state_[static_cast<std::size_t>(i)].load(std::memory_order_acquire) == kReady) return stored;
    std::int32_t c[kRow];
    byReaders_.fetch_add(1, std::memory_order_relaxed);
    if (claim(i)) {
        compute(i, c);
        store(i, c);
        return stored;
    }
    compute(i, c);
    for (int j = 0; j < kRow; ++j) {
        scratch[j] = static_cast<std::int16_t>(c[j] >> 8);
        scratch[kRow + j] = static_cast<std::int16_t>(c[j] & 255);
    }
    return scratch;
}

std::int32_t ResamplerTable::coefficient(int phase, int tap) {
    if (phase < 0 || phase >= n_ || tap < 0 || tap >= kTaps) return 0;
    std::int16_t scratch[2 * kRow];
    const std::int16_t* h = halves(phase, scratch);
    return h[tap] * 256 + h[kRow + tap];
}
#else
const std::int32_t* ResamplerTable::row(int i, std::int32_t* scratch) {
    const std::int32_t* stored = rows_.get() + static_cast<std::size_t>(i) * kRow;
    if (state_[static_cast<std::size_t>(i)].load(std::memory_order_acquire) == kReady) return stored;
    byReaders_.fetch_add(1, std::memory_order_relaxed);
    if (claim(i)) {
        std::int32_t c[kRow];
        compute(i, c);
        store(i, c);
        return stored;
    }
    compute(i, scratch);
    return scratch;
}

std::int32_t ResamplerTable::coefficient(int phase, int tap) {
    if (phase < 0 || phase >= n_ || tap < 0 || tap >= kTaps) return 0;
    std::int32_t scratch[kRow];
    return row(phase, scratch)[tap];
}
#endif

} // namespace sonimo
