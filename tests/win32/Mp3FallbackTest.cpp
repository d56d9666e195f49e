#include <gtest/gtest.h>

// GCC 12 for i686 sees an overflow in WaveBuilder's chunk() on an empty vector that is not
// there (the same helpers build without it elsewhere).
#pragma GCC diagnostic ignored "-Wstringop-overflow"

#include <cmath>
#include <string>

#include "TestSupport.h"
#include "WaveBuilder.h"
#include "audio/AudioFileReader.h"
#include "audio/Mp3FileSource.h"
#include "audio/win32/AcmFileSource.h"
#include "audio/win32/FileReaders.h"
#include "platform/Text.h"

using namespace sonimo;
using namespace sonimo::wavetest;

namespace {

// The streams make-mp3-testdata wrote (the ctest fixture runs it before this suite).
std::u16string dataFile(const std::string& name) {
    std::string p = std::string(SONIMO_TEST_DATA_DIR) + "/mp3/" + name;
    for (char& c : p)
        if (c == '/') c = '\\';
    return utf8ToUtf16(p[0] == '\\' ? "Z:" + p : p); // Wine shows the host's root as Z:
}

Bytes mpegWave(const Bytes& mp3) {
    Bytes extra;
    put16(extra, 1);
    put32(extra, 2);
    put16(extra, 418);
    put16(extra, 1);
    put16(extra, 1393);
    return riff(
        {chunk("fmt ", fmtBody(kWaveTagMpegLayer3, 2, 44100, 0, true, extra, 1, 16000)), chunk("data", mp3)});
}

// A converter that refuses everything, as Windows without an MPEG codec does.
int gRefusals = 0;
SourceRef refuse(std::unique_ptr<ByteSource>&, const WaveFormat&, std::uint32_t) {
    ++gRefusals;
    SourceRef r;
    r->state = StateNoConverter;
    return r;
}

class MpegReaderOrder : public ::testing::Test {
protected:
    void SetUp() override {
        gRefusals = 0;
        const Bytes mp3 = readAll(dataFile("joint44.mp3"));
        ASSERT_GT(mp3.size(), 1000u) << "run tests/unit/make-mp3-testdata first (the ctest fixture does)";
        ASSERT_TRUE(writeAll(dir.path(u"in.wav"), mpegWave(mp3)));
    }
    void TearDown() override { setConvertingReader(nullptr); }
    TempDir dir;
};

} // namespace

TEST_F(MpegReaderOrder, TheSystemsConverterIsAskedFirst) {
    installFileReaders();
    SourceRef s = OpenAudioFile(dir.path(u"in.wav"));
    ASSERT_EQ(s->state, StateOk) << "Wine's converter did not take MPEG Layer III";
    EXPECT_NE(dynamic_cast<AcmFileSource*>(&*s), nullptr);
}

TEST_F(MpegReaderOrder, WhenTheConverterRefusesTheBuiltInDecoderPlaysTheStream) {
    setConvertingReader(&refuse);
    SourceRef s = OpenAudioFile(dir.path(u"in.wav"));
    EXPECT_EQ(gRefusals, 1);
    ASSERT_EQ(s->state, StateOk);
    ASSERT_NE(dynamic_cast<Mp3FileSource*>(&*s), nullptr);

    SourceRef ref = OpenAudioFile(dataFile("joint44.ref.wav"));
    ASSERT_EQ(ref->state, StateOk);
    ASSERT_EQ(s->GetLength(), ref->GetLength());
    const auto got = renderFrames(*s, s->GetLength());
    const auto want = renderFrames(*ref, ref->GetLength());
    double e = 0;
    for (std::size_t i = 0; i < want.size(); ++i)
        e += std::pow(got[i] / 16.0 - want[i] / 16, 2);
    const double db =
        10 * std::log10(32767.0 * 32767.0 * static_cast<double>(want.size()) / std::max(e, 1e-9));
    std::printf("built-in decoder under Wine: PSNR %.2f dB against mpg123\n", db);
    EXPECT_GE(db, 96.0);
}

TEST_F(MpegReaderOrder, DataThatIsNoMpegStreamNeedsAConverterStill) {
    setConvertingReader(&refuse);
    ASSERT_TRUE(writeAll(dir.path(u"noise.wav"), mpegWave(Bytes(4000, 0x11))));
    EXPECT_EQ(OpenAudioFile(dir.path(u"noise.wav"))->state, StateNoConverter);
}
