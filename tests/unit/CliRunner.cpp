#include "CliRunner.h"

#include "ArgumentQuoting.h"

#include "platform/Text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace sonimo {

std::string textOf(const std::u16string& path) {
    const std::vector<unsigned char> b = readAll(path);
    std::string s(b.begin(), b.end());
#ifdef _WIN32
    for (std::size_t at; (at = s.find("\r\n")) != std::string::npos;)
        s.erase(at, 1);
#endif
    return s;
}

#ifdef _WIN32
std::u16string cliPath() {
    const std::u16string self = selfPath();
    return self.substr(0, self.find_last_of(u"\\/") + 1) + u"sonimo-cli.exe";
}

std::u16string selfPath() {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return std::u16string(reinterpret_cast<const char16_t*>(buf), n);
}

RunResult runProgram(const TempDir& dir, const std::u16string& exe, const std::vector<std::u16string>& args,
                     const std::u16string& input) {
    RunResult r;
    const std::u16string outPath = dir.path(u"stdout.txt"), errPath = dir.path(u"stderr.txt");
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE in = input.empty()
                    ? INVALID_HANDLE_VALUE
                    : CreateFileW(reinterpret_cast<const wchar_t*>(input.c_str()), GENERIC_READ,
                                  FILE_SHARE_READ, &sa, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE out = CreateFileW(reinterpret_cast<const wchar_t*>(outPath.c_str()), GENERIC_WRITE,
                             FILE_SHARE_READ, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileW(reinterpret_cast<const wchar_t*>(errPath.c_str()), GENERIC_WRITE,
                             FILE_SHARE_READ, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::u16string line = quotedArgument(exe);
    for (const std::u16string& a : args) {
        line += u' ';
        line += quotedArgument(a);
    }
    std::vector<wchar_t> cmd(line.begin(), line.end());
    cmd.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in != INVALID_HANDLE_VALUE ? in : GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(reinterpret_cast<const wchar_t*>(exe.c_str()), cmd.data(), nullptr, nullptr, TRUE, 0,
                       nullptr, nullptr, &si, &pi)) {
        DWORD code = 0;
        if (WaitForSingleObject(pi.hProcess, kCliLimitMs) == WAIT_OBJECT_0) {
            GetExitCodeProcess(pi.hProcess, &code);
            r.code = static_cast<int>(code);
        } else { // a tool that hangs fails the test instead of the whole suite
            TerminateProcess(pi.hProcess, 124);
            WaitForSingleObject(pi.hProcess, 5000);
            r.code = kCliTimedOut;
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    r.out = textOf(outPath);
    r.err = textOf(errPath);
    return r;
}
#else
std::u16string cliPath() {
    const std::u16string self = selfPath();
    return self.substr(0, self.rfind(u'/') + 1) + u"sonimo-cli";
}

std::u16string selfPath() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return utf8ToUtf16(std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0));
}

RunResult runProgram(const TempDir& dir, const std::u16string& exe, const std::vector<std::u16string>& args,
                     const std::u16string& input) {
    RunResult r;
    const std::string outPath = utf16ToUtf8(dir.path(u"stdout.txt")),
                      errPath = utf16ToUtf8(dir.path(u"stderr.txt"));
    std::vector<std::string> argv8 = {utf16ToUtf8(exe)};
    for (const std::u16string& a : args)
        argv8.push_back(utf16ToUtf8(a));
    std::vector<char*> argv;
    for (std::string& a : argv8)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string inPath = utf16ToUtf8(input);
    if (!input.empty()) posix_spawn_file_actions_addopen(&fa, 0, inPath.c_str(), O_RDONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        // a tool that hangs fails the test instead of the whole suite
        pid_t done = 0;
        for (int waited = 0; (done = waitpid(pid, &status, WNOHANG)) == 0 && waited < kCliLimitMs;
             waited += 10)
            usleep(10000);
        if (done == pid) {
            r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.code = kCliTimedOut;
        }
    }
    posix_spawn_file_actions_destroy(&fa);
    r.out = textOf(dir.path(u"stdout.txt"));
    r.err = textOf(dir.path(u"stderr.txt"));
    return r;
}
#endif

RunResult runCli(const TempDir& dir, const std::vector<std::u16string>& args, const std::u16string& input) {
    return runProgram(dir, cliPath(), args, input);
}

} // namespace sonimo
