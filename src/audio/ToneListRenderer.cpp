#include "audio/ToneListRenderer.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "audio/AudioFileReader.h"
#include "audio/ToneRenderer.h"
#include "platform/File.h"
#include "platform/Notice.h"
#include "synth/SequenceSource.h"
#include "synth/SilenceSource.h"
#include "tone/ToneData.h"

namespace sonimo {

const char16_t kListTooLargeText[] =
    u"トーンリストが大きすぎます。入れ子は16段まで、読み込む行と作る音はそれぞれ合わせて100000個まで、"
    u"長さは2147483647フレームまでです。";
const char16_t kListTooLargeCaption[] = u"トーンリストエラー";

struct RenderContext {
    // A graph this render has built, and what building it reported, so that each further
    // entry naming the same file reports it again, as a fresh build would.
    struct Built {
        SourceRef source;
        std::vector<std::u16string> unknown; // extensions of the unrecognised entries inside it
    };

    std::map<std::u16string, Built> built; // by kind and path identity: lists, tones, WAV files
    std::vector<std::u16string> active;    // identities of the lists being rendered, outermost first
    std::vector<std::u16string> reported;  // unrecognised extensions, in the order shown
    std::map<std::u16string, std::u16string> identities; // path as written -> pathIdentity
    // What a render costs is what it reads and builds: a graph named again costs nothing.
    std::int64_t linesRead = 0, graphsBuilt = 0;
    // Whether a cycle was cut in what is being built now. What was built without a cut
    // holds no cycle, so it is the same wherever it is named; what was built with one looks
    // different where other lists are active, so it is built anew each time it is named
    // (and what that reads is counted again).
    bool cut = false;
    bool tooLarge = false;
};

namespace {

void reportUnknownType(RenderContext& cx, const std::u16string& extension) {
    std::u16string text = u"拡張子が%sのファイルタイプはトーンファイルとして認識されません。";
    text.replace(text.find(u"%s"), 2, extension);
    currentNotice().show(text, u"ファイルのタイプが認識されません", NoticeIcon::Error, NoticeButtons::Ok,
                         NoticeModality::Task);
    cx.reported.push_back(extension);
}

void reportTooLarge() {
    currentNotice().show(kListTooLargeText, kListTooLargeCaption, NoticeIcon::Error, NoticeButtons::Ok,
                         NoticeModality::Task);
}

// Finding a path's identity asks the file system about each folder on the way; a list
// names the same few files many times.
const std::u16string& identityOf(RenderContext& cx, const std::u16string& path) {
    auto it = cx.identities.find(path);
    if (it == cx.identities.end()) it = cx.identities.emplace(path, pathIdentity(path)).first;
    return it->second;
}

void countGraph(RenderContext& cx) {
    if (++cx.graphsBuilt > kMaxListEntries) cx.tooLarge = true;
}

// Builds what a file entry names (once per render where the result does not depend on
// the lists being rendered around it) and gives the graph to play.
SourceRef buildFileEntry(RenderContext& cx, const std::u16string& fileName, FileKind kind, int toneRate) {
    const std::u16string key = fileExtension(fileName) + u"|" + identityOf(cx, fileName);
    if (auto it = cx.built.find(key); it != cx.built.end()) {
        for (const std::u16string& ext : it->second.unknown)
            reportUnknownType(cx, ext);
        return it->second.source;
    }
    const bool outerCut = cx.cut;
    const std::size_t firstReport = cx.reported.size();
    cx.cut = false;
    RenderContext::Built made;
    if (kind == FileKind::Wave) {
        made.source = OpenAudioFile(fileName);
        countGraph(cx);
    } else if (kind == FileKind::Tone) {
        ToneData tone = defaultToneData();
        loadToneFile(tone, fileName); // a failed load leaves the default tone
        made.source = RenderToneAtPlaybackRate(tone, toneRate, cx);
        if (tone.waveform != FromList) countGraph(cx); // a list tone counted what its list read
    } else {
        made.source = renderToneListFile(cx, fileName, toneRate);
    }
    const bool cut = cx.cut;
    cx.cut = outerCut || cut;
    if (!cut) {
        made.unknown.assign(cx.reported.begin() + static_cast<std::ptrdiff_t>(firstReport),
                            cx.reported.end());
        cx.built.emplace(key, made);
    }
    return made.source;
}

SourceRef renderEntries(RenderContext& cx, const ToneList& list, int toneRate) {
    SequenceEntries children;
    children.reserve(list.entries.size());
    cx.linesRead += static_cast<std::int64_t>(list.entries.size());
    if (cx.linesRead > kMaxListEntries) cx.tooLarge = true;
    for (const ToneListEntry& e : list.entries) {
        if (cx.tooLarge) break;
        if (e.isSilence()) {
            // A negative length (only a hand-made file has one) would shorten what the
            // sequence reports for the entries around it: it is no silence at all.
            const std::int32_t frames = MsToFrames(std::max<std::int32_t>(e.silenceMs, 0), kListSilenceRate);
            children.push_back(
                {makeSource<SilenceSource>(kListSilenceRate, kListSilenceChannels, kGeneratorPeak, frames),
                 0});
            continue;
        }
        const FileKind kind = fileKindOf(e.fileName);
        if (kind == FileKind::Other) {
            reportUnknownType(cx, fileExtension(e.fileName));
            continue;
        }
        SourceRef child = buildFileEntry(cx, e.fileName, kind, toneRate);
        if (child->state == StateNull) continue; // a list cut for a cycle, or one refused
        children.push_back({child, 0});
    }
    return MakeSequence(children);
}

// The outermost render also refuses a list longer than a length can count: it would play
// for many hours and its length could not be shown or written.
bool tooLong(SampleSource& s) {
    return s.GetLength() >= INT32_MAX;
}

// `outermost`: this call made the context, and so answers for the whole render.
SourceRef renderListFile(RenderContext& cx, const std::u16string& path, int toneRate, ListOutcome* outcome,
                         bool outermost) {
    if (outcome) *outcome = ListOutcome::Rendered;
    const std::u16string identity = identityOf(cx, path);
    const auto active = std::find(cx.active.begin(), cx.active.end(), identity);
    if (active != cx.active.end()) {
        cx.cut = true;
        if (outcome) *outcome = ListOutcome::Cycle;
        return SourceRef();
    }
    if (static_cast<int>(cx.active.size()) >= kMaxListDepth) cx.tooLarge = true;
    SourceRef r;
    if (!cx.tooLarge) {
        cx.active.push_back(identity);
        // one line more than the bound is enough to know the list is too long
        r = renderEntries(cx, readToneList(path, static_cast<std::size_t>(kMaxListEntries) + 1), toneRate);
        cx.active.pop_back();
        if (outermost && tooLong(*r)) cx.tooLarge = true;
    }
    if (!cx.tooLarge) return r;
    if (outcome) *outcome = ListOutcome::TooLarge;
    if (!outermost) return SourceRef(); // the outermost render refuses the whole list
    reportTooLarge();
    return SourceRef();
}

} // namespace

SourceRef renderToneList(const ToneList& list, int toneRate) {
    RenderContext cx;
    SourceRef r = renderEntries(cx, list, toneRate);
    if (tooLong(*r)) cx.tooLarge = true;
    if (!cx.tooLarge) return r;
    reportTooLarge();
    return SourceRef();
}

SourceRef renderToneListFile(const std::u16string& path, int toneRate, ListOutcome* outcome) {
    RenderContext cx;
    return renderListFile(cx, path, toneRate, outcome, true);
}

SourceRef renderToneListFile(RenderContext& context, const std::u16string& path, int toneRate) {
    return renderListFile(context, path, toneRate, nullptr, false);
}

} // namespace sonimo
