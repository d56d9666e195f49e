#include "audio/ToneListRenderer.h"

#include <algorithm>
#include <map>
#include <vector>

#include "audio/AudioFileReader.h"
#include "audio/ToneRenderer.h"
#include "platform/Notice.h"
#include "synth/SequenceSource.h"
#include "synth/SilenceSource.h"
#include "tone/ToneData.h"

namespace sonimo {

const char16_t kListTooLargeText[] =
    u"トーンリストが大きすぎます。入れ子は16段まで、展開後の項目は100000個までです。";
const char16_t kListTooLargeCaption[] = u"トーンリストエラー";

namespace {

// What one render (the outermost list and everything under it) has built so far.
struct Shared {
    SourceRef source;
    std::int64_t entries = 1; // entries it stands for once nested lists are expanded
};

struct RenderContext {
    std::map<std::u16string, Shared> built; // by extension-and-path: ".tdl" lists, ".tdf" tones, ".wav" files
    std::vector<std::u16string> active;     // the lists being rendered, outermost first
    bool tooLarge = false;
};

thread_local RenderContext* tContext = nullptr;

// Opens a context for an outermost render and closes it after; nested renders use it.
class ContextScope {
public:
    ContextScope() : owner_(tContext == nullptr) {
        if (owner_) tContext = &context_;
    }
    ~ContextScope() {
        if (owner_) tContext = nullptr;
    }
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;
    bool owner() const { return owner_; }

private:
    bool owner_;
    RenderContext context_;
};

void reportUnknownType(const std::u16string& extension) {
    std::u16string text = u"拡張子が%sのファイルタイプはトーンファイルとして認識されません。";
    text.replace(text.find(u"%s"), 2, extension);
    currentNotice().show(text, u"ファイルのタイプが認識されません", NoticeIcon::Error, NoticeButtons::Ok);
}

// Entries of `list` with nested lists expanded, and the sequence; stops early once the
// render is too large.
Shared renderEntries(const ToneList& list, int toneRate) {
    RenderContext& cx = *tContext;
    SequenceEntries children;
    children.reserve(list.entries.size());
    std::int64_t count = 0;
    for (const ToneListEntry& e : list.entries) {
        if (cx.tooLarge) break;
        if (e.isSilence()) {
            // A negative length (only a hand-made file has one) would shorten what the
            // sequence reports for the entries around it: it is no silence at all.
            const std::int32_t frames = MsToFrames(std::max<std::int32_t>(e.silenceMs, 0), kListSilenceRate);
            children.push_back(
                {makeSource<SilenceSource>(kListSilenceRate, kListSilenceChannels, kGeneratorPeak, frames),
                 0});
            ++count;
        } else {
            const FileKind kind = fileKindOf(e.fileName);
            if (kind == FileKind::Other) {
                reportUnknownType(fileExtension(e.fileName));
                continue;
            }
            const std::u16string key = fileExtension(e.fileName) + u"|" + e.fileName;
            auto it = cx.built.find(key);
            if (it == cx.built.end()) {
                Shared made;
                if (kind == FileKind::Wave) {
                    made.source = OpenAudioFile(e.fileName);
                } else if (kind == FileKind::Tone) {
                    ToneData tone = defaultToneData();
                    loadToneFile(tone, e.fileName); // a failed load leaves the default tone
                    made.source = RenderToneAtPlaybackRate(tone, toneRate);
                    if (tone.waveform == FromList) { // a list tone stands for its list's entries
                        auto counted = cx.built.find(u".tdl|" + listPathOf(tone));
                        if (counted != cx.built.end()) made.entries = counted->second.entries;
                    }
                } else {
                    ListOutcome outcome = ListOutcome::Rendered;
                    made.source = renderToneListFile(e.fileName, toneRate, &outcome);
                    if (outcome == ListOutcome::Cycle) continue; // not kept: it is a cycle only from here
                    auto counted = cx.built.find(key);
                    made.entries = counted != cx.built.end() ? counted->second.entries : 0;
                }
                it = cx.built.insert_or_assign(key, made).first;
            }
            children.push_back({it->second.source, 0});
            count += std::max<std::int64_t>(it->second.entries, 1);
        }
        if (count > kMaxListEntries) cx.tooLarge = true;
    }
    return {MakeSequence(children), count};
}

} // namespace

SourceRef renderToneList(const ToneList& list, int toneRate) {
    ContextScope scope;
    Shared r = renderEntries(list, toneRate);
    if (!tContext->tooLarge || !scope.owner()) return r.source;
    currentNotice().show(kListTooLargeText, kListTooLargeCaption, NoticeIcon::Error, NoticeButtons::Ok);
    return SourceRef();
}

SourceRef renderToneList(const ToneList& list) {
    return renderToneList(list, settingsSampleRate());
}

SourceRef renderToneListFile(const std::u16string& path, int toneRate, ListOutcome* outcome) {
    if (outcome) *outcome = ListOutcome::Rendered;
    ContextScope scope;
    RenderContext& cx = *tContext;
    if (std::find(cx.active.begin(), cx.active.end(), path) != cx.active.end()) {
        if (outcome) *outcome = ListOutcome::Cycle;
        return SourceRef();
    }
    if (static_cast<int>(cx.active.size()) >= kMaxListDepth) cx.tooLarge = true;
    Shared r;
    if (!cx.tooLarge) {
        cx.active.push_back(path);
        // one entry more than the bound is enough to know the list is too long
        r = renderEntries(readToneList(path, static_cast<std::size_t>(kMaxListEntries) + 1), toneRate);
        cx.active.pop_back();
        // remembered for the entries that name this list again
        cx.built.insert_or_assign(u".tdl|" + path, r);
    }
    if (!cx.tooLarge) return r.source;
    if (outcome) *outcome = ListOutcome::TooLarge;
    if (!scope.owner()) return r.source; // the outermost render refuses the whole list
    currentNotice().show(kListTooLargeText, kListTooLargeCaption, NoticeIcon::Error, NoticeButtons::Ok);
    return SourceRef();
}

} // namespace sonimo
