#include "TestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/File.h"
#include "platform/Text.h"

namespace sonimo {

namespace {
std::atomic<int> gCounter{0};

} // namespace

TempDir::TempDir() {
    std::error_code ec;
    const auto base = std::filesystem::temp_directory_path(ec);
    for (;;) {
        const auto p =
            base / ("sonimo-test-" + std::to_string(std::rand()) + "-" + std::to_string(gCounter++));
        if (std::filesystem::create_directory(p, ec)) {
            root_ = fromFsPath(p);
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(toFsPath(root_), ec);
}

std::u16string TempDir::path(const std::u16string& name) const {
#ifdef _WIN32
    return root_ + u"\\" + name;
#else
    return root_ + u"/" + name;
#endif
}

std::vector<unsigned char> readAll(const std::u16string& path) {
    File f;
    std::vector<unsigned char> v;
    if (!f.open(path, File::Mode::ReadShared)) return v;
    const std::int64_t n = f.size();
    v.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    const std::int64_t got = f.read(v.data(), static_cast<std::int64_t>(v.size()));
    v.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return v;
}

bool writeAll(const std::u16string& path, const std::vector<unsigned char>& bytes) {
    File f;
    return f.open(path, File::Mode::CreateExclusive) &&
           f.write(bytes.data(), static_cast<std::int64_t>(bytes.size())) ==
               static_cast<std::int64_t>(bytes.size());
}

std::vector<std::int32_t> renderFrames(SampleSource& s, int frames, int block) {
    std::vector<std::int32_t> out(static_cast<std::size_t>(frames) * s.channels, 0x5A5A5A5A);
    for (int done = 0; done < frames;) {
        const int n = std::min(block, frames - done);
        s.Read(out.data() + static_cast<std::size_t>(done) * s.channels, n);
        done += n;
    }
    return out;
}

RecordingNotice::RecordingNotice(NoticeAnswer a) : answer(a) {
    setCurrentNotice(this);
}
RecordingNotice::~RecordingNotice() {
    setCurrentNotice(nullptr);
}

NoticeAnswer RecordingNotice::present(std::u16string_view text, std::u16string_view caption, NoticeIcon icon,
                                      NoticeButtons buttons, NoticeModality modality) {
    shown.push_back({std::u16string(text), std::u16string(caption), icon, buttons, modality});
    return answer;
}

} // namespace sonimo
