// The level meter (control 104): one horizontal bar per channel, filled from -48 dB to
// +12 dB, with a dB scale below. User-interface thread only.
#pragma once
#include <string>

#include "ui/MeterAndVolume.h"
#include "ui/win32/LpcControl.h"

namespace sonimo {

class LevelMeter final : public LpcControl {
public:
    // Silence (nothing measured) on `channels` bars.
    void setSilence(int channels);
    void setLevels(const int* levels, int channels);
    int channels() const { return channels_; }
    int level(int channel) const { return levels_[channel & 1]; }
    std::u16string tooltip() const { return meterTooltip(levels_, channels_); }

    static void paintMeter(HDC dc, const RECT& rect, const int* levels, int channels);

protected:
    void paint(HDC dc, const RECT& client) override { paintMeter(dc, client, levels_, channels_); }

private:
    int levels_[2] = {kLevelNone, kLevelNone};
    int channels_ = 1;
};

} // namespace sonimo
