#include "measure/FloatWaveFile.h"

#include <cstring>

#include "platform/File.h"

namespace sonimo {

namespace {
void put16(std::vector<unsigned char>& b, std::uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(std::vector<unsigned char>& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putId(std::vector<unsigned char>& b, const char* id) {
    b.insert(b.end(), id, id + 4);
}
} // namespace

bool WriteFloatWave(const std::u16string& path, int rate, const std::vector<float>& samples) {
    constexpr std::uint64_t kHeader = 58; // RIFF 12, fmt 26, fact 12, data header 8
    const std::uint64_t dataBytes = static_cast<std::uint64_t>(samples.size()) * 4;
    if (rate <= 0 || dataBytes + kHeader - 8 > 0xFFFFFFFFull) return false;
    std::vector<unsigned char> b;
    b.reserve(static_cast<std::size_t>(kHeader + dataBytes));
    putId(b, "RIFF");
    put32(b, static_cast<std::uint32_t>(dataBytes + kHeader - 8));
    putId(b, "WAVE");
    putId(b, "fmt ");
    put32(b, 18);
    put16(b, 3); // IEEE float
    put16(b, 1);
    put32(b, static_cast<std::uint32_t>(rate));
    put32(b, static_cast<std::uint32_t>(rate) * 4);
    put16(b, 4);
    put16(b, 32);
    put16(b, 0);
    putId(b, "fact");
    put32(b, 4);
    put32(b, static_cast<std::uint32_t>(samples.size()));
    putId(b, "data");
    put32(b, static_cast<std::uint32_t>(dataBytes));
    for (float f : samples) {
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        put32(b, u);
    }
    File file;
    if (!file.open(path, File::Mode::CreateExclusive)) return false;
    return file.write(b.data(), static_cast<std::int64_t>(b.size())) == static_cast<std::int64_t>(b.size());
}

} // namespace sonimo
