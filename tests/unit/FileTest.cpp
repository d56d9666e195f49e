#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "CliRunner.h"
#include "TestSupport.h"
#include "audio/AudioFileReader.h"
#include "audio/ToneListRenderer.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <filesystem>
#include <sys/stat.h>
#endif

using namespace sonimo;

namespace {

// Runs `work` on a thread of its own and tells whether it ended within `seconds`. A
// reader that waits for ever is left behind (it owns everything it uses) so that the
// test fails at once instead of at the runner's time-out.
bool endsWithin(int seconds, std::function<void()> work) {
    struct Done {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    };
    auto d = std::make_shared<Done>();
    std::thread([d, work = std::move(work)] {
        work();
        std::lock_guard<std::mutex> lock(d->m);
        d->done = true;
        d->cv.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(d->m);
    return d->cv.wait_for(lock, std::chrono::seconds(seconds), [&] { return d->done; });
}

// Every reader of a user's file, on one path: none may open it, and all must give up
// at once.
void expectEveryReaderRefuses(const std::u16string& path, const std::string& what) {
    struct Seen {
        bool opened = true, listRead = true, toneLoaded = true;
        std::uint8_t waveState = StateOk;
    };
    auto seen = std::make_shared<Seen>();
    const bool ended = endsWithin(10, [path, seen] {
        File f;
        seen->opened = f.open(path, File::Mode::ReadShared);
        seen->listRead = !readToneList(path).entries.empty();
        ToneData t;
        seen->toneLoaded = loadToneFile(t, path);
        seen->waveState = OpenAudioFile(path)->state;
    });
    ASSERT_TRUE(ended) << what << ": a reader did not give up within 10 s";
    EXPECT_FALSE(seen->opened) << what;
    EXPECT_FALSE(seen->listRead) << what;
    EXPECT_FALSE(seen->toneLoaded) << what;
    EXPECT_EQ(seen->waveState, StateCannotOpen) << what;
}

} // namespace

#ifndef _WIN32
TEST(FilesThatAreNotFiles, AFifoADeviceAndAFolderAreRefusedAtOnce) {
    TempDir dir;
    const std::u16string fifo = dir.path(u"pipe.tdl");
    ASSERT_EQ(::mkfifo(toFsPath(fifo).c_str(), 0600), 0);
    const std::u16string zero = dir.path(u"zero.tdl");
    std::filesystem::create_symlink("/dev/zero", toFsPath(zero));
    const std::u16string folder = dir.path(u"folder.wav");
    std::filesystem::create_directory(toFsPath(folder));

    expectEveryReaderRefuses(fifo, "a FIFO without a writer");
    expectEveryReaderRefuses(zero, "a link to /dev/zero");
    expectEveryReaderRefuses(u"/dev/zero", "/dev/zero");
    expectEveryReaderRefuses(folder, "a folder");

    // named in a list, as entries of each kind: left out, and the rest plays
    const std::u16string tone = dir.path(u"tone.tdf");
    ToneData t = defaultToneData();
    t.flags |= ToneFlagFixedLength;
    t.lengthMs = 100;
    ASSERT_TRUE(saveToneFile(t, tone));
    const std::u16string links[] = {dir.path(u"zero.tdf"), dir.path(u"zero.wav")};
    for (const std::u16string& l : links)
        std::filesystem::create_symlink("/dev/zero", toFsPath(l));
    ASSERT_EQ(::mkfifo(toFsPath(dir.path(u"pipe.wav")).c_str(), 0600), 0);
    const std::u16string list = dir.path(u"list.tdl"), missing = dir.path(u"missing.tdl");
    ASSERT_TRUE(writeToneList(list, {fifo, links[0], links[1], dir.path(u"pipe.wav"), tone}));
    ASSERT_TRUE(
        writeToneList(missing, {dir.path(u"no.tdl"), dir.path(u"no.tdf"), dir.path(u"no.wav"), tone}));
    auto lengths = std::make_shared<std::pair<int, int>>(-1, -2);
    EXPECT_TRUE(endsWithin(10, [list, missing, lengths] {
        lengths->first = renderToneList(readToneList(list), 44100)->GetLength();
        lengths->second = renderToneList(readToneList(missing), 44100)->GetLength();
    })) << "a list naming a FIFO and links to /dev/zero did not render within 10 s";
    EXPECT_EQ(lengths->first, lengths->second) << "they play as files that are missing";

    // and a link to a regular file is still followed
    const std::u16string link = dir.path(u"link.tdf");
    std::filesystem::create_symlink(toFsPath(tone), toFsPath(link));
    ToneData back;
    EXPECT_TRUE(loadToneFile(back, link));
    EXPECT_EQ(std::uint32_t{back.lengthMs}, 100u);
}

TEST(FilesThatAreNotFiles, TheToolRefusesThemAndStillReadsAndWritesPipes) {
    TempDir dir;
    const std::u16string zero = dir.path(u"zero.tdl");
    std::filesystem::create_symlink("/dev/zero", toFsPath(zero));
    const auto start = std::chrono::steady_clock::now();
    RunResult r = runCli(dir, {u"info", zero});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    // standard input and output are pipes here, reached without a path
    const std::string cli = utf16ToUtf8(cliPath()), out = utf16ToUtf8(dir.path(u"column.tdl")),
                      wav = utf16ToUtf8(dir.path(u"piped.wav"));
    const std::string script = "printf '440\\n1000\\n' | '" + cli + "' series '" + out + "' --column - && '" +
                               cli + "' render '" + out + "' -o - | cat >'" + wav + "'";
    r = runProgram(dir, u"/bin/sh", {u"-c", utf8ToUtf16(script)});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readToneList(dir.path(u"column.tdl")).entries.size(), 2u);
    SourceRef s = OpenAudioFile(dir.path(u"piped.wav"));
    EXPECT_EQ(s->state, StateOk);
    EXPECT_GT(s->GetLength(), 0);
}
#else
TEST(FilesThatAreNotFiles, DevicesAndPipesAreRefusedAtOnce) {
    expectEveryReaderRefuses(u"NUL", "the NUL device");
    const std::u16string name =
        u"\\\\.\\pipe\\sonimo-file-test-" + utf8ToUtf16(std::to_string(GetCurrentProcessId()));
    HANDLE server = CreateNamedPipeW(reinterpret_cast<const wchar_t*>(name.c_str()), PIPE_ACCESS_OUTBOUND,
                                     PIPE_TYPE_BYTE | PIPE_NOWAIT, 4, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE) << GetLastError();
    expectEveryReaderRefuses(name, "a named pipe");
    CloseHandle(server);
    // Wine reaches the Unix devices through drive Z:
    if (GetFileAttributesW(L"Z:\\dev\\zero") != INVALID_FILE_ATTRIBUTES)
        expectEveryReaderRefuses(u"Z:\\dev\\zero", "/dev/zero under Wine");
    // a writer may still name a device
    File f;
    EXPECT_TRUE(f.open(u"NUL", File::Mode::CreateExclusive));
}
#endif
