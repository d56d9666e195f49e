// Plays one SampleSource through the selected device. Two threads per playback: the
// feeder (this object's own thread) pulls blocks and hands them to the back-end, the
// completion handler waits for finished blocks and frees them. Every change of state is
// posted as message 0x400 to the player's message-only window of class "LTQN", whose
// procedure runs ProcessNotification on the user-interface thread; only there (and in
// Start and Stop) is the listener called.
// Threads: construct, destroy and call everything public on the user-interface thread.
// The player lock guards the source and the back-end buffers between the feeder and the
// owner. It is held in one scope at a time, never across public calls: the feeder takes
// it for one look at the source and the device and waits (for room, for the tail, for a
// growing source's data) without it; a live change takes it once, inside ChangeSourceLive.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/playback/DirectSoundOutput.h"
#include "audio/playback/LThread.h"
#include "audio/playback/OutputDevice.h"
#include "audio/PlaybackHistoryTap.h"
#include "audio/playback/WaveOutOutput.h"
#include "platform/win32/CriticalSection.h"
#include "platform/win32/Owned.h"
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
    // nothing plays or the new source cannot be brought to the format being played; the
    // old source is then requeued from the same point as the new one would have been.
    // The rate conversion the new source needs is built first, without the lock (the
    // owner waits here a moment the first time a rate pair is met; the device plays on
    // meanwhile), so that the refill made under the lock computes none. On DirectSound
    // the feeder waits on the lock for the change; on waveOut it is stopped and started
    // again on the new source from what was last heard.
    struct LiveChange {
        bool replaced = false;
        int requeued = 0;                    // frames that had been queued and are now played again
        std::int64_t lockedMicroseconds = 0; // how long the feeder was kept out
    };
    LiveChange ChangeSourceLive(const SourceRef& source);

    bool IsStopped();
    // The source's own position and length, read under the player lock (owner's thread).
    int SourcePosition();
    int SourceLength();
    void SetVolume(std::int8_t step);
    std::int8_t GetVolume();

    void SetListener(PlayerListener* listener, int cookie); // borrowed; null for the default
    void ProcessNotification();

    std::int32_t outputKind() const { return outputKind_; }
    HWND notificationWindow() const { return window_.get(); } // borrowed
    bool finished() const { return finished_.load(); }
    bool failed() const { return failed_.load(); }
    WaveOutOutput& waveOut() { return waveOut_; }
    DirectSoundOutput& directSound() { return directSound_; }
    const PlaybackHistory& history() const { return history_; }
    const SourceRef& source() const { return source_; } // owner's thread, not while playing

private:
    friend class LSoundPlayerDoneHandlerThread;
    // What the feeder does after one look under the lock.
    enum class FeedStep { Wrote, NoRoom, Starved, Tail, Finished };

    void Run() override; // the feeder
    FeedStep feedOnce(int kind, std::optional<SourceRef>& starved);
    void runCompletions(LSoundPlayerDoneHandlerThread& handler);
    void post() { PostMessageW(window_.get(), kPlayerNotifyMessage, 0, 0); }
    void raise(bool feeder, bool handler);
    bool outputActive();
    // The steps of ChangeSourceLive.
    std::vector<std::shared_ptr<ResamplerTable>> prepareConversion(const SourceRef& source);
    bool replaceSource(const SourceRef& source, int position); // under the lock
    int requeueDirectSound();                                  // under the lock
    void restartWaveOut();                                     // under the lock, feeder stopped

    OwnedWindow window_;
    std::int32_t outputKind_ = OutputWaveOut;
    OwnedHandle bufferFreed_;
    OwnedHandle dataWritten_;
    OwnedHandle threadEnded_;
    WaveOutOutput waveOut_;
    DirectSoundOutput directSound_; // borrows the two events above
    SourceRef source_;
    PlaybackHistory history_; // 8 MiB, zeroed
    std::atomic<bool> finished_{false};
    std::atomic<bool> progress_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> feederRaised_{false};
    std::atomic<bool> handlerRaised_{false};
    std::atomic<std::uint32_t> completionsInARow_{0};
    CriticalSection lock_;
    bool startReported_ = false; // started() went out and stopped() has not yet
    PlayerListener defaultListener_;
    PlayerListener* listener_ = &defaultListener_; // borrowed
    int cookie_ = 0;
    LSoundPlayerDoneHandlerThread handler_;
};

} // namespace sonimo
