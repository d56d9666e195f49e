#include "synth/ToneListRenderer.h"

#include <algorithm>
#include <vector>

#include "audio/AudioFileReader.h"
#include "platform/Notice.h"
#include "synth/SequenceSource.h"
#include "synth/SilenceSource.h"
#include "synth/ToneRenderer.h"
#include "tone/ToneData.h"

namespace sonimo {

namespace {

// The lists being rendered on this thread, outermost first. A list that names one of
// them would render itself for ever.
thread_local std::vector<std::u16string> tActiveLists;

class ActiveList {
public:
    explicit ActiveList(const std::u16string& path) { tActiveLists.push_back(path); }
    ~ActiveList() { tActiveLists.pop_back(); }
    ActiveList(const ActiveList&) = delete;
    ActiveList& operator=(const ActiveList&) = delete;
};

bool isActive(const std::u16string& path) {
    return std::find(tActiveLists.begin(), tActiveLists.end(), path) != tActiveLists.end();
}

void reportUnknownType(const std::u16string& extension) {
    std::u16string text = u"拡張子が%sのファイルタイプはトーンファイルとして認識されません。";
    text.replace(text.find(u"%s"), 2, extension);
    currentNotice().show(text, u"ファイルのタイプが認識されません", NoticeIcon::Error, NoticeButtons::Ok);
}

} // namespace

SourceRef renderToneList(const ToneList& list, int toneRate) {
    SequenceEntries children;
    children.reserve(list.entries.size());
    for (const ToneListEntry& e : list.entries) {
        if (e.isSilence()) {
            // A negative length (only a hand-made file has one) would shorten what the
            // sequence reports for the entries around it: it is no silence at all.
            const std::int32_t frames = MsToFrames(std::max<std::int32_t>(e.silenceMs, 0), kListSilenceRate);
            children.push_back({makeSource<SilenceSource>(kListSilenceRate, kListSilenceChannels, kGeneratorPeak, frames), 0});
            continue;
        }
        const std::u16string ext = fileExtension(e.fileName);
        if (ext == u".wav") {
            children.push_back({OpenAudioFile(e.fileName), 0});
        } else if (ext == u".tdf") {
            ToneData tone = defaultToneData();
            loadToneFile(tone, e.fileName); // a failed load leaves the default tone
            children.push_back({RenderToneAtPlaybackRate(tone, toneRate), 0});
        } else if (ext == u".tdl") {
            bool refused = false;
            SourceRef nested = renderToneListFile(e.fileName, toneRate, &refused);
            if (!refused) children.push_back({nested, 0});
        } else {
            reportUnknownType(ext);
        }
    }
    return MakeSequence(children);
}

SourceRef renderToneList(const ToneList& list) { return renderToneList(list, settingsSampleRate()); }

SourceRef renderToneListFile(const std::u16string& path, int toneRate, bool* refused) {
    if (refused) *refused = false;
    if (isActive(path)) {
        if (refused) *refused = true;
        return SourceRef();
    }
    ActiveList guard(path);
    return renderToneList(readToneList(path), toneRate);
}

} // namespace sonimo
