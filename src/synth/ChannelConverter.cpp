#include "synth/ChannelConverter.h"

#include <algorithm>

namespace sonimo {

ChannelConverter::ChannelConverter(const SourceRef& inner, int target)
    : SourceWrapper(inner), innerChannels_(inner->channels),
      work_(static_cast<std::size_t>(kMaxReadFrames) * inner->channels) {
    channels = static_cast<std::uint8_t>(target);
}

void ChannelConverter::Read(std::int32_t* buffer, int n) {
    n = std::min(n, kMaxReadFrames);
    if (n <= 0) return;
    inner_->Read(work_.data(), n);
    const std::int32_t* in = work_.data();
    if (innerChannels_ == 2 && channels == 1) {
        for (int i = 0; i < n; ++i)
            buffer[i] = static_cast<std::int32_t>((static_cast<std::int64_t>(in[2 * i]) + in[2 * i + 1]) / 2);
    } else if (innerChannels_ == 1) {
        const int ch = channels;
        for (int i = 0; i < n; ++i)
            std::fill_n(buffer + static_cast<std::size_t>(i) * ch, ch, in[i]);
    } else if (innerChannels_ < channels) {
        const int from = innerChannels_, ch = channels;
        for (int i = 0; i < n; ++i) {
            std::int32_t* out = buffer + static_cast<std::size_t>(i) * ch;
            std::copy_n(in + static_cast<std::size_t>(i) * from, from, out);
            std::fill(out + from, out + ch, 0);
        }
    }
}

} // namespace sonimo
