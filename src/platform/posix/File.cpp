#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Text.h"
#include "platform/TransferLoop.h"

namespace sonimo {

namespace {
// What is read must come to an end: a device, FIFO or socket (or a link to one) is
// refused, whatever its name says; standard input is read without a path. A writer may
// name a device (/dev/null), never a folder.
bool acceptable(int fd, File::Mode mode) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (mode != File::Mode::ReadShared) return !S_ISDIR(st.st_mode);
    const int flags = ::fcntl(fd, F_GETFL);
    return S_ISREG(st.st_mode) && flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}
} // namespace

bool File::open(const std::u16string& path, Mode mode) {
    close();
    const std::string p = utf16ToUtf8(path);
    int flags = O_CLOEXEC;
    switch (mode) {
    // Without a writer a FIFO would hold open() for ever: refused below instead.
    case Mode::ReadShared:
        flags |= O_RDONLY | O_NONBLOCK | O_NOCTTY;
        break;
    case Mode::CreateExclusive:
    case Mode::CreateShared:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case Mode::WriteExisting:
        flags |= O_WRONLY;
        break;
    case Mode::ReadWriteShared:
        flags |= O_RDWR | O_CREAT;
        break;
    }
    int fd;
    do {
        fd = ::open(p.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    if (!acceptable(fd, mode)) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

void File::close() {
    if (handle_ != kInvalid) {
        ::close(static_cast<int>(handle_));
        handle_ = kInvalid;
    }
}

namespace {

// One read or write, again when a signal interrupted it.
template <class Call> std::int64_t retried(Call call) {
    for (;;) {
        const ssize_t r = call();
        if (r >= 0 || errno != EINTR) return r;
    }
}

} // namespace

std::int64_t File::read(void* buffer, std::int64_t bytes) {
    if (!isOpen() || bytes < 0) return -1;
    auto* p = static_cast<char*>(buffer);
    const int fd = static_cast<int>(handle_);
    return transferAll(bytes, [&](std::int64_t done, std::int64_t left) {
        return retried([&] { return ::read(fd, p + done, static_cast<size_t>(left)); });
    });
}

std::int64_t File::write(const void* buffer, std::int64_t bytes) {
    if (!isOpen() || bytes < 0) return -1;
    const auto* p = static_cast<const char*>(buffer);
    const int fd = static_cast<int>(handle_);
    return transferAll(bytes, [&](std::int64_t done, std::int64_t left) {
        return retried([&] { return ::write(fd, p + done, static_cast<size_t>(left)); });
    });
}

bool File::seek(std::int64_t offset) {
    return isOpen() && offset >= 0 && ::lseek(static_cast<int>(handle_), offset, SEEK_SET) == offset;
}

std::int64_t File::tell() const {
    return isOpen() ? static_cast<std::int64_t>(::lseek(static_cast<int>(handle_), 0, SEEK_CUR)) : -1;
}

std::int64_t File::size() const {
    struct stat st {};
    if (!isOpen() || ::fstat(static_cast<int>(handle_), &st) != 0) return -1;
    return S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
}

bool File::truncateHere() {
    const std::int64_t pos = tell();
    return pos >= 0 && ::ftruncate(static_cast<int>(handle_), pos) == 0;
}

bool fileExists(const std::u16string& path) {
    struct stat st {};
    return ::stat(utf16ToUtf8(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool removeFile(const std::u16string& path) {
    return ::unlink(utf16ToUtf8(path).c_str()) == 0;
}

std::u16string pathIdentity(const std::u16string& path) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::weakly_canonical(toFsPath(path), ec);
    return ec ? std::u16string(path) : fromFsPath(p.lexically_normal());
}

std::filesystem::path toFsPath(const std::u16string& path) {
    return std::filesystem::path(utf16ToUtf8(path));
}

std::u16string fromFsPath(const std::filesystem::path& path) {
    return utf8ToUtf16(path.string());
}

} // namespace sonimo
