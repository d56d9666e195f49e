#include "audio/ByteSource.h"

#include <cstring>

namespace sonimo {

MemoryByteSource::MemoryByteSource(const void* data, std::size_t size)
    : bytes_(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size) {}

std::int64_t MemoryByteSource::read(void* buffer, std::int64_t bytes) {
    if (bytes < 0) return -1;
    const std::int64_t have = size() - position_;
    const std::int64_t n = have <= 0 ? 0 : bytes < have ? bytes : have;
    if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

bool MemoryByteSource::seek(std::int64_t offset) {
    if (offset < 0) return false;
    position_ = offset;
    return true;
}

} // namespace sonimo
