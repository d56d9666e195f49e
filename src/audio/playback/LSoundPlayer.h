// Plays one SampleSource through the selected device. Two threads per playback: the
// feeder (this object's own thread) pulls blocks and hands them to the back-end, the
// completion handler waits for finished blocks and frees them. Every change of state is
// posted as message 0x400 to the player's message-only window of class "LTQN", whose
// procedure runs ProcessNotification on the user-interface thread; only there (and in
// Start and Stop) is the listener called.
// Threads: construct, destroy and call everything public on the user-interface thread.
// The player lock guards the source and the back-end buffers between the feeder and the
// owner; a live change holds it from Suspend to EndLiveChange.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/playback/DirectSoundOutput.h"
#include "audio/playback/LThread.h"
#include "audio/playback/OutputDevice.h"
#include "audio/PlaybackHistoryTap.h"
#include "audio/playback/WaveOutOutput.h"
#include "synth/ResamplerTable.h"
#include "synth/SampleSource.h"

namespace sonimo {

inline constexpr UINT kPlayerNotifyMessage = 0x400;

// The owner's view of playback; the default does nothing. Six operations in this order.
class PlayerListener {
public:
    virtual ~PlayerListener() = default;
    virtual void started(int cookie);
    virtual void stopped(int cookie);
    virtual void notification3(int value); // never called by the player
    virtual void notification4(int value); // never called by the player
    virtual void position(int milliseconds, int cookie);
    virtual void levels(const LevelRecord& levels, int cookie);
};

class LSoundPlayer;

class LSoundPlayerDoneHandlerThread final : public LThread {
public:
    explicit LSoundPlayerDoneHandlerThread(LSoundPlayer& player);
    ~LSoundPlayerDoneHandlerThread() override;

private:
    void Run() override;
    LSoundPlayer& player_; // the player owns this thread object
};

class LSoundPlayer final : public LThread {
public:
    LSoundPlayer();
    ~LSoundPlayer() override;

    void SelectDevice(const OutputDevice& device);
    // False when the source is unusable, the device cannot be opened, the kind is neither
    // waveOut nor DirectSound, or DirectSound refused to start. Stops what was playing.
    bool Start(const SourceRef& source);
    // Returns once the feeder and the completion handler have ended and the device is closed.
    void Stop();

    // A live change in one call: the playing source is replaced by `source` and what was
    // queued of the old one is played from the new one. False (the old source kept) when
    // nothing plays or the new source cannot be brought to the format being played.
    struct LiveChange {
        bool replaced = false;
        int requeued = 0; // frames that had been queued and are now played from the new source
    };
    LiveChange ChangeSourceLive(const SourceRef& source);

    // Before a live change, without the lock: builds the tables of the rate conversion
    // ReplaceSource will put in front of `source`, so that the refill after Resume, made
    // under the lock, computes none (the owner waits here a moment the first time a rate
    // pair is met; the device plays on meanwhile).
    void PrepareReplacement(const SourceRef& source);
    // The live change: Suspend, ReplaceSource, Resume, then EndLiveChange. On DirectSound
    // the player lock is held from Suspend to EndLiveChange, so the feeder waits; on
    // waveOut the feeder is stopped and Resume starts it again on the new source.
    void Suspend();
    // False (and the old source kept) when not suspended or stopped, or when the new
    // source cannot be brought to the format being played.
    bool ReplaceSource(const SourceRef& source);
    int Resume(); // frames that had been queued and are now played from the new source
    void EndLiveChange();

    bool IsStopped();
    // The source's own position and length, read under the player lock (owner's thread).
    int SourcePosition();
    int SourceLength();
    bool IsSuspended() const { return suspended_; }
    void SetVolume(std::int8_t step);
    std::int8_t GetVolume();

    void SetListener(PlayerListener* listener, int cookie); // borrowed; null for the default
    void ProcessNotification();

    std::int32_t outputKind() const { return outputKind_; }
    HWND notificationWindow() const { return window_; }
    bool finished() const { return finished_.load(); }
    bool failed() const { return failed_.load(); }
    WaveOutOutput& waveOut() { return waveOut_; }
    DirectSoundOutput& directSound() { return directSound_; }
    const PlaybackHistory& history() const { return history_; }
    const SourceRef& source() const { return source_; } // owner's thread, not while playing

private:
    friend class LSoundPlayerDoneHandlerThread;
    void Run() override; // the feeder
    void runCompletions(LSoundPlayerDoneHandlerThread& handler);
    void post() { PostMessageW(window_, kPlayerNotifyMessage, 0, 0); }
    void raise(bool feeder, bool handler);
    bool outputActive();
    void lock() { EnterCriticalSection(&lock_); }
    void unlock() { LeaveCriticalSection(&lock_); }

    HWND window_ = nullptr;
    std::int32_t outputKind_ = OutputWaveOut;
    HANDLE bufferFreed_;
    HANDLE dataWritten_;
    HANDLE threadEnded_;
    WaveOutOutput waveOut_;
    DirectSoundOutput directSound_;
    SourceRef source_;
    PlaybackHistory history_; // 8 MiB, zeroed
    std::vector<std::shared_ptr<ResamplerTable>> prepared_; // for the next live change
    std::atomic<bool> finished_{false};
    std::atomic<bool> progress_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> feederRaised_{false};
    std::atomic<bool> handlerRaised_{false};
    std::atomic<std::uint32_t> completionsInARow_{0};
    CRITICAL_SECTION lock_;
    bool suspended_ = false;
    bool liveLockHeld_ = false; // Suspend took the lock (DirectSound)
    bool startReported_ = false; // started() went out and stopped() has not yet
    std::int32_t suspendedPosition_ = 0;
    PlayerListener defaultListener_;
    PlayerListener* listener_ = &defaultListener_; // borrowed
    int cookie_ = 0;
    LSoundPlayerDoneHandlerThread handler_;
};

} // namespace sonimo
