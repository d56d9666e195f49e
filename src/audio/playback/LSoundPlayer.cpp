#include "audio/playback/LSoundPlayer.h"

#include <algorithm>
#include <mutex>

#include "audio/Limiters.h"
#include "synth/SourceEffect.h"

namespace sonimo {

void PlayerListener::started(int) {}
void PlayerListener::stopped(int) {}
void PlayerListener::notification3(int) {}
void PlayerListener::notification4(int) {}
void PlayerListener::position(int, int) {}
void PlayerListener::levels(const LevelRecord&, int) {}

namespace {

const wchar_t kWindowClass[] = L"LTQN";

LRESULT CALLBACK notificationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPlayerNotifyMessage) {
        if (auto* player = reinterpret_cast<LSoundPlayer*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
            player->ProcessNotification();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createNotificationWindow(LSoundPlayer* player) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, kWindowClass, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = notificationProc;
        wc.hInstance = instance;
        wc.lpszClassName = kWindowClass;
        RegisterClassExW(&wc);
    }
    HWND w = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (w) SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(player));
    return w;
}

int toMs(std::int64_t frames, int rate) {
    return static_cast<int>(std::clamp<std::int64_t>(FramesToMs(frames, rate), INT32_MIN, INT32_MAX));
}

} // namespace

LSoundPlayerDoneHandlerThread::LSoundPlayerDoneHandlerThread(LSoundPlayer& player)
    : LThread(L"LSoundPlayerDoneHandlerThread<T>"), player_(player) {}

LSoundPlayerDoneHandlerThread::~LSoundPlayerDoneHandlerThread() {
    RequestStop();
    Join();
}

void LSoundPlayerDoneHandlerThread::Run() {
    player_.runCompletions(*this);
}

LSoundPlayer::LSoundPlayer()
    : LThread(L"LSoundPlayer<T>"), bufferFreed_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      dataWritten_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      threadEnded_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      directSound_(dataWritten_.get(), threadEnded_.get()), handler_(*this) {
    window_.reset(createNotificationWindow(this));
}

LSoundPlayer::~LSoundPlayer() {
    Stop();
    if (window_) {
        // A notification still queued must not reach a player that is going away.
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
        window_.reset();
    }
    handler_.RequestStop();
    handler_.Join();
}

void LSoundPlayer::SelectDevice(const OutputDevice& device) {
    // Changing the back-end under a running feeder would pull the device from under it.
    if (running()) Stop();
    outputKind_ = device.kind;
    if (outputKind_ == OutputWaveOut)
        waveOut_.SetDevice(device);
    else if (outputKind_ == OutputDirectSound)
        directSound_.SelectDevice(device);
}

void LSoundPlayer::SetListener(PlayerListener* listener, int cookie) {
    listener_ = listener ? listener : &defaultListener_;
    cookie_ = cookie;
}

bool LSoundPlayer::Start(const SourceRef& source) {
    Stop();
    if (source->state != StateOk) return false;
    SourceRef limited = source;
    if (limited->peakLevel > kNominalFullScale) limited = LimitPerBlock(limited, kNominalFullScale);
    source_ = makeSource<PlaybackHistoryTap>(limited, history_);
    bool opened = false;
    if (outputKind_ == OutputWaveOut) {
        opened = waveOut_.Open(source_);
    } else if (outputKind_ == OutputDirectSound) {
        if (directSound_.libraryHasCreateEntry()) directSound_.ClearError();
        opened = directSound_.Open(source_, stopEvent());
    }
    if (!opened) {
        source_.release();
        return false;
    }
    if (outputKind_ == OutputWaveOut) waveOut_.ResetBuffers();
    finished_ = false;
    progress_ = false;
    failed_ = false; // a notification still queued from the last run finds nothing to do
    feederRaised_ = false;
    handlerRaised_ = false;
    ResetEvent(bufferFreed_.get());
    ResetEvent(dataWritten_.get());
    ResetEvent(threadEnded_.get());
    if (!StartThread(THREAD_PRIORITY_NORMAL)) {
        if (outputKind_ == OutputWaveOut)
            waveOut_.Close();
        else
            directSound_.Stop();
        source_.release();
        return false;
    }
    if (outputKind_ == OutputDirectSound) {
        directSound_.ResetBuffers();
        if (directSound_.errorCode() != DsOk) {
            Stop();
            return false;
        }
    }
    startReported_ = true;
    listener_->started(cookie_);
    return true;
}

void LSoundPlayer::raise(bool feeder, bool handler) {
    if (handlerRaised_ != handler) {
        handler_.SetPriority(handler ? THREAD_PRIORITY_TIME_CRITICAL : THREAD_PRIORITY_NORMAL);
        handlerRaised_ = handler;
    }
    if (feederRaised_ != feeder) {
        SetPriority(feeder ? THREAD_PRIORITY_TIME_CRITICAL : THREAD_PRIORITY_NORMAL);
        feederRaised_ = feeder;
    }
}

