// render: what the program's "save as WAV" writes for a tone or a list, byte for byte:
// the same graph, the same render task with its look-ahead limiter, the same writer.
#include <atomic>
#include <csignal>
#include <cstdio>

#include "Commands.h"
#include "SourceFiles.h"
#include "audio/RenderTask.h"
#include "audio/ToneListRenderer.h"
#include "audio/ToneRenderer.h"
#include "audio/WaveFileWriter.h"
#include "platform/File.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"

namespace sonimo::cli {

namespace {

// The refusals of the program's WAV test, as it words them.
constexpr char16_t kEndlessText[] =
    u"一定の長さに指定されているトーンはWavファイルでのみ保存できます。 \n\n長さが指定されていません。"
    u"トーンメニューから定数（一定時間）または掃引アイテムを選択してください。";
constexpr char16_t kLoopedText[] =
    u"ループ再生が設定されているトーンはWavファイルでは保存できません。 \n\nループ再生をオフにしてください。";

std::atomic<bool> gInterrupted{false};
extern "C" void onInterrupt(int) {
    gInterrupted = true;
}

// A bar on standard error when it is a terminal; Ctrl+C cancels the render, which
// leaves a finished file of the frames written so far.
class TerminalProgress final : public RenderProgress {
public:
    explicit TerminalProgress(bool show) : show_(show) {}
    ~TerminalProgress() override {
        if (drawn_) std::fputs("\n", stderr);
    }
    void setLines(const std::u16string&, const std::u16string&) override {}
    void setFraction(double done) override {
        if (!show_) return;
        const int percent = done <= 0 ? 0 : done >= 1 ? 100 : static_cast<int>(done * 100);
        if (drawn_ && percent == percent_) return;
        percent_ = percent;
        drawn_ = true;
        char bar[41];
        for (int i = 0; i < 40; ++i)
            bar[i] = i < percent * 40 / 100 ? '#' : '.';
        bar[40] = 0;
        std::fprintf(stderr, "\rrendering [%s] %3d%%", bar, percent);
        std::fflush(stderr);
    }
    bool cancelled() override { return gInterrupted; }
    void finish() { setFraction(1.0); }

private:
    bool show_;
    bool drawn_ = false;
    int percent_ = -1;
};

bool readable(const std::u16string& path) {
    File f;
    return f.open(path, File::Mode::ReadShared);
}

} // namespace

int runRender(const Args& args) {
    const ArgScanner a(args, {"-o", "--rate"}, {});
    if (!a.ok()) {
        printError("render: " + a.error());
        return kExitUsage;
    }
    if (a.positional().size() != 1 || !a.value("-o")) {
        printError("render: usage: render IN.tdf|IN.tdl|IN.wav -o OUT.wav [--rate HZ]");
        return kExitUsage;
    }
    std::int64_t rate = kDefaultRate;
    if (!readRateOption(a, rate)) return kExitUsage;
    const std::u16string in = pathArg(a.positional()[0]);
    const std::u16string out = pathArg(*a.value("-o"));
    if (out == in) {
        printError("render: the output would replace the input " + displayPath(in));
        return kExitUsage;
    }
    const std::u16string ext = fileExtension(in);
    if (ext != u".tdf" && ext != u".tdl" && ext != u".wav") {
        printError(displayPath(in) +
                   ": the type is taken from the extension, which must be exactly .tdf, .tdl or .wav");
        return kExitInput;
    }
    if (ext == u".wav" && a.value("--rate")) {
        printError("render: --rate does not apply to a WAV file, which is written at its own rate");
        return kExitUsage;
    }
    if (!readable(in)) {
        printError("cannot read " + displayPath(in));
        return kExitInput;
    }

    const OpenedFile opened = openSourceFile(in, static_cast<int>(rate));
    if (opened.exitCode != kExitDone) return opened.exitCode;
    if (opened.kind == FileKind::Tone) {
        // The program's WAV test. Any non-zero loop byte loops when rendered, so any
        // non-zero one is refused: such a render would never reach an end of its own.
        if (!(opened.tone.flags & ToneFlagFixedLength)) {
            printMessage(kEndlessText);
            return kExitInput;
        }
        if (opened.tone.loop != 0) {
            printMessage(kLoopedText);
            return kExitInput;
        }
    }
    // A list is saved as the list tone it becomes when attached: of fixed length, not
    // looped, rendered as its sequence. A WAV file is decoded through the reader and written
    // at its own rate and channel count.
    const SourceRef& source = opened.source;
    if (opened.kind == FileKind::Wave && source->state != StateOk) {
        printError(displayPath(in) + ": cannot be decoded (reader state " + std::to_string(source->state) + ")");
        return kExitInput;
    }
    if (source->state != StateOk) {
        printError(displayPath(in) + ": nothing that can be rendered");
        return kExitInput;
    }

    SinkRef wav = CreateWaveFileWriter(out, source->sampleRate, source->channels);
    if (wav->failed()) {
        printError("cannot write " + displayPath(out));
        return kExitOutput;
    }
    int result;
    {
        TerminalProgress progress(stderrIsTerminal());
        gInterrupted = false;
        void (*previous)(int) = std::signal(SIGINT, onInterrupt);
        result = RenderTask(u"ファイルを保存しています", source, wav, progress);
        std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
        if (result == RenderCompleted) progress.finish();
    }
    const std::int32_t frames = wav->framesWritten;
    wav.release(); // the last release writes the real sizes
    if (result == RenderCancelled) {
        printError("cancelled: " + displayPath(out) + " holds the first " + std::to_string(frames) +
                   " frames");
        return kExitOutput;
    }
    if (result != RenderCompleted) {
        printError("writing " + displayPath(out) + " failed after " + std::to_string(frames) + " frames");
        return kExitOutput;
    }
    return kExitDone;
}

} // namespace sonimo::cli
