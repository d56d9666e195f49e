// The DirectSound back-end of the sound player: one looping secondary buffer of 32
// segments (about 1/15 s each) with a position notification at the start of each
// segment. "dSound.dll" is loaded at construction and never linked.
// Threads: HasRoom, FillSegment, TailPlaying and ClearAhead run on the player's feeder
// thread under the player lock; the completion handler only waits on the notification
// event; SelectDevice, Open, ResetBuffers, ResumeLatency, RefillAfterResume, Stop and the
// volume run on the owner's thread (the resume pair while it holds the player lock).
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <dsound.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/DirectSoundRing.h"
#include "audio/playback/OutputDevice.h"
#include "audio/playback/OutputFormat.h"
#include "platform/win32/CriticalSection.h"
#include "platform/win32/Owned.h"
#include "synth/SampleSource.h"

namespace sonimo {

enum DirectSoundError : std::int32_t {
    DsOk = 0,
    DsNoCreateEntry = 6,   // "DirectSoundCreate8" missing from the library
    DsDeviceInUse = 8,     // play refused: AUDCLNT_E_DEVICE_IN_USE
    DsNoFirstSegment = 9,  // the feeder wrote nothing within 5000 ms
    DsNoDevice = 10,       // no device object, neither for the GUID nor the default
    DsBufferLost = 11,     // play refused with DSERR_BUFFERLOST, or the play cursor unreadable
    DsPriorityNeeded = 12, // play refused with DSERR_PRIOLEVELNEEDED
    DsPlayRefused = 13,    // play refused otherwise
};

class DirectSoundOutput {
public:
    // The events belong to the player; they are borrowed for Reset buffers.
    DirectSoundOutput(HANDLE dataWritten, HANDLE threadEnded);
    ~DirectSoundOutput();
    DirectSoundOutput(const DirectSoundOutput&) = delete;
    DirectSoundOutput& operator=(const DirectSoundOutput&) = delete;

    void SelectDevice(const OutputDevice& device);
    const OutputDevice& device() const { return device_; }
    bool Open(const SourceRef& source, HANDLE playerStop);
    void ResetBuffers();
    bool HasRoom();
    void FillSegment();
    bool TailPlaying();
    void ClearAhead();
    int ResumeLatency();
    void RefillAfterResume();
    void ReplaceSource(const SourceRef& source) { source_ = source; }
    void Stop();
    bool IsPlaying();
    bool HasBuffer() const { return static_cast<bool>(buffer_); }

    void SetVolume(std::int8_t db);
    std::int8_t GetVolume();

    std::int32_t errorCode() const { return error_.load(std::memory_order_acquire); }
    void ClearError() { error_.store(DsOk, std::memory_order_release); }
    HRESULT lastResult() const { return lastResult_; }
    HANDLE notificationEvent() const { return notification_.get(); } // borrowed
    int PlayedPosition() const { return playedPosition_.load(std::memory_order_acquire); }
    LevelRecord CurrentLevels() const;
    const DsSizes& sizes() const { return sizes_; }
    DWORD writeCursor() const { return writeCursor_; }
    DWORD safetyMargin() const { return safetyMargin_; }
    bool libraryHasCreateEntry() const { return create_ != nullptr; }
    IDirectSoundBuffer* buffer() const { return buffer_.get(); } // borrowed, for the tests' checks

private:
    using CreateFn = HRESULT(WINAPI*)(LPCGUID, LPDIRECTSOUND8*, LPUNKNOWN);
    bool createDevice();
    void fillRegion(void* region, DWORD bytes, bool levels);
    void updatePositionAndLevels();
    bool playCursor(DWORD& play);
    void fail(std::int32_t code) { error_.store(code, std::memory_order_release); }

    LevelRecord levels_[kDsSegments];
    int levelIndex_ = 0;
    SourceRef source_;
    OutputDevice device_;
    OwnedHandle notification_;
    HANDLE dataWritten_;          // borrowed
    HANDLE threadEnded_;          // borrowed
    HANDLE playerStop_ = nullptr; // borrowed
    // Declared in the order they are made: they go back in reverse, the buffer before the
    // device and both before the library their code lives in.
    OwnedModule library_;
    CreateFn create_ = nullptr; // borrowed from the library
    ComPtr<IDirectSound8> dsound_;
    ComPtr<IDirectSoundBuffer> buffer_;
    std::vector<std::int32_t> conversion_;
    DsSizes sizes_;
    int channels_ = 1;
    int rate_ = 0;
    DWORD writeCursor_ = 0;
    DWORD resumeCursor_ = 0;
    std::int32_t clearArea_ = 0;
    DsTail tail_;
    std::atomic<std::int32_t> playedPosition_{0};
    bool skipNextUpdate_ = false;
    int padFrames_ = 0; // silent frames written after the end of the source
    DWORD safetyMargin_ = 8192;
    DWORD marginStep_ = 4096;
    std::int8_t volume_ = 0;
    std::atomic<std::int32_t> error_{DsOk};
    HRESULT lastResult_ = S_OK;
    mutable CriticalSection levelLock_; // the owner copies what the feeder writes
    LevelRecord currentLevels_;
};

} // namespace sonimo
