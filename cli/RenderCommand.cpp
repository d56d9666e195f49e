// render: what the program's "save as WAV" writes for a tone or a list, byte for byte:
// the same graph, the same render task with its look-ahead limiter, the same writer.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <vector>

#include "Commands.h"
#include "SourceFiles.h"
#include "ToneOptions.h"
#include "audio/RenderTask.h"
#include "audio/ToneListRenderer.h"
#include "audio/ToneRenderer.h"
#include "audio/WaveFileWriter.h"
#include "platform/File.h"
#include "synth/NoiseRandom.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

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

// The WAV file the writer makes, sent down a pipe: nothing can be rewritten there, so the
// header carries the sizes of the frames the render will write, known beforehand.
class StreamWaveWriter final : public SampleSink {
public:
    StreamWaveWriter(std::FILE* out, std::int32_t rate, int ch, std::uint32_t frames)
        : SampleSink(rate, ch), out_(out), frames_(frames) {
        unsigned char h[WaveFileWriter::kHeaderBytes];
        WaveFileWriter::BuildHeader(h, sampleRate, channels, frames * 2u * channels);
        if (std::fwrite(h, 1, sizeof h, out_) != sizeof h) errorFlags |= kSinkError;
    }
    ~StreamWaveWriter() override { std::fflush(out_); }
    std::int32_t Write(const std::int32_t* frames, int count) override {
        if (!frames || count <= 0) return 0;
        const std::uint32_t room = frames_ - static_cast<std::uint32_t>(framesWritten);
        const int take = static_cast<int>(std::min<std::uint32_t>(static_cast<std::uint32_t>(count), room));
        const std::size_t samples = static_cast<std::size_t>(take) * channels;
        buffer_.resize(samples * 2);
        for (std::size_t i = 0; i < samples; ++i) {
            const auto v = static_cast<std::uint16_t>(ToPcm16(frames[i]));
            buffer_[2 * i] = static_cast<unsigned char>(v);
            buffer_[2 * i + 1] = static_cast<unsigned char>(v >> 8);
        }
        const std::size_t put = std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
        framesWritten += static_cast<std::int32_t>(put / (2u * channels));
        // more frames than the header announced would make the stream lie
        if (put != buffer_.size() || take < count) errorFlags |= kSinkError;
        return static_cast<std::int32_t>(put);
    }

private:
    std::FILE* out_;
    std::uint32_t frames_;
    std::vector<unsigned char> buffer_;
};

// The source from a file or from tone options, refused with its reason printed.
struct RenderInput {
    SourceRef source;
    int exitCode = kExitDone;
};

// The program's WAV test: any non-zero loop byte loops when rendered, so any non-zero
// one is refused: such a render would never reach an end of its own.
int checkToneRenders(const ToneData& tone, bool fromOptions) {
    if (!(tone.flags & ToneFlagFixedLength)) {
        printMessage(kEndlessText);
        if (fromOptions) printError("render: give --length MS for a tone of fixed length");
        return kExitInput;
    }
    if (tone.loop != 0) {
        printMessage(kLoopedText);
        return kExitInput;
    }
    return kExitDone;
}

RenderInput inputFromFile(const ArgScanner& a, const std::u16string& in, const std::u16string& out,
                          int rate) {
    RenderInput r;
    r.exitCode = kExitInput;
    if (out == in) {
        printError("render: the output would replace the input " + displayPath(in));
        r.exitCode = kExitUsage;
        return r;
    }
    const std::u16string ext = fileExtension(in);
    if (ext != u".tdf" && ext != u".tdl" && ext != u".wav") {
        printError(displayPath(in) +
                   ": the type is taken from the extension, which must be exactly .tdf, .tdl or .wav");
        return r;
    }
    if (ext == u".wav" && a.value("--rate")) {
        printError("render: --rate does not apply to a WAV file, which is written at its own rate");
        r.exitCode = kExitUsage;
        return r;
    }
    if (!readable(in)) {
        printError("cannot read " + displayPath(in));
        return r;
    }
    const OpenedFile opened = openSourceFile(in, rate);
    if (opened.exitCode != kExitDone) {
        r.exitCode = opened.exitCode;
        return r;
    }
    if (opened.kind == FileKind::Tone && (r.exitCode = checkToneRenders(opened.tone, false)) != kExitDone)
        return r;
    r.exitCode = kExitInput;
    // A list is saved as the list tone it becomes when attached: of fixed length, not
    // looped, rendered as its sequence. A WAV file is decoded through the reader and written
    // at its own rate and channel count.
    if (opened.kind == FileKind::Wave && opened.source->state != StateOk) {
        printError(displayPath(in) + ": cannot be decoded (reader state " +
                   std::to_string(opened.source->state) + ")");
        return r;
    }
    if (opened.source->state != StateOk) {
        printError(displayPath(in) + ": nothing that can be rendered");
        return r;
    }
    r.source = opened.source;
    r.exitCode = kExitDone;
    return r;
}

} // namespace

