#include "platform/File.h"
#include "platform/win32/Owned.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <utility>

namespace sonimo {

namespace {
HANDLE asHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}
} // namespace

bool File::open(const std::u16string& path, Mode mode) {
    close();
    DWORD access = GENERIC_READ, share = FILE_SHARE_READ | FILE_SHARE_WRITE, disposition = OPEN_EXISTING;
    switch (mode) {
    case Mode::ReadShared:
        break;
    case Mode::CreateExclusive:
        access = GENERIC_WRITE;
        share = 0;
        disposition = CREATE_ALWAYS;
        break;
    case Mode::CreateShared:
        access = GENERIC_WRITE;
        share = FILE_SHARE_READ;
        disposition = CREATE_ALWAYS;
        break;
    case Mode::WriteExisting:
        access = GENERIC_WRITE;
        share = FILE_SHARE_READ;
        break;
    case Mode::ReadWriteShared:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        break;
    }
    OwnedFile h(CreateFileW(wide(path), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return false;
    // What is read must come to an end: a device (NUL, CON, a port) or a pipe is refused,
    // whatever its name says; standard input is read without a path.
    if (mode == Mode::ReadShared && GetFileType(h.get()) != FILE_TYPE_DISK) return false;
    // The portable header keeps the handle as an integer; this class owns it from here.
    handle_ = reinterpret_cast<std::intptr_t>(h.release());
    return true;
}

void File::close() {
    OwnedFile closing(asHandle(std::exchange(handle_, kInvalid)));
}

std::int64_t File::read(void* buffer, std::int64_t bytes) {
    if (!isOpen() || bytes < 0) return -1;
    std::int64_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < bytes) {
        const DWORD chunk = static_cast<DWORD>(bytes - done > 0x40000000 ? 0x40000000 : bytes - done);
        DWORD got = 0;
        if (!ReadFile(asHandle(handle_), p + done, chunk, &got, nullptr)) return done > 0 ? done : -1;
        if (got == 0) break;
        done += got;
    }
    return done;
}

std::int64_t File::write(const void* buffer, std::int64_t bytes) {
    if (!isOpen() || bytes < 0) return -1;
    std::int64_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < bytes) {
        const DWORD chunk = static_cast<DWORD>(bytes - done > 0x40000000 ? 0x40000000 : bytes - done);
        DWORD put = 0;
        if (!WriteFile(asHandle(handle_), p + done, chunk, &put, nullptr)) return done > 0 ? done : -1;
        if (put == 0) break;
        done += put;
    }
    return done;
}

bool File::seek(std::int64_t offset) {
    if (!isOpen() || offset < 0) return false;
    LARGE_INTEGER li;
    li.QuadPart = offset;
    return SetFilePointerEx(asHandle(handle_), li, nullptr, FILE_BEGIN) != 0;
}

std::int64_t File::tell() const {
    if (!isOpen()) return -1;
    LARGE_INTEGER zero, pos;
    zero.QuadPart = 0;
    return SetFilePointerEx(asHandle(handle_), zero, &pos, FILE_CURRENT) ? pos.QuadPart : -1;
}

std::int64_t File::size() const {
    LARGE_INTEGER li;
    return isOpen() && GetFileSizeEx(asHandle(handle_), &li) ? li.QuadPart : -1;
}

bool File::truncateHere() {
    return isOpen() && SetEndOfFile(asHandle(handle_)) != 0;
}

bool fileExists(const std::u16string& path) {
    const DWORD a = GetFileAttributesW(wide(path));
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool removeFile(const std::u16string& path) {
    return DeleteFileW(wide(path)) != 0;
}

std::u16string pathIdentity(const std::u16string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(toFsPath(path), ec);
    std::wstring w = ec ? std::wstring(path.begin(), path.end()) : p.lexically_normal().wstring();
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    if (!w.empty()) CharUpperBuffW(w.data(), static_cast<DWORD>(w.size()));
    return std::u16string(w.begin(), w.end());
}

std::filesystem::path toFsPath(const std::u16string& path) {
    return std::filesystem::path(std::wstring(path.begin(), path.end()));
}

std::u16string fromFsPath(const std::filesystem::path& path) {
    const std::wstring w = path.wstring();
    return std::u16string(w.begin(), w.end());
}

} // namespace sonimo
