// The tone record: its in-memory layout is the 1057-byte image of a .tdf file.
// A plain value; callers own it. Edits go through the operations below so that the
// option bits always follow the same rules.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sonimo {

enum Waveform : std::uint8_t {
    Sine = 0,
    Square = 1,
    Triangle = 2,
    Sawtooth = 3,
    Impulse = 4,
    WhiteNoise = 5,
    PinkNoise = 6,
    BrownNoise = 7,
    BlueNoise = 8,
    PurpleNoise = 9,
    GreyNoise = 10,
    FromList = 11,
};

enum ToneFlags : std::uint16_t {
    ToneFlagSweep = 0x0001,
    ToneFlagLogSweep = 0x0002,
    ToneFlagStereo = 0x0004,
    ToneFlagFixedLength = 0x0008,
    ToneFlagRelativeAmplitude = 0x0010,
};

enum class ToneKind { ConstantContinuous, ConstantFixed, LinearSweep, LogSweep };

inline constexpr int kMaxTones = 16;
inline constexpr std::size_t kToneFileSize = 1057;
inline constexpr double kMaxFrequencyHz = 22000.0;
inline constexpr std::size_t kPathUnits = 260;

#pragma pack(push, 1)
struct ToneData {
    std::uint16_t flags;
    std::uint8_t waveform;
    std::uint8_t toneCount;
    std::uint32_t lengthMs;
    double leftStartHz[kMaxTones];
    double leftEndHz[kMaxTones];
    double rightStartHz[kMaxTones];
    double rightEndHz[kMaxTones];
    std::int8_t relativeAmplitudeDb[kMaxTones];
    std::uint8_t loop;
    char16_t listPath[kPathUnits];
};
#pragma pack(pop)

static_assert(sizeof(ToneData) == kToneFileSize);
static_assert(offsetof(ToneData, flags) == 0);
static_assert(offsetof(ToneData, waveform) == 2);
static_assert(offsetof(ToneData, toneCount) == 3);
static_assert(offsetof(ToneData, lengthMs) == 4);
static_assert(offsetof(ToneData, leftStartHz) == 8);
static_assert(offsetof(ToneData, leftEndHz) == 136);
static_assert(offsetof(ToneData, rightStartHz) == 264);
static_assert(offsetof(ToneData, rightEndHz) == 392);
static_assert(offsetof(ToneData, relativeAmplitudeDb) == 520);
static_assert(offsetof(ToneData, loop) == 536);
static_assert(offsetof(ToneData, listPath) == 537);

// A record at its defaults (the whole path field zeroed, unlike resetToDefaults).
ToneData defaultToneData();
void resetToDefaults(ToneData& tone);
bool isValid(const ToneData& tone);
bool differsFromDefault(const ToneData& tone);
bool loadToneFile(ToneData& tone, const std::u16string& path);
// The same on a file image at hand (the first 1057 of `size` bytes count).
bool loadToneImage(ToneData& tone, const void* bytes, std::size_t size);
bool saveToneFile(const ToneData& tone, const std::u16string& path);
std::u16string waveformName(const ToneData& tone);
std::u16string waveformName(int waveform);
// The list path up to its terminating zero, never past its 260 units.
std::u16string listPathOf(const ToneData& tone);
// Stores at most 259 units and the terminating zero.
void setListPath(ToneData& tone, std::u16string_view path);

ToneKind toneKind(const ToneData& tone);
std::u16string toneKindName(ToneKind kind);
bool isNoise(int waveform);
bool isSwept(const ToneData& tone);

void setKind(ToneData& tone, ToneKind kind);
void toggleFixedLength(ToneData& tone);
void toggleLoop(ToneData& tone);
void setMono(ToneData& tone);
void setStereo(ToneData& tone);
void toggleStereo(ToneData& tone);
void toggleRelativeAmplitude(ToneData& tone);
void setWaveform(ToneData& tone, int waveform); // 0..10; FromList is set only by attaching a list
void setToneCount(ToneData& tone, int count);   // 1..16; other values are ignored
void addTone(ToneData& tone);                   // warns through the current notice at 16

} // namespace sonimo