int runRender(const Args& args) {
    const ArgScanner a(args, withToneOptions({"-o", "--rate", "--seed"}, false), withToneOptions({}, true));
    if (!a.ok()) {
        printError("render: " + a.error());
        return kExitUsage;
    }
    const bool toneOptions = anyToneOption(a);
    if (a.positional().size() > 1 || (a.positional().empty() && !toneOptions) || !a.value("-o")) {
        printError(
            "render: give an input file, or tone options, and -o OUT.wav (or -o - for standard output)");
        return kExitUsage;
    }
    if (toneOptions && !a.positional().empty()) {
        printError("render: give either an input file or tone options, not both");
        return kExitUsage;
    }
    std::int64_t rate = kDefaultRate;
    if (!readRateOption(a, rate)) return kExitUsage;
    if (const auto seed = a.value("--seed")) {
        const auto v = parseInteger(*seed);
        if (!v || *v < 0 || *v > 0xFFFFFFFFll) {
            printError("--seed: \"" + *seed + "\" is not a whole number within 0..4294967295");
            return kExitUsage;
        }
        FixSeeds(static_cast<std::uint32_t>(*v));
    }
    const bool toStdout = *a.value("-o") == "-";
    const std::u16string out = pathArg(*a.value("-o"));

    RenderInput input;
    if (toneOptions) {
        const std::optional<ToneData> tone = toneFromOptions(a);
        if (!tone) return kExitUsage;
        if (const int refused = checkToneRenders(*tone, true)) return refused;
        input.source = RenderToneAtPlaybackRate(*tone, static_cast<int>(rate));
    } else {
        input = inputFromFile(a, pathArg(a.positional()[0]), toStdout ? std::u16string() : out,
                              static_cast<int>(rate));
        if (input.exitCode != kExitDone) return input.exitCode;
    }
    const SourceRef& source = input.source;

    SinkRef wav;
    const char* what = nullptr;
    std::string where;
    if (toStdout) {
        const std::int64_t frames = static_cast<std::int64_t>(source->GetLength()) - source->GetPosition();
        if (frames < 0 || frames * 2 * source->channels > WaveFileWriter::kMaxDataBytes) {
            printError("render: too long for the size fields of a WAV file");
            return kExitInput;
        }
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
#else
        std::signal(SIGPIPE, SIG_IGN); // a reader that goes away ends the render with a message
#endif
        wav = makeSink<StreamWaveWriter>(stdout, source->sampleRate, static_cast<int>(source->channels),
                                         static_cast<std::uint32_t>(frames));
        what = "standard output";
    } else {
        wav = CreateWaveFileWriter(out, source->sampleRate, source->channels);
        where = displayPath(out);
        what = where.c_str();
    }
    if (wav->failed()) {
        printError(std::string("cannot write ") + what);
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
        printError(std::string("cancelled: ") + what + (toStdout ? " got" : " holds") + " the first " +
                   std::to_string(frames) + " frames");
        return kExitOutput;
    }
    if (result != RenderCompleted) {
        printError(std::string("writing ") + what + " failed after " + std::to_string(frames) + " frames");
        return kExitOutput;
    }
    return kExitDone;
}

} // namespace sonimo::cli
