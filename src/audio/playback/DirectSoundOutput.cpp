#include "audio/playback/DirectSoundOutput.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace sonimo {

namespace {
const GUID kIidDirectSoundNotify = {
    0xB0210783, 0x89CD, 0x11D0, {0xAF, 0x08, 0x00, 0xA0, 0xC9, 0x25, 0xCD, 0x16}};
constexpr DWORD kBufferFlags = 0x18188; // position 2, global focus, notify, volume, software
constexpr HRESULT kPrioLevelNeeded = static_cast<HRESULT>(0x88780046);
constexpr HRESULT kBufferLost = static_cast<HRESULT>(0x88780096);
constexpr HRESULT kDeviceInUse = static_cast<HRESULT>(0x8889000A);
} // namespace

DirectSoundOutput::DirectSoundOutput(HANDLE dataWritten, HANDLE threadEnded)
    : notification_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), dataWritten_(dataWritten),
      threadEnded_(threadEnded), library_(LoadLibraryW(L"dSound.dll")) {
    if (library_) {
        create_ = reinterpret_cast<CreateFn>(
            reinterpret_cast<void*>(GetProcAddress(library_.get(), "DirectSoundCreate8")));
        if (!create_) fail(DsNoCreateEntry);
    }
}

DirectSoundOutput::~DirectSoundOutput() {
    Stop();
    buffer_.reset();
    dsound_.reset();
}

bool DirectSoundOutput::createDevice() {
    if (!create_) return false;
    HRESULT hr = E_FAIL;
    // Only a device that was made is taken: what a failed call left behind is not ours.
    IDirectSound8* made = nullptr;
    if (hasOwnGuid(device_) || device_.deviceGuid.Data2 || device_.deviceGuid.Data3)
        hr = create_(&device_.deviceGuid, &made, nullptr);
    if (FAILED(hr)) {
        made = nullptr;
        hr = create_(nullptr, &made, nullptr);
    }
    lastResult_ = hr;
    if (FAILED(hr)) return false;
    dsound_.reset(made);
    dsound_->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY);
    return true;
}

void DirectSoundOutput::SelectDevice(const OutputDevice& device) {
    device_ = device;
    if (!create_) return;
    Stop();
    buffer_.reset();
    dsound_.reset();
    createDevice();
}

bool DirectSoundOutput::Open(const SourceRef& source, HANDLE playerStop) {
    if (!create_) return false;
    source_ = source;
    playerStop_ = playerStop;
    playedPosition_.store(source->GetPosition(), std::memory_order_release);
    const int channels = source->channels == 0 ? 1 : source->channels;
    if (channels != levels_[0].count)
        for (LevelRecord& r : levels_)
            r.count = static_cast<std::uint8_t>(channels);
    if (buffer_ && (channels != channels_ || source->sampleRate != rate_))
        buffer_.reset(); // a stale buffer of another format
    if (buffer_) {
        DWORD status = 0;
        buffer_->GetStatus(&status);
        if (status & DSBSTATUS_BUFFERLOST) return SUCCEEDED(lastResult_ = buffer_->Restore());
        return true;
    }
    conversion_.clear();
    if (!dsound_ && !createDevice()) {
        fail(DsNoDevice);
        return false;
    }
    dsound_->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY);
    channels_ = channels;
    rate_ = source->sampleRate;
    sizes_ = DirectSoundSizes(rate_, channels_);
    conversion_.assign(static_cast<std::size_t>(sizes_.conversionSamples), 0);
    WAVEFORMATEXTENSIBLE format = MakeOutputFormat(rate_, channels_);
    DSBUFFERDESC desc{};
    desc.dwSize = 36;
    desc.dwFlags = kBufferFlags;
    desc.dwBufferBytes = sizes_.bufferBytes;
    desc.lpwfxFormat = &format.Format;
    LPDIRECTSOUNDBUFFER created = nullptr;
    lastResult_ = dsound_->CreateSoundBuffer(&desc, &created, nullptr);
    if (FAILED(lastResult_) || !created) return false;
    buffer_.reset(created);
    buffer_->SetVolume(DsBufferVolume(volume_));
    ComPtr<IDirectSoundNotify> notify;
    lastResult_ = buffer_->QueryInterface(kIidDirectSoundNotify, notify.putVoid());
    if (FAILED(lastResult_) || !notify) {
        buffer_.reset();
        return false;
    }
    DSBPOSITIONNOTIFY positions[kDsSegments];
    for (int i = 0; i < kDsSegments; ++i) {
        positions[i].dwOffset = static_cast<DWORD>(i) * sizes_.segmentBytes;
        positions[i].hEventNotify = notification_.get();
    }
    lastResult_ = notify->SetNotificationPositions(kDsSegments, positions);
    writeCursor_ = 0;
    padFrames_ = 0;
    return true;
}

