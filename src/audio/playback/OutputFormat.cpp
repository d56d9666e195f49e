#include "audio/playback/OutputFormat.h"

#include <cmath>
#include <cstdio>

namespace sonimo {

std::int8_t LevelOfPeak(std::uint32_t peak) {
    if (peak == 0) return -127;
    const double db = std::round(20.0 * std::log10(static_cast<double>(peak) / 131072.0));
    if (db < -127.0) return -127;
    if (db > 127.0) return 127;
    return static_cast<std::int8_t>(db);
}

void FillLevels(LevelRecord& record, const std::int32_t* samples, int frames, int channels) {
    record.count = static_cast<std::uint8_t>(channels);
    for (int c = 0; c < channels; ++c) {
        std::uint32_t peak = 0;
        for (int f = 0; f < frames; ++f) {
            const std::int64_t v = samples[static_cast<std::size_t>(f) * channels + c];
            const std::uint32_t a = static_cast<std::uint32_t>(v < 0 ? -v : v);
            if (a > peak) peak = a;
        }
        record.levels[c] = LevelOfPeak(peak);
    }
}

DWORD ChannelMaskFor(int channels) {
    switch (channels) {
    case 1:
        return 0x4;
    case 2:
        return 0x3;
    case 3:
        return 0x103;
    case 4:
        return 0x107;
    case 5:
        return 0x10F;
    case 6:
        return 0x60F;
    case 7:
        return 0x70F;
    case 8:
        return 0x63F;
    case 9:
        return 0;
    default:
        return 0x80000000u;
    }
}

WAVEFORMATEXTENSIBLE MakeOutputFormat(int rate, int channels) {
    static const GUID kPcmSubFormat = {
        0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    WAVEFORMATEXTENSIBLE f{};
    f.Format.nChannels = static_cast<WORD>(channels);
    f.Format.nSamplesPerSec = static_cast<DWORD>(rate);
    f.Format.wBitsPerSample = 16;
    f.Format.nBlockAlign = static_cast<WORD>(channels * 2);
    f.Format.nAvgBytesPerSec = f.Format.nBlockAlign * static_cast<DWORD>(rate);
    if (channels <= 2) {
        f.Format.wFormatTag = WAVE_FORMAT_PCM;
        f.Format.cbSize = 0;
        return f;
    }
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.cbSize = 22;
    f.Samples.wValidBitsPerSample = 16;
    f.dwChannelMask = ChannelMaskFor(channels);
    f.SubFormat = kPcmSubFormat;
    return f;
}

std::string DescribeMmResult(MMRESULT result) {
    char text[MAXERRORLENGTH] = {};
    char out[MAXERRORLENGTH + 32];
    if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR) text[0] = 0;
    std::snprintf(out, sizeof out, "MMRESULT %u (%s)", static_cast<unsigned>(result),
                  text[0] ? text : "unknown");
    return out;
}

std::string DescribeHResult(HRESULT result) {
    struct Known {
        HRESULT code;
        const char* name;
    };
    static const Known known[] = {
        {static_cast<HRESULT>(0x88780046), "DSERR_PRIOLEVELNEEDED"},
        {static_cast<HRESULT>(0x88780096), "DSERR_BUFFERLOST"},
        {static_cast<HRESULT>(0x8878000A), "DSERR_ALLOCATED"},
        {static_cast<HRESULT>(0x88780032), "DSERR_BADFORMAT"},
        {static_cast<HRESULT>(0x88780078), "DSERR_NODRIVER"},
        {static_cast<HRESULT>(0x8889000A), "AUDCLNT_E_DEVICE_IN_USE"},
        {static_cast<HRESULT>(0x80070057), "E_INVALIDARG"},
        {static_cast<HRESULT>(0x8007000E), "E_OUTOFMEMORY"},
        {static_cast<HRESULT>(0x80004002), "E_NOINTERFACE"},
        {static_cast<HRESULT>(0x80004005), "E_FAIL"},
        {static_cast<HRESULT>(0x80004001), "E_NOTIMPL"},
    };
    const char* name = SUCCEEDED(result) ? "success" : "unknown";
    for (const Known& k : known)
        if (k.code == result) name = k.name;
    char out[64];
    std::snprintf(out, sizeof out, "HRESULT 0x%08lX (%s)", static_cast<unsigned long>(result), name);
    return out;
}

} // namespace sonimo
