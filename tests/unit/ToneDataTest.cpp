#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestSupport.h"
#include "platform/File.h"
#include "tone/ToneData.h"

using namespace sonimo;

namespace {

std::vector<unsigned char> imageOf(const ToneData& t) {
    std::vector<unsigned char> v(kToneFileSize);
    std::memcpy(v.data(), &t, kToneFileSize);
    return v;
}

} // namespace

TEST(ToneFile, AResetRecordSavesToTheDocumentedBytes) {
    TempDir dir;
    const ToneData t = defaultToneData();
    ASSERT_TRUE(saveToneFile(t, dir.path(u"a.tdf")));
    const std::vector<unsigned char> bytes = readAll(dir.path(u"a.tdf"));
    ASSERT_EQ(bytes.size(), kToneFileSize);
    const unsigned char head[] = {0x00, 0x00, 0x00, 0x01, 0xE8, 0x03, 0x00, 0x00};
    EXPECT_EQ(0, std::memcmp(bytes.data(), head, sizeof head));
    const unsigned char f440[] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x7B, 0x40};
    for (int i = 0; i < 64; ++i) EXPECT_EQ(0, std::memcmp(bytes.data() + 8 + 8 * i, f440, 8)) << "double " << i;
    for (int i = 520; i < 539; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;

    ToneData back;
    std::memset(&back, 0x5A, sizeof back);
    ASSERT_TRUE(loadToneFile(back, dir.path(u"a.tdf")));
    EXPECT_EQ(imageOf(back), bytes);
}

TEST(ToneFile, LoadingRefusesShortFilesAndAcceptsLongerOnes) {
    TempDir dir;
    ToneData t = defaultToneData();
    t.leftStartHz[0] = 1234.5;
    std::vector<unsigned char> img = imageOf(t);

    writeAll(dir.path(u"short.tdf"), std::vector<unsigned char>(img.begin(), img.end() - 1));
    ToneData r = t;
    EXPECT_FALSE(loadToneFile(r, dir.path(u"short.tdf")));
    EXPECT_EQ(r.leftStartHz[0], 440.0) << "a failed load leaves the defaults";

    img.push_back(0x77);
    writeAll(dir.path(u"long.tdf"), img);
    EXPECT_TRUE(loadToneFile(r, dir.path(u"long.tdf")));
    EXPECT_EQ(r.leftStartHz[0], 1234.5);

    EXPECT_FALSE(loadToneFile(r, dir.path(u"missing.tdf")));
    EXPECT_EQ(r.leftStartHz[0], 440.0);
}