void DirectSoundOutput::ResetBuffers() {
    tail_ = DsTail{};
    if (!buffer_ && !Open(source_, playerStop_)) return;
    HANDLE events[2] = {dataWritten_, threadEnded_};
    const DWORD w = WaitForMultipleObjects(2, events, FALSE, 5000);
    if (w == WAIT_TIMEOUT) {
        fail(DsNoFirstSegment);
        return;
    }
    if (w == WAIT_OBJECT_0 + 1) return;
    lastResult_ = buffer_->Play(0, 0, DSBPLAY_LOOPING);
    if (SUCCEEDED(lastResult_))
        fail(DsOk);
    else if (lastResult_ == kPrioLevelNeeded)
        fail(DsPriorityNeeded);
    else if (lastResult_ == kBufferLost)
        fail(DsBufferLost);
    else if (lastResult_ == kDeviceInUse)
        fail(DsDeviceInUse);
    else
        fail(DsPlayRefused);
}

bool DirectSoundOutput::playCursor(DWORD& play) {
    DWORD write = 0;
    if (!buffer_ || FAILED(buffer_->GetCurrentPosition(&play, &write))) return false;
    return true;
}

bool DirectSoundOutput::HasRoom() {
    DWORD play = 0;
    if (!playCursor(play)) return false;
    return DsHasRoom(writeCursor_, play, sizes_);
}

void DirectSoundOutput::fillRegion(void* region, DWORD bytes, bool levels) {
    const int frames = static_cast<int>(bytes / 2 / static_cast<DWORD>(channels_));
    const std::size_t samples = static_cast<std::size_t>(frames) * channels_;
    std::fill(conversion_.begin(), conversion_.begin() + static_cast<std::ptrdiff_t>(samples), 0);
    // A generator keeps its waveform going past its length; the segment in which the
    // source ends is silent after the end, and the played position leaves the padding out.
    int wanted = frames;
    if (!source_->IsGrowing()) {
        const int remaining = RemainingFrames(source_->GetLength(), source_->GetPosition());
        wanted = std::min(frames, remaining);
        padFrames_ += frames - wanted;
    }
    // A segment can exceed what one Read may ask for (8192 frames) above 122 kHz.
    for (int done = 0; done < wanted;) {
        const int n = std::min(kMaxReadFrames, wanted - done);
        source_->Read(conversion_.data() + static_cast<std::size_t>(done) * channels_, n);
        done += n;
    }
    ConvertToPcm16(conversion_.data(), static_cast<std::int16_t*>(region), samples);
    if (levels) {
        FillLevels(levels_[levelIndex_], conversion_.data(), frames, channels_);
        levelIndex_ = (levelIndex_ + 1) % kDsSegments;
    }
}

void DirectSoundOutput::FillSegment() {
    if (!buffer_) return;
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0, secondBytes = 0;
    if (FAILED(lastResult_ = buffer_->Lock(writeCursor_, sizes_.segmentBytes, &first, &firstBytes, &second,
                                           &secondBytes, 0))) {
        buffer_->Stop();
        return;
    }
    if (first && firstBytes) fillRegion(first, firstBytes, true);
    if (second && secondBytes) fillRegion(second, secondBytes, false);
    updatePositionAndLevels();
    writeCursor_ = RingAdvance(writeCursor_, firstBytes + secondBytes, sizes_.bufferBytes);
    buffer_->Unlock(first, firstBytes, second, secondBytes);
    if (!source_->IsGrowing() && source_->GetPosition() >= source_->GetLength()) ClearAhead();
}

