#include "audio/playback/WaveOutOutput.h"

#include <algorithm>
#include <mutex>

namespace sonimo {

namespace {
constexpr DWORD kLoopBits = WHDR_DONE | WHDR_BEGINLOOP | WHDR_ENDLOOP;
}

int WaveOutBlockFrames(int rate) {
    return std::max(20, std::min(rate / 10, 8192));
}

std::uint16_t WaveOutVolumeValue(int step) {
    if (step <= -48) return 1; // 0 would mute; the quietest step still plays
    if (step >= -1) return 0xFFFF;
    return static_cast<std::uint16_t>((step + 48) * 1424);
}

int WaveOutVolumeStep(DWORD deviceVolume) {
    return static_cast<int>((deviceVolume & 0xFFFF) / 1424) - 48;
}

WaveOutOutput::WaveOutOutput() : callbackEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

WaveOutOutput::~WaveOutOutput() {
    Close();
}

bool WaveOutOutput::Open(const SourceRef& source) {
    Close();
    source_ = source;
    channels_ = source->channels == 0 ? 1 : source->channels;
    format_ = MakeOutputFormat(source->sampleRate, channels_);
    // Only a device that was opened is taken: what a failed call left behind is not ours.
    const auto event = reinterpret_cast<DWORD_PTR>(callbackEvent_.get());
    HWAVEOUT opened = nullptr;
    MMRESULT r = waveOutOpen(&opened, deviceId(), &format_.Format, event, 0, CALLBACK_EVENT);
    if (r != MMSYSERR_NOERROR) {
        opened = nullptr;
        r = waveOutOpen(&opened, deviceId(), &format_.Format, event, 0, CALLBACK_EVENT | WAVE_MAPPED);
    }
    lastError_ = r;
    if (r != MMSYSERR_NOERROR) {
        source_.release();
        return false;
    }
    handle_.reset(opened);
    blockFrames_ = WaveOutBlockFrames(source->sampleRate);
    const DWORD slotBytes = static_cast<DWORD>(channels_) * static_cast<DWORD>(blockFrames_) * 2;
    conversion_.assign(static_cast<std::size_t>(channels_) * blockFrames_, 0);
    memory_.reset(GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, static_cast<SIZE_T>(slotBytes) * kWaveOutSlots));
    samples_ = memory_ ? static_cast<std::int16_t*>(GlobalLock(memory_.get())) : nullptr;
    if (!samples_) {
        memory_.reset();
        handle_.reset();
        source_.release();
        lastError_ = MMSYSERR_NOMEM;
        return false;
    }
    for (int i = 0; i < kWaveOutSlots; ++i) {
        Slot& s = slots_[i];
        s.header = WAVEHDR{};
        s.header.lpData = reinterpret_cast<LPSTR>(samples_) + static_cast<std::size_t>(slotBytes) * i;
        s.header.dwBufferLength = s.fullLength = slotBytes;
        s.free.store(true, std::memory_order_release);
        waveOutPrepareHeader(handle_.get(), &s.header, sizeof s.header);
    }
    writeIndex_ = 0;
    doneIndex_ = 0;
    open_ = true;
    playedPosition_.store(source->GetPosition(), std::memory_order_release);
    return true;
}

void WaveOutOutput::ResetBuffers() {
    for (Slot& s : slots_) {
        s.header.dwFlags &= ~kLoopBits;
        s.free.store(true, std::memory_order_release);
    }
    writeIndex_ = 0;
    doneIndex_ = 0;
}

