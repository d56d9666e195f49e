// What a long render reports to, and asks of, whoever watches it: the program's modal
// progress dialog, the command-line tool's progress bar, or a scripted test.
#pragma once
#include <string>

namespace sonimo {

class RenderProgress {
public:
    virtual ~RenderProgress() = default;
    virtual void setLines(const std::u16string& first, const std::u16string& second) = 0;
    virtual void setFraction(double done) = 0; // 0..1
    virtual bool cancelled() = 0;
};

// Shows nothing and never cancels: for renders nobody watches (tests, benchmarks).
class SilentProgress final : public RenderProgress {
public:
    void setLines(const std::u16string&, const std::u16string&) override {}
    void setFraction(double) override {}
    bool cancelled() override { return false; }
};

} // namespace sonimo