void DirectSoundOutput::ClearAhead() {
    if (!buffer_ || (playerStop_ && WaitForSingleObject(playerStop_, 0) == WAIT_OBJECT_0)) return;
    DWORD play = 0;
    if (!playCursor(play)) return;
    clearArea_ = static_cast<std::int32_t>(RingDistance(writeCursor_, play, sizes_.bufferBytes));
    if (clearArea_ <= 0) return;
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0, secondBytes = 0;
    if (FAILED(buffer_->Lock(writeCursor_, static_cast<DWORD>(clearArea_), &first, &firstBytes, &second,
                             &secondBytes, 0)))
        return;
    if (first) std::memset(first, 0, firstBytes);
    if (second) std::memset(second, 0, secondBytes);
    buffer_->Unlock(first, firstBytes, second, secondBytes);
}

bool DirectSoundOutput::TailPlaying() {
    DWORD play = 0;
    if (!playCursor(play)) return false;
    const bool playing = tail_.step(writeCursor_, play, sizes_.bufferBytes);
    // The count is kept before the update so that the last segment reports the length.
    updatePositionAndLevels();
    if (!playing) return false;
    if (clearArea_ < static_cast<std::int32_t>(3 * sizes_.segmentBytes)) ClearAhead();
    return true;
}

void DirectSoundOutput::updatePositionAndLevels() {
    if (skipNextUpdate_) {
        skipNextUpdate_ = false;
        return;
    }
    DWORD play = 0;
    if (!playCursor(play)) {
        fail(DsBufferLost);
        return;
    }
    const DWORD queued = RingDistance(play, writeCursor_, sizes_.bufferBytes);
    if (tail_.remaining <= static_cast<std::int32_t>(sizes_.segmentBytes)) {
        playedPosition_.store(source_->GetLength(), std::memory_order_release);
    } else {
        const int queuedFrames = static_cast<int>(queued / 2 / static_cast<DWORD>(channels_));
        int v = -std::max(0, queuedFrames - padFrames_);
        source_->Query(QueryOwnClock, &v); // the source chain may correct for its own delay
        playedPosition_.store(source_->GetPosition() + v, std::memory_order_release);
    }
    const int heard = DsHeardSegment(levelIndex_, writeCursor_, play, sizes_);
    std::scoped_lock hold(levelLock_);
    currentLevels_ = levels_[heard];
}

int DirectSoundOutput::ResumeLatency() {
    if (!buffer_ || !dsound_) return 0;
    DWORD play = 0, hardwareWrite = 0;
    if (FAILED(buffer_->GetCurrentPosition(&play, &hardwareWrite))) return 0;
    const DsResumePoint p = DsResume(writeCursor_, hardwareWrite, safetyMargin_, channels_, sizes_);
    resumeCursor_ = p.resumeCursor;
    return p.latencyFrames;
}

void DirectSoundOutput::RefillAfterResume() {
    if (!buffer_) return;
    padFrames_ = 0; // the source went back; nothing written from here on is padding yet
    writeCursor_ = resumeCursor_;
    DWORD play = 0, hardwareWrite = 0;
    if (SUCCEEDED(buffer_->GetCurrentPosition(&play, &hardwareWrite))) {
        const DsRefillPoint p =
            DsRefill(resumeCursor_, hardwareWrite, safetyMargin_, marginStep_, channels_, sizes_);
        writeCursor_ = p.writeCursor;
        safetyMargin_ = p.margin;
    }
    skipNextUpdate_ = true;
    playedPosition_.store(source_->GetPosition(), std::memory_order_release);
    FillSegment();
}

void DirectSoundOutput::Stop() {
    if (buffer_) {
        buffer_->Stop();
        DWORD status = 0;
        if (FAILED(buffer_->GetStatus(&status)) || !(status & DSBSTATUS_PLAYING)) buffer_.reset();
    }
    writeCursor_ = 0;
    padFrames_ = 0;
    source_.release();
    tail_.lastWriteSeen = INT_MAX;
}

bool DirectSoundOutput::IsPlaying() {
    if (!buffer_) return false;
    DWORD status = 0;
    return SUCCEEDED(buffer_->GetStatus(&status)) && (status & DSBSTATUS_PLAYING);
}

void DirectSoundOutput::SetVolume(std::int8_t db) {
    volume_ = db;
    if (buffer_) buffer_->SetVolume(DsBufferVolume(db));
}

std::int8_t DirectSoundOutput::GetVolume() {
    LONG v = 0;
    if (buffer_ && SUCCEEDED(buffer_->GetVolume(&v))) return DsVolumeFromBuffer(v);
    return volume_;
}

LevelRecord DirectSoundOutput::CurrentLevels() const {
    std::scoped_lock hold(levelLock_);
    return currentLevels_;
}

} // namespace sonimo
