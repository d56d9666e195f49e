// Random-access bytes for the file parsers: a real file, or a block of memory that
// tests and fuzzers hand in. Reads past the end return what is there (possibly 0);
// seeking past the end is allowed and makes later reads return 0.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/File.h"

namespace sonimo {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::int64_t read(void* buffer, std::int64_t bytes) = 0; // bytes read, or -1 on failure
    virtual bool seek(std::int64_t offset) = 0;                       // offset >= 0
    virtual std::int64_t tell() const = 0;
    virtual std::int64_t size() const = 0; // the current size: a file being written grows
};

// A file opened for reading while others may still read and write it.
class FileByteSource final : public ByteSource {
public:
    bool open(const std::u16string& path) { return file_.open(path, File::Mode::ReadShared); }
    std::int64_t read(void* buffer, std::int64_t bytes) override { return file_.read(buffer, bytes); }
    bool seek(std::int64_t offset) override { return file_.seek(offset); }
    std::int64_t tell() const override { return file_.tell(); }
    std::int64_t size() const override { return file_.size(); }

private:
    File file_;
};

// Its own copy of the bytes.
class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::vector<unsigned char> bytes) : bytes_(static_cast<std::vector<unsigned char>&&>(bytes)) {}
    MemoryByteSource(const void* data, std::size_t size);
    std::int64_t read(void* buffer, std::int64_t bytes) override;
    bool seek(std::int64_t offset) override;
    std::int64_t tell() const override { return position_; }
    std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }

private:
    std::vector<unsigned char> bytes_;
    std::int64_t position_ = 0;
};

} // namespace sonimo