LSoundPlayer::FeedStep LSoundPlayer::feedOnce(int kind, std::optional<SourceRef>& starved) {
    std::scoped_lock hold(lock_);
    if (kind == OutputWaveOut) waveOut_.PassHeardPosition();
    const int remaining = RemainingFrames(source_->GetLength(), source_->GetPosition());
    if (remaining > 0) {
        const bool room = kind == OutputWaveOut ? waveOut_.HasRoom() : directSound_.HasRoom();
        if (!room) {
            completionsInARow_ = 0;
            raise(false, true); // the device is behind: the handler must keep up
            return FeedStep::NoRoom;
        }
        if (kind == OutputWaveOut)
            waveOut_.WriteBlock(std::min(remaining, kMaxReadFrames));
        else
            directSound_.FillSegment();
        SetEvent(dataWritten_.get());
        return FeedStep::Wrote;
    }
    if (source_->IsGrowing()) {
        raise(true, false); // the source is behind: the feeder must take data as it comes
        // A live change may replace the source while the feeder waits for its data: this
        // reference keeps the graph being waited on alive (counted under the lock).
        starved.emplace(source_);
        return FeedStep::Starved;
    }
    const bool tail = kind == OutputWaveOut ? waveOut_.TailPlaying() : directSound_.TailPlaying();
    if (tail) {
        progress_ = true;
        post();
        return FeedStep::Tail;
    }
    progress_ = false;
    finished_ = true;
    post();
    return FeedStep::Finished;
}

void LSoundPlayer::Run() {
    handler_.StartThread(THREAD_PRIORITY_NORMAL);
    completionsInARow_ = 0;
    HANDLE wake[2] = {bufferFreed_.get(), stopEvent()};
    const int kind = outputKind_;
    while (!StopRequested()) {
        if ((kind != OutputWaveOut && kind != OutputDirectSound) ||
            (kind == OutputDirectSound && directSound_.errorCode() != DsOk)) {
            progress_ = false;
            finished_ = false;
            failed_ = true;
            post();
            break;
        }
        // Every wait below is made without the lock, so that a live change or the owner's
        // reads get in meanwhile.
        std::optional<SourceRef> starved;
        const FeedStep step = feedOnce(kind, starved);
        if (step == FeedStep::Finished) break;
        if (step == FeedStep::Starved) {
            (*starved)->WaitForData(150);
            std::scoped_lock hold(lock_); // the graph's counts change under the lock only
            starved.reset();
        } else if (step == FeedStep::NoRoom || step == FeedStep::Tail) {
            WaitForMultipleObjects(2, wake, FALSE, 1000);
            ResetEvent(bufferFreed_.get());
        }
        if (step != FeedStep::NoRoom) Sleep(5);
    }
    SetEvent(threadEnded_.get());
    ResetEvent(dataWritten_.get());
    handler_.RequestStop();
    handler_.Join();
    if (kind == OutputWaveOut) waveOut_.ResetDevice();
}

void LSoundPlayer::runCompletions(LSoundPlayerDoneHandlerThread& handler) {
    const int kind = outputKind_;
    const std::uint32_t half = kind == OutputWaveOut ? kWaveOutSlots / 2 : kDsSegments / 2;
    HANDLE waits[3] = {handler.stopEvent(), stopEvent(), directSound_.notificationEvent()};
    for (;;) {
        if (kind == OutputWaveOut) {
            if (!waveOut_.WaitForCompletedBlock(handler.stopEvent(), stopEvent())) return;
        } else if (kind == OutputDirectSound) {
            DWORD w;
            while ((w = WaitForMultipleObjects(3, waits, FALSE, 1000)) == WAIT_TIMEOUT) {
            }
            if (w != WAIT_OBJECT_0 + 2) return;
            ResetEvent(directSound_.notificationEvent());
        } else {
            return;
        }
        SetEvent(bufferFreed_.get());
        progress_ = true;
        post();
        if (completionsInARow_++ > half) raise(false, true);
    }
}

bool LSoundPlayer::outputActive() {
    if (outputKind_ == OutputWaveOut) return waveOut_.IsOpen();
    if (outputKind_ == OutputDirectSound) return directSound_.IsPlaying();
    return false;
}

void LSoundPlayer::Stop() {
    const bool active = outputActive();
    RequestStop();
    Join();
    if (outputKind_ == OutputWaveOut)
        waveOut_.Close();
    else if (outputKind_ == OutputDirectSound)
        directSound_.Stop();
    source_.release();
    history_.clear();
    finished_ = false;
    progress_ = false;
    // A DirectSound buffer that never began to play (a source of length 0) is not active,
    // but the owner was told of the start and must hear of the end.
    const bool report = active || startReported_;
    startReported_ = false;
    if (report) listener_->stopped(cookie_);
}

int LSoundPlayer::SourcePosition() {
    std::scoped_lock hold(lock_);
    return source_->GetPosition();
}

int LSoundPlayer::SourceLength() {
    std::scoped_lock hold(lock_);
    return source_->GetLength();
}

bool LSoundPlayer::IsStopped() {
    if (outputKind_ == OutputWaveOut) return !waveOut_.IsOpen();
    if (outputKind_ == OutputDirectSound) return !directSound_.HasBuffer() || !directSound_.IsPlaying();
    return true;
}

