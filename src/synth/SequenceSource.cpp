#include "synth/SequenceSource.h"

#include <algorithm>
#include <cstdint>

#include "synth/ResamplerTable.h"
#include "synth/SourceEffect.h"

namespace sonimo {

SourceRef MakeSequence(const SequenceEntries& entries) {
    int rate = 0, ch = 0;
    std::int32_t peak = kNominalFullScale;
    for (const SequenceEntry& e : entries) {
        if (e.child->state != StateOk) continue;
        rate = std::max<int>(rate, e.child->sampleRate);
        ch = std::max<int>(ch, e.child->channels);
        peak = std::max(peak, e.child->peakLevel);
    }
    return makeSource<SequenceSource>(entries, rate > 0 ? rate : 8000, std::max(ch, 1), peak);
}

SequenceSource::SequenceSource(const SequenceEntries& entries, int rate, int ch, std::int32_t peak)
    : SampleSource(rate, ch, peak), entries_(entries) {
    // Held tables are bounded: a list of many odd rates builds the rest as they play.
    constexpr std::size_t kMaxPreparedBytes = std::size_t{64} << 20, kMaxPreparedRates = 16;
    std::size_t bytes = 0;
    std::vector<int> rates;
    for (const SequenceEntry& e : entries_) {
        const int r = e.child->state == StateOk ? e.child->sampleRate : rate;
        if (r == rate || std::find(rates.begin(), rates.end(), r) != rates.end()) continue;
        rates.push_back(r);
        std::vector<std::shared_ptr<ResamplerTable>> tables;
        ResampleEffect(rate).Prepare(r, tables);
        for (const auto& t : tables) {
            if (std::find(prepared_.begin(), prepared_.end(), t) != prepared_.end()) continue;
            if (bytes + t->bytes() > kMaxPreparedBytes) break;
            bytes += t->bytes();
            prepared_.push_back(t);
        }
        if (bytes >= kMaxPreparedBytes || rates.size() >= kMaxPreparedRates) break;
    }
    for (const SequenceEntry& e : entries_)
        growing_ = growing_ || (e.child->state == StateOk && e.child->IsGrowing());
    loadNext();
}

void SequenceSource::loadNext() {
    current_.reset();
    silenceLeft_ = 0;
    consumed_ = 0;
    if (cursor_ >= entries_.size()) return;
    const SequenceEntry& e = entries_[cursor_++];
    if (e.child->state != StateOk) {
        silenceLeft_ = MsToFrames(e.silenceMs, sampleRate);
        return;
    }
    int unused = 0;
    e.child->Query(QueryRedraw, &unused);
    current_ = e.child;
    current_->Seek(0);
    ConvertFormat(current_, sampleRate, channels);
    budget_ = current_->IsGrowing() ? -1 : RemainingFrames(current_->GetLength(), current_->GetPosition());
}

void SequenceSource::Read(std::int32_t* buffer, int n) {
    if (position_ < 0) {
        const int lead = std::min(n, -position_);
        zeroFrames(buffer, lead, channels);
        position_ += lead;
        buffer += static_cast<std::ptrdiff_t>(lead) * channels;
        n -= lead;
        if (n == 0) return;
    }
    for (;;) {
        int m;
        if (current_->state == StateOk) {
            m = std::min(remainingOfCurrent(), n);
            // the child fills the whole request; what follows its end is overwritten below
            current_->Read(buffer, n);
            consumed_ += m;
        } else {
            m = std::max(0, std::min(silenceLeft_, n));
            zeroFrames(buffer, m, channels);
            silenceLeft_ -= m;
        }
        // a list longer than the counter holds stops at its end rather than wrap
        position_ = static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{position_} + m, INT32_MAX));
        if (m == n) return;
        buffer += static_cast<std::ptrdiff_t>(m) * channels;
        n -= m;
        if (cursor_ >= entries_.size()) {
            zeroFrames(buffer, n, channels);
            return;
        }
        loadNext();
    }
}

int SequenceSource::remainingOfCurrent() {
    // A child is asked for whole requests and may run past its end: never count less than nothing.
    if (current_->state != StateOk) return std::max(0, silenceLeft_);
    const int own = RemainingFrames(current_->GetLength(), current_->GetPosition());
    return budget_ < 0 ? own : std::min(own, RemainingFrames(budget_, consumed_));
}

std::int64_t SequenceSource::entryFrames(std::size_t i) {
    const SourceRef& c = entries_[i].child;
    if (c->state != StateOk) return MsToFrames(entries_[i].silenceMs, sampleRate);
    // Children still to come are converted to the sequence's rate only when they become
    // current; count them at that rate already, as the resampler will map them, or a render
    // that trusts the length would stop short. A child may stand for several entries (a
    // list names a file twice): each plays it from its start, whatever the position it was
    // left at.
    std::int64_t rest = std::max(0, c->GetLength());
    if (c->sampleRate != sampleRate && c->sampleRate > 0) rest = rest * sampleRate / c->sampleRate;
    return rest;
}

int SequenceSource::GetLength() {
    std::int64_t total = static_cast<std::int64_t>(position_) + remainingOfCurrent();
    if (growing_) {
        for (std::size_t i = cursor_; i < entries_.size(); ++i)
            total += entryFrames(i);
    } else {
        if (tail_.empty()) {
            tail_.assign(entries_.size() + 1, 0);
            for (std::size_t i = entries_.size(); i-- > 0;)
                tail_[i] = std::min<std::int64_t>(tail_[i + 1] + entryFrames(i), INT64_MAX / 4);
        }
        total += tail_[cursor_];
    }
    return static_cast<int>(std::clamp<std::int64_t>(total, INT32_MIN, INT32_MAX));
}

void SequenceSource::Seek(int f) {
    position_ = 0;
    cursor_ = 0;
    while (cursor_ < entries_.size()) {
        loadNext();
        const int rest = f - position_;
        const bool silence = current_->state != StateOk;
        const int len = silence ? silenceLeft_ : current_->GetLength();
        if (rest <= len) {
            if (silence) {
                silenceLeft_ -= rest;
            } else {
                current_->Seek(rest);
                consumed_ = rest;
            }
            position_ = f;
            return;
        }
        position_ =
            static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{position_} + len, INT32_MAX));
    }
    // past the end: a second of silence from the placeholder, then zeros; a seek to the very
    // end (an empty sequence asked for frame 0, as a list nested in another is) has nothing
    // left to play
    current_.reset();
    silenceLeft_ = f > position_ ? sampleRate : 0;
    endPosition_ = position_;
    position_ = f;
}

bool SequenceSource::IsGrowing() {
    if (!growing_) return false; // what does not grow when the sequence is made never will
    if (current_->state == StateOk && current_->IsGrowing()) return true;
    for (std::size_t i = cursor_; i < entries_.size(); ++i) {
        const SourceRef& c = entries_[i].child;
        if (c->state == StateOk && c->IsGrowing()) return true;
    }
    return false;
}

void SequenceSource::WaitForData(int ms) {
    if (current_->state == StateOk) {
        current_->WaitForData(ms);
        return;
    }
    for (std::size_t i = cursor_; i < entries_.size(); ++i) {
        if (entries_[i].child->state == StateOk) {
            entries_[i].child->WaitForData(ms);
            return;
        }
    }
}

} // namespace sonimo
