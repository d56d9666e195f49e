#include "audio/AudioFileReader.h"

#include "audio/Mp3FileSource.h"
#include "audio/WaveFileSource.h"

namespace sonimo {

namespace {

FormatReaderFactory gConverting = nullptr;
FormatReaderFactory gMpeg = &OpenMpegLayer3; // the built-in decoder unless a test replaces it

SourceRef failed(std::uint8_t state) {
    SourceRef r;
    r->state = state;
    return r;
}

bool refusedTag(std::uint16_t tag) {
    return tag == 0x22 || tag == 0x45 || tag == 0x270;
}

} // namespace

void setConvertingReader(FormatReaderFactory factory) {
    gConverting = factory;
}
void setMpegReader(FormatReaderFactory factory) {
    gMpeg = factory ? factory : &OpenMpegLayer3;
}

SourceRef OpenAudioFile(const std::u16string& path) {
    auto file = std::make_unique<FileByteSource>();
    if (!file->open(path)) return failed(StateCannotOpen);
    return OpenAudioStream(std::move(file));
}

SourceRef OpenAudioStream(std::unique_ptr<ByteSource> bytes) {
    if (!bytes) return failed(StateCannotOpen);
    const WaveLayout layout = parseWave(*bytes);
    if (layout.result != WaveParse::Ok) return failed(StateBadFormat);
    const WaveFormat& f = layout.format;
    const int rate = static_cast<int>(f.sampleRate);

    using E = WaveFileSource::Encoding;
    if (f.tag == kWaveTagPcm && f.bitsPerSample <= 16)
        return makeSource<WaveFileSource>(std::move(bytes), f.bitsPerSample <= 8 ? E::Pcm8 : E::Pcm16, rate,
                                          f.channels, layout.dataSize);
    if (f.tag == kWaveTagALaw)
        return makeSource<WaveFileSource>(std::move(bytes), E::ALaw, rate, f.channels, layout.dataSize);
    if (f.tag == kWaveTagMuLaw)
        return makeSource<WaveFileSource>(std::move(bytes), E::MuLaw, rate, f.channels, layout.dataSize);
    if (refusedTag(f.tag)) return failed(StateRefusedFormat);

    if (gConverting) {
        SourceRef r = gConverting(bytes, f, layout.dataSize);
        if (r->state == StateOk) return r;
    }
    if (f.tag == kWaveTagMpegLayer3 && gMpeg && bytes && bytes->seek(layout.dataStart)) {
        SourceRef r = gMpeg(bytes, f, layout.dataSize);
        if (r->state == StateOk) return r;
    }
    // Linear data needs no codec: when no converter takes it (Wine's ACM has none for
    // float or 32-bit PCM, the portable build has no ACM at all) it is read here rather
    // than played as silence.
    const bool wide = (f.tag == kWaveTagPcm && (f.bitsPerSample == 24 || f.bitsPerSample == 32)) ||
                      (f.tag == kWaveTagFloat && (f.bitsPerSample == 32 || f.bitsPerSample == 64));
    if (wide && bytes && bytes->seek(layout.dataStart)) {
        const E e = f.tag == kWaveTagFloat ? (f.bitsPerSample == 32 ? E::Float32 : E::Float64)
                                           : (f.bitsPerSample == 24 ? E::Pcm24 : E::Pcm32);
        return makeSource<WaveFileSource>(std::move(bytes), e, rate, f.channels, layout.dataSize);
    }
    return failed(StateNoConverter);
}

} // namespace sonimo
