#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tone/ToneList.h"

using namespace sonimo;

namespace {

std::vector<unsigned char> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

ToneList readText(const TempDir& dir, const std::string& text) {
    const std::u16string p = dir.path(u"list.tdl");
    EXPECT_TRUE(writeAll(p, bytesOf(text)));
    return readToneList(p);
}

ToneListEntry silence(std::int32_t ms) { return {ms, u""}; }
ToneListEntry file(const std::u16string& name) { return {0, name}; }

std::vector<std::u16string> linesOf(const std::string& text) {
    LineReader reader(text.data(), text.size());
    std::vector<std::u16string> lines;
    std::u16string line;
    while (reader.readLine(line)) lines.push_back(line);
    return lines;
}

const std::string kSilence = "ミリ秒の無音。"; // UTF-8 of the silence suffix

} // namespace

TEST(ToneListLines, EveryLineEndFormReadsTheSameLines) {
    const std::vector<std::u16string> want = {u"a.tdf", u"b.wav", u"c"};
    EXPECT_EQ(linesOf("a.tdf\r\nb.wav\r\nc\r\n"), want);
    EXPECT_EQ(linesOf("a.tdf\nb.wav\nc\n"), want);
    EXPECT_EQ(linesOf("a.tdf\rb.wav\rc\r"), want);
    EXPECT_EQ(linesOf("a.tdf\n\rb.wav\n\rc\n\r"), want);
    EXPECT_EQ(linesOf("a.tdf\r\nb.wav\nc"), want) << "the last line needs no line end";
}

TEST(ToneListLines, TheSameLineEndCharacterTwiceIsAnEmptyLine) {
    EXPECT_EQ(linesOf("a\r\rb\r\n"), (std::vector<std::u16string>{u"a", u"", u"b"}));
    EXPECT_EQ(linesOf("a\n\nb"), (std::vector<std::u16string>{u"a", u"", u"b"}));
    EXPECT_EQ(linesOf("a\r\n\r\nb"), (std::vector<std::u16string>{u"a", u"", u"b"}));
    EXPECT_EQ(linesOf("\n"), (std::vector<std::u16string>{u""})) << "an empty line with its end counts";
    EXPECT_TRUE(linesOf("").empty()) << "nothing at the end of the data is no line";
}

