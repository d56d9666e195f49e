// Helpers shared by the unit tests: a temporary folder, whole-file reads and writes,
// a notice that records what it was shown.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Notice.h"
#include "platform/Text.h"
#include "synth/SampleSource.h"

namespace sonimo {

#ifdef SONIMO_TEST_DATA_DIR
// A file below the build tree's test data, which the ctest fixtures make (Wine shows the
// host's root as Z:).
inline std::u16string testDataFile(const std::string& relative) {
    std::string p = std::string(SONIMO_TEST_DATA_DIR) + "/" + relative;
#ifdef _WIN32
    for (char& c : p)
        if (c == '/') c = '\\';
    if (p[0] == '\\') p = "Z:" + p;
#endif
    return utf8ToUtf16(p);
}
#endif

class TempDir {
public:
    TempDir();
    ~TempDir();
    std::u16string path(const std::u16string& name) const;
    const std::u16string& root() const { return root_; }

private:
    std::u16string root_;
    std::vector<std::u16string> made_;
};

std::vector<unsigned char> readAll(const std::u16string& path);
bool writeAll(const std::u16string& path, const std::vector<unsigned char>& bytes);

// Pulls `frames` frames out of a source in reads of at most `block` frames.
std::vector<std::int32_t> renderFrames(SampleSource& source, int frames, int block = kMaxReadFrames);

struct RecordedNotice {
    std::u16string text, caption;
    NoticeIcon icon;
    NoticeButtons buttons;
    NoticeModality modality;
};

// Installs itself as the current notice for its lifetime and answers with `answer`.
class RecordingNotice final : public Notice {
public:
    explicit RecordingNotice(NoticeAnswer answer = NoticeAnswer::Ok);
    ~RecordingNotice() override;
    std::vector<RecordedNotice> shown;
    NoticeAnswer answer;

protected:
    NoticeAnswer present(std::u16string_view text, std::u16string_view caption, NoticeIcon icon,
                         NoticeButtons buttons, NoticeModality modality) override;
};

} // namespace sonimo