void WaveOutOutput::WriteBlock(int frames) {
    if (!open_) return;
    frames = std::max(0, std::min(frames, blockFrames_));
    Slot& s = slots_[writeIndex_];
    PassHeardPosition();
    source_->Read(conversion_.data(), frames);
    const std::size_t samples = static_cast<std::size_t>(frames) * channels_;
    ConvertToPcm16(conversion_.data(), reinterpret_cast<std::int16_t*>(s.header.lpData), samples);
    FillLevels(s.levels, conversion_.data(), frames, channels_);
    s.position = source_->GetPosition();
    s.header.dwFlags &= ~kLoopBits;
    s.header.dwBufferLength = static_cast<DWORD>(samples * 2);
    waveOutPrepareHeader(handle_.get(), &s.header, sizeof s.header);
    s.free.store(false, std::memory_order_release);
    const MMRESULT r = waveOutWrite(handle_.get(), &s.header, sizeof s.header);
    if (r != MMSYSERR_NOERROR) {
        // The device will never hand this buffer back: complete it here so that the ring
        // keeps moving and the tail test ends.
        lastError_ = r;
        InterlockedOr(reinterpret_cast<volatile LONG*>(&s.header.dwFlags), WHDR_DONE);
        SetEvent(callbackEvent_.get());
    }
    writeIndex_ = NextWaveOutSlot(writeIndex_);
}

void WaveOutOutput::PassHeardPosition() {
    if (!open_ || !heardPending_.exchange(false, std::memory_order_acq_rel)) return;
    int heard = playedPosition_.load(std::memory_order_acquire);
    source_->Query(QueryHeard, &heard); // the source chain learns what has been heard
}

bool WaveOutOutput::slotDone(const Slot& s) const {
    // The driver sets the done bit from its own thread.
    return (*reinterpret_cast<const volatile DWORD*>(&s.header.dwFlags) & WHDR_DONE) != 0 &&
           !s.free.load(std::memory_order_acquire);
}

bool WaveOutOutput::WaitForCompletedBlock(HANDLE stop, HANDLE otherStop) {
    HANDLE handles[3] = {stop, otherStop, callbackEvent_.get()};
    for (;;) {
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0 ||
            WaitForSingleObject(otherStop, 0) == WAIT_OBJECT_0)
            return false;
        ResetEvent(callbackEvent_.get());
        Slot& s = slots_[doneIndex_];
        if (slotDone(s)) {
            playedPosition_.store(s.position, std::memory_order_release);
            // The graph is the feeder's alone: it passes the heard position on.
            heardPending_.store(true, std::memory_order_release);
            {
                std::scoped_lock hold(levelLock_);
                currentLevels_ = s.levels;
            }
            s.header.dwFlags &= ~kLoopBits;
            s.free.store(true, std::memory_order_release);
            doneIndex_ = NextWaveOutSlot(doneIndex_);
            return true;
        }
        WaitForMultipleObjects(3, handles, FALSE, 1000);
    }
}

void WaveOutOutput::ResetDevice() {
    if (handle_) waveOutReset(handle_.get());
}

void WaveOutOutput::Close() {
    if (!open_) return;
    open_ = false;
    waveOutReset(handle_.get());
    source_.release();
    DWORD allowance = 1000; // shared by all slots
    for (Slot& s : slots_) {
        s.header.dwBufferLength = s.fullLength;
        while (waveOutUnprepareHeader(handle_.get(), &s.header, sizeof s.header) == WAVERR_STILLPLAYING &&
               allowance > 0) {
            Sleep(50);
            allowance = allowance > 50 ? allowance - 50 : 0;
        }
        s.free.store(true, std::memory_order_release);
    }
    samples_ = nullptr;
    memory_.reset();
    conversion_.clear();
    conversion_.shrink_to_fit();
    handle_.reset();
    playedPosition_.store(0, std::memory_order_release);
}

LevelRecord WaveOutOutput::CurrentLevels() const {
    std::scoped_lock hold(levelLock_);
    return currentLevels_;
}

void WaveOutOutput::SetVolume(std::int8_t step) {
    const DWORD v = WaveOutVolumeValue(step);
    waveOutSetVolume(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(deviceId())), v | (v << 16));
}

std::int8_t WaveOutOutput::GetVolume() const {
    DWORD v = 0;
    if (waveOutGetVolume(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(deviceId())), &v) !=
        MMSYSERR_NOERROR)
        v = 0x8000;
    return static_cast<std::int8_t>(WaveOutVolumeStep(v));
}

} // namespace sonimo