TEST(ToneListLines, AByteOrderMarkStaysPartOfTheFirstLine) {
    const std::vector<std::u16string> lines = linesOf("\xEF\xBB\xBF" "a.tdf\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], u"\uFEFFa.tdf");
    EXPECT_NE(fileExtension(lines[0]), u"") << "still a file entry, but not the file it names";
}

TEST(ToneListLines, ALongLineIsCutAndTheNextLineIsIntact) {
    std::string text(100000, 'x');
    text += "\r\nnext\r\n";
    const std::vector<std::u16string> lines = linesOf(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::u16string(kLineUnits, u'x'));
    EXPECT_EQ(lines[1], u"next");
}

TEST(ToneListLines, CuttingNeverLeavesHalfASurrogatePairOrPassesANul) {
    std::string wide;
    for (int i = 0; i < 300; ++i) wide += "\xF0\x9F\x8E\xB5"; // U+1F3B5, two units each
    const std::vector<std::u16string> lines = linesOf(wide + "\n" + std::string("ab\0cd", 5) + "\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), kLineUnits - 1);
    EXPECT_TRUE(lines[0].back() >= 0xDC00 && lines[0].back() <= 0xDFFF);
    EXPECT_EQ(lines[1], u"ab");
}

TEST(ToneListLines, AFileReadsLikeItsMemoryImageAcrossBufferBoundaries) {
    TempDir dir;
    std::mt19937 rng(7);
    const char pieces[] = {'a', 'b', '\r', '\n'};
    for (int round = 0; round < 40; ++round) {
        // Line ends land on every position around the 4096-byte read chunk.
        std::string text(4090 + round % 12, 'q');
        const int n = 10 + static_cast<int>(rng() % 9000);
        for (int i = 0; i < n; ++i) text.push_back(pieces[rng() % 4]);
        ASSERT_TRUE(writeAll(dir.path(u"r.txt"), bytesOf(text)));
        File f;
        ASSERT_TRUE(f.open(dir.path(u"r.txt"), File::Mode::ReadShared));
        std::vector<std::u16string> fromFile;
        {
            LineReader reader(f);
            std::u16string line;
            while (reader.readLine(line)) fromFile.push_back(line);
        }
        EXPECT_EQ(fromFile, linesOf(text)) << "round " << round;
    }
}

TEST(ToneListLines, ReadLineLeavesTheFileJustAfterTheLine) {
    TempDir dir;
    ASSERT_TRUE(writeAll(dir.path(u"t.txt"), bytesOf("one\r\ntwo\n\rthree")));
    File f;
    ASSERT_TRUE(f.open(dir.path(u"t.txt"), File::Mode::ReadShared));
    std::u16string line;
    ASSERT_TRUE(readLine(f, line));
    EXPECT_EQ(line, u"one");
    EXPECT_EQ(f.tell(), 5);
    ASSERT_TRUE(readLine(f, line));
    EXPECT_EQ(line, u"two");
    ASSERT_TRUE(readLine(f, line));
    EXPECT_EQ(line, u"three");
    EXPECT_FALSE(readLine(f, line));
}

TEST(ToneListEntries, ATonePathAndASilenceReadBackAndWriteTheSameBytes) {
    TempDir dir;
    const std::string text = "C:\\tones\\a.tdf\r\n250" + kSilence + "\r\n";
    const ToneList list = readText(dir, text);
    EXPECT_EQ(list.entries, (std::vector<ToneListEntry>{file(u"C:\\tones\\a.tdf"), silence(250)}));

    std::vector<std::u16string> rows;
    for (const ToneListEntry& e : list.entries) rows.push_back(toneListRow(e));
    ASSERT_TRUE(writeToneList(dir.path(u"out.tdl"), rows));
    EXPECT_EQ(readAll(dir.path(u"out.tdl")), bytesOf(text));
}

TEST(ToneListEntries, OnlyTheLeadingIntegerOfASilenceCounts) {
    TempDir dir;
    const ToneList list = readText(dir, "1.5" + kSilence + "\n" + kSilence + "\n  -30" + kSilence + "\n+7x" +
                                            kSilence + "\n99999999999" + kSilence + "\n");
    EXPECT_EQ(list.entries, (std::vector<ToneListEntry>{silence(1), silence(0), silence(-30), silence(7),
                                                         silence(2147483647)}));
}

TEST(ToneListEntries, ASilenceNeedsItsFirstFullStopAtTheEnd) {
    EXPECT_EQ(parseToneListLine(u"5ミリ秒の無音。.wav"), file(u"5ミリ秒の無音。.wav"));
    EXPECT_EQ(parseToneListLine(u"1。2ミリ秒の無音。"), file(u"1。2ミリ秒の無音。"));
    EXPECT_EQ(parseToneListLine(u"12ミリ秒の無音"), file(u"12ミリ秒の無音"));
    EXPECT_EQ(parseToneListLine(u"/x/12ミリ秒の無音。"), silence(0)) << "no leading digits: 0 ms";
    EXPECT_EQ(parseToneListLine(u""), silence(0)) << "an empty line is a silence of 0 ms";
}

TEST(ToneListEntries, LineEndVariantsGiveTheSameEntriesAndCrCrAddsASilence) {
    TempDir dir;
    const std::string a = "/t/a.tdf", b = "/t/b.wav";
    const ToneList crlf = readText(dir, a + "\r\n" + b + "\r\n");
    EXPECT_EQ(readText(dir, a + "\n" + b + "\n").entries, crlf.entries);
    EXPECT_EQ(readText(dir, a + "\n\r" + b + "\n\r").entries, crlf.entries);
    EXPECT_EQ(readText(dir, a + "\r\r" + b + "\r\n").entries,
              (std::vector<ToneListEntry>{file(u"/t/a.tdf"), silence(0), file(u"/t/b.wav")}));
}

TEST(ToneListEntries, AMissingFileIsAnEmptyList) {
    TempDir dir;
    EXPECT_TRUE(readToneList(dir.path(u"none.tdl")).entries.empty());
    EXPECT_TRUE(readToneList(dir.root()).entries.empty()) << "a folder is not a list";
}

TEST(ToneListEntries, WritingNonAsciiRowsRoundTrips) {
    TempDir dir;
    const std::vector<std::u16string> rows = {u"/音/トーン.tdf", u"1000ミリ秒の無音。", u"/a/🎵.wav", u""};
    ASSERT_TRUE(writeToneList(dir.path(u"w.tdl"), rows));
    std::vector<std::u16string> back;
    for (const ToneListEntry& e : readToneList(dir.path(u"w.tdl")).entries) back.push_back(toneListRow(e));
    EXPECT_EQ(back, (std::vector<std::u16string>{rows[0], rows[1], rows[2], u"0ミリ秒の無音。"}));
    EXPECT_TRUE(writeToneList(dir.path(u"empty.tdl"), {}));
    EXPECT_TRUE(readAll(dir.path(u"empty.tdl")).empty());
}

TEST(ToneListExtensions, TheExtensionIsTakenAfterTheLastSeparator) {
    EXPECT_EQ(fileExtension(u"C:\\a\\b.tdf"), u".tdf");
    EXPECT_EQ(fileExtension(u"/a/b.c.WAV"), u".WAV");
    EXPECT_EQ(fileExtension(u"C:\\dir.x\\name"), u"");
    EXPECT_EQ(fileExtension(u"/dir.x/name"), u"");
    EXPECT_EQ(fileExtension(u"name."), u".");
    EXPECT_EQ(fileExtension(u"plain"), u"");
}
