// The waveOut (MME) back-end of the sound player: one open device and a ring of 64 device
// buffers of about 100 ms, all in one global block that is allocated, locked and prepared
// once per Open, so nothing is allocated per block.
// Threads: Open, Close, ResetBuffers and the volume run on the owner's thread; HasRoom,
// WriteBlock and TailPlaying on the player's feeder thread under the player lock;
// WaitForCompletedBlock on the completion handler. Each slot has one writer at a time:
// the feeder fills the slot at the write index only when it is free, the handler frees
// the slot at the done index only when the device has finished it.
#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/playback/OutputDevice.h"
#include "audio/playback/OutputFormat.h"
#include "platform/win32/CriticalSection.h"
#include "platform/win32/Owned.h"
#include "synth/SampleSource.h"

namespace sonimo {

inline constexpr int kWaveOutSlots = 64;

// Frames per device buffer: rate / 10, at most 8192, at least 20.
int WaveOutBlockFrames(int rate);
inline int NextWaveOutSlot(int index) {
    return (index + 1) % kWaveOutSlots;
}
inline int PreviousWaveOutSlot(int index) {
    return (index + kWaveOutSlots - 1) % kWaveOutSlots;
}
// Volume step (dB-like, 0 = full) to the 16-bit device value and back.
std::uint16_t WaveOutVolumeValue(int step);
int WaveOutVolumeStep(DWORD deviceVolume);

namespace traits {
struct WaveOutDevice {
    using Handle = HWAVEOUT;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { waveOutClose(h); }
};
struct LockedGlobalMemory { // from GlobalAlloc, then GlobalLock (unlocking one not locked is harmless)
    using Handle = HGLOBAL;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept {
        GlobalUnlock(h);
        GlobalFree(h);
    }
};
} // namespace traits

class WaveOutOutput {
public:
    WaveOutOutput();
    ~WaveOutOutput();
    WaveOutOutput(const WaveOutOutput&) = delete;
    WaveOutOutput& operator=(const WaveOutOutput&) = delete;

    void SetDevice(const OutputDevice& device) { device_ = device; }
    const OutputDevice& device() const { return device_; }

    // Opens the device for the source's format (direct first, then through the mapper).
    // On failure the source is released and false returned; lastError() says why.
    bool Open(const SourceRef& source);
    void ResetBuffers();
    bool HasRoom() const { return slots_[writeIndex_].free.load(std::memory_order_acquire); }
    void WriteBlock(int frames);
    bool TailPlaying() const {
        return !slots_[PreviousWaveOutSlot(writeIndex_)].free.load(std::memory_order_acquire);
    }
    // Waits in steps of 1000 ms until the slot at the done index completes (true) or one
    // of the stop events is set (false).
    bool WaitForCompletedBlock(HANDLE stop, HANDLE otherStop);
    void ResetDevice(); // returns every queued buffer
    void Close();
    // The live change: the source the ring reads from from now on.
    void ReplaceSource(const SourceRef& source) { source_ = source; }

    bool IsOpen() const { return open_; }
    // Hands the position of the last completed block to the source chain. Feeder thread
    // under the player lock: the completion thread only records it, as the graph is the
    // feeder's alone.
    void PassHeardPosition();
    int PlayedPosition() const { return playedPosition_.load(std::memory_order_acquire); }
    LevelRecord CurrentLevels() const;
    int blockFrames() const { return blockFrames_; }
    MMRESULT lastError() const { return lastError_; }
    HANDLE callbackEvent() const { return callbackEvent_.get(); } // borrowed
    const WAVEFORMATEXTENSIBLE& format() const { return format_; }

    void SetVolume(std::int8_t step);
    std::int8_t GetVolume() const;

private:
    struct Slot {
        DWORD fullLength = 0;
        WAVEHDR header{};
        std::int32_t position = 0;
        LevelRecord levels;
        std::atomic<bool> free{true};
    };
    bool slotDone(const Slot& s) const;
    UINT deviceId() const { return static_cast<UINT>(device_.catalogueIndex - 1); } // -1: the wave mapper

    OwnedHandle callbackEvent_;
    OutputDevice device_;
    std::atomic<std::int32_t> playedPosition_{0};
    std::atomic<bool> heardPending_{false}; // a block completed since the feeder last wrote
    bool open_ = false;
    SourceRef source_;
    int channels_ = 1;
    mutable CriticalSection levelLock_; // the owner copies the levels the handler writes
    LevelRecord currentLevels_;
    int blockFrames_ = 0;
    std::vector<std::int32_t> conversion_;
    // The device goes back after the memory its buffers were prepared from (declared first).
    Owned<traits::WaveOutDevice> handle_;
    Owned<traits::LockedGlobalMemory> memory_;
    std::int16_t* samples_ = nullptr; // borrowed: memory_, locked
    Slot slots_[kWaveOutSlots];
    int writeIndex_ = 0;
    int doneIndex_ = 0;
    MMRESULT lastError_ = MMSYSERR_NOERROR;
    WAVEFORMATEXTENSIBLE format_{};
};

} // namespace sonimo
