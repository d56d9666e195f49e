// The frequency scale (control 2124) in the note window body. This version shows the
// current frequency on a logarithmic strip; it reports nothing yet.
#pragma once
#include "ui/win32/LpcControl.h"

namespace sonimo {

class FrequencyScale final : public LpcControl {
public:
    // Moves the scale to a frequency without notifying anyone.
    void setValue(double hz);
    double value() const { return value_; }

protected:
    void paint(HDC dc, const RECT& client) override;

private:
    double value_ = 440.0;
};

} // namespace sonimo
