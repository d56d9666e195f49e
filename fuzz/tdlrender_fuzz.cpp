// Tone lists rendered: any bytes parsed as a list and turned into a sequence, whose first
// frames are read in uneven blocks. Whatever the list holds, the render must end within
// the bounds of the list renderer (nesting, expanded entries), every sample read must be
// defined, and the position must follow what was read. Tones render at the silences'
// rate, so that no rate converter (which has tests of its own) takes the fuzzer's time,
// and about 4400 frames are read: the work is the list's, up to and past the 100,000
// entries a render takes.
// libFuzzer: -max_len=8192
// libFuzzer at the bounds: -max_len=1048576 -entropic_scale_per_exec_time=1
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "audio/ToneListRenderer.h"
#include "platform/Notice.h"
#include "tone/ToneList.h"

using namespace sonimo;

namespace {
class QuietNotice final : public Notice {
protected:
    NoticeAnswer present(std::u16string_view, std::u16string_view, NoticeIcon, NoticeButtons,
                         NoticeModality) override {
        return NoticeAnswer::Ok;
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QuietNotice quiet;
    setCurrentNotice(&quiet);
    const ToneList list = parseToneList(data, size, static_cast<std::size_t>(kMaxListEntries) + 1);
    SourceRef s = renderToneList(list, kListSilenceRate);
    if (s->state != StateOk) return 0;
    if (s->channels < 1 || s->sampleRate <= 0) std::abort();
    const int length = s->GetLength();
    const bool growing = s->IsGrowing();
    std::vector<std::int32_t> buf(static_cast<std::size_t>(4096) * s->channels, 0x5A5A5A5A);
    int read = 0;
    for (int block : {1, 7, 4096, 333}) {
        s->Read(buf.data(), block);
        read += block;
    }
    // (a child at another rate may report its converted length a little differently once
    // it is current, so the length is only held to stay within reason)
    if (s->GetLength() < 0 || length < 0) std::abort();
    if (!growing && (s->GetPosition() < 0 || s->GetPosition() > read)) std::abort();
    return 0;
}