LSoundPlayer::LiveChange LSoundPlayer::ChangeSourceLive(const SourceRef& source) {
    LiveChange result;
    if (IsStopped()) return result;
    // Kept until the change is made, so that the converter built under the lock finds them.
    const std::vector<std::shared_ptr<ResamplerTable>> tables = prepareConversion(source);
    LARGE_INTEGER locked{}, unlocked{};
    if (outputKind_ == OutputDirectSound) {
        std::scoped_lock hold(lock_);
        QueryPerformanceCounter(&locked);
        result.replaced = replaceSource(source, source_->GetPosition());
        if (outputActive()) result.requeued = requeueDirectSound();
        QueryPerformanceCounter(&unlocked);
    } else if (outputKind_ == OutputWaveOut) {
        // The feeder is stopped rather than kept out, and what the device still holds is
        // handed back: the new source goes on from what was last heard.
        RequestStop();
        Join();
        waveOut_.ResetDevice();
        std::scoped_lock hold(lock_);
        QueryPerformanceCounter(&locked);
        result.replaced = replaceSource(source, waveOut_.PlayedPosition());
        if (outputActive()) restartWaveOut();
        QueryPerformanceCounter(&unlocked);
    } else {
        return result;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    result.lockedMicroseconds = (unlocked.QuadPart - locked.QuadPart) * 1000000 / frequency.QuadPart;
    return result;
}

std::vector<std::shared_ptr<ResamplerTable>> LSoundPlayer::prepareConversion(const SourceRef& source) {
    std::vector<std::shared_ptr<ResamplerTable>> tables;
    // Only this (the owner's) thread changes source_, so its format is read without the lock.
    if (source->state != StateOk || source->sampleRate == source_->sampleRate) return tables;
    ResampleEffect(source_->sampleRate).Prepare(source->sampleRate, tables);
    for (const auto& table : tables)
        table->waitUntilComplete();
    return tables;
}

bool LSoundPlayer::replaceSource(const SourceRef& source, int position) {
    if (source->state != StateOk) return false;
    SourceRef next = source;
    if (next->sampleRate != source_->sampleRate || next->channels != source_->channels) {
        // The device keeps the format it was opened with; the new graph is brought to it.
        ConvertFormat(next, source_->sampleRate, source_->channels);
        if (next->sampleRate != source_->sampleRate || next->channels != source_->channels) return false;
    }
    next = LimitWithLookahead(next, kNominalFullScale);
    next->Seek(position);
    source_ = makeSource<PlaybackHistoryTap>(next, history_);
    if (outputKind_ == OutputDirectSound)
        directSound_.ReplaceSource(source_);
    else
        waveOut_.ReplaceSource(source_);
    return true;
}

int LSoundPlayer::requeueDirectSound() {
    const int latency = directSound_.ResumeLatency();
    source_->Seek(source_->GetPosition() - latency);
    history_.crossfadePending = true;
    directSound_.RefillAfterResume();
    return latency;
}

void LSoundPlayer::restartWaveOut() {
    source_->Seek(waveOut_.PlayedPosition());
    history_.crossfadePending = true;
    waveOut_.ResetBuffers();
    finished_ = false;
    progress_ = false;
    failed_ = false;
    ResetEvent(bufferFreed_.get());
    ResetEvent(threadEnded_.get());
    StartThread(THREAD_PRIORITY_NORMAL);
}

void LSoundPlayer::SetVolume(std::int8_t step) {
    if (outputKind_ == OutputWaveOut)
        waveOut_.SetVolume(step);
    else if (outputKind_ == OutputDirectSound)
        directSound_.SetVolume(step);
}

std::int8_t LSoundPlayer::GetVolume() {
    if (outputKind_ == OutputWaveOut) return waveOut_.GetVolume();
    if (outputKind_ == OutputDirectSound) return directSound_.GetVolume();
    return 0;
}

void LSoundPlayer::ProcessNotification() {
    const int kind = outputKind_;
    const bool known = kind == OutputWaveOut || kind == OutputDirectSound;
    if (finished_) {
        int ms = 0;
        if (known) {
            std::scoped_lock hold(lock_);
            ms = toMs(source_->GetLength(), source_->sampleRate);
        }
        listener_->position(ms, cookie_);
        if (finished_) Stop();
        return;
    }
    if (progress_) {
        const int played = kind == OutputWaveOut       ? waveOut_.PlayedPosition()
                           : kind == OutputDirectSound ? directSound_.PlayedPosition()
                                                       : 0;
        listener_->position(toMs(played, source_->sampleRate), cookie_);
        if (progress_) {
            LevelRecord levels;
            levels.count = 1;
            if (kind == OutputWaveOut)
                levels = waveOut_.CurrentLevels();
            else if (kind == OutputDirectSound)
                levels = directSound_.CurrentLevels();
            listener_->levels(levels, cookie_);
            progress_ = false;
        }
        return;
    }
    if (failed_) {
        Stop();
        if (kind == OutputDirectSound) directSound_.ClearError();
        failed_ = false;
    }
}

} // namespace sonimo
