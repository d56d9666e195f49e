// Files named by UTF-16 paths, with the share modes the engine relies on. Owns its
// handle; closing is automatic. All sizes are 64-bit so that long renders are exact.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

namespace sonimo {

class File {
public:
    enum class Mode {
        ReadShared,      // existing regular file only (no device, pipe or folder, nor a link to
                         // one); others may read and write it meanwhile
        CreateExclusive, // create or replace; nobody else may open it meanwhile
        CreateShared,    // create or replace; others may read it while we write (a growing file)
        WriteExisting,   // existing file only, for writing, others may read it
        ReadWriteShared, // open or create, keeping what is there; read and write; others may read
                         // and write it meanwhile (the WAV writer cuts it down itself)
    };

    File() = default;
    ~File() { close(); }
    File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalid; }
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = other.handle_;
            other.handle_ = kInvalid;
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool open(const std::u16string& path, Mode mode);
    bool isOpen() const { return handle_ != kInvalid; }
    void close();

    // Bytes transferred, or -1 on failure. A read returns fewer bytes only at the end.
    std::int64_t read(void* buffer, std::int64_t bytes);
    std::int64_t write(const void* buffer, std::int64_t bytes);
    bool seek(std::int64_t offset);
    std::int64_t tell() const;
    std::int64_t size() const;
    bool truncateHere(); // cuts the file at the current position

private:
    static constexpr std::intptr_t kInvalid = -1;
    std::intptr_t handle_ = kInvalid;
};

bool fileExists(const std::u16string& path);
bool removeFile(const std::u16string& path);

// The identity of a path, for telling whether two names are one file: absolute, without
// "." and "..", links resolved as far as they exist, and on Windows in one letter case
// (its file systems ignore case). Only for comparing; never for opening.
std::u16string pathIdentity(const std::u16string& path);

// Our UTF-16 paths as the standard library's, and back (UTF-8 on POSIX, UTF-16 on Windows).
std::filesystem::path toFsPath(const std::u16string& path);
std::u16string fromFsPath(const std::filesystem::path& path);

} // namespace sonimo
