#include "tone/ToneList.h"

#include <algorithm>
#include <limits>

#include "platform/File.h"
#include "platform/Text.h"

namespace sonimo {

namespace {
constexpr std::size_t kReadChunk = 4096;
constexpr char kCR = 0x0D, kLF = 0x0A;

} // namespace

LineReader::LineReader(File& file) : file_(&file), buffer_(kReadChunk) {}

LineReader::LineReader(const void* data, std::size_t size)
    : data_(static_cast<const unsigned char*>(data)), size_(data ? size : 0) {}

LineReader::~LineReader() {
    // Give back what was read ahead, so that the next reader of the file starts at the
    // byte after the last line handed out.
    if (file_ && pos_ < size_) {
        const std::int64_t here = file_->tell();
        if (here >= 0) file_->seek(here - static_cast<std::int64_t>(size_ - pos_));
    }
}

bool LineReader::refill() {
    // A step back only ever returns to the byte just read, which is in the current buffer.
    if (!file_) return false;
    const std::int64_t got = file_->read(buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
    size_ = static_cast<std::size_t>(got > 0 ? got : 0);
    pos_ = 0;
    data_ = buffer_.data();
    return size_ > 0;
}

int LineReader::next() {
    if (pos_ >= size_ && !refill()) return -1;
    return data_[pos_++];
}

bool LineReader::readLine(std::u16string& line) {
    std::string bytes;
    bool ended = false;
    for (;;) {
        const int c = next();
        if (c < 0) break;
        if (c == kCR || c == kLF) {
            const int d = next();
            // The other line-end character belongs to this line end; anything else,
            // including the same character again, starts the next line.
            if (d >= 0 && !((c == kCR && d == kLF) || (c == kLF && d == kCR))) stepBack();
            ended = true;
            break;
        }
        if (bytes.size() < kLineBytes) bytes.push_back(static_cast<char>(c));
    }
    if (!ended && bytes.empty()) return false;
    std::u16string text = utf8ToUtf16(bytes);
    // The text is taken as a zero-terminated buffer of 260 units, the last forced to 0.
    const std::size_t nul = text.find(u'\0');
    if (nul != std::u16string::npos) text.resize(nul);
    if (text.size() > kLineUnits) {
        text.resize(kLineUnits);
        if (text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back(); // no half a pair
    }
    line = std::move(text);
    return true;
}

bool readLine(File& file, std::u16string& line) {
    LineReader reader(file);
    return reader.readLine(line);
}

ToneListEntry parseToneListLine(const std::u16string& line) {
    ToneListEntry e;
    const std::size_t at = line.find(kSilenceSuffix);
    const std::size_t stop = line.find(u'。');
    if (at != std::u16string::npos && stop == line.size() - 1) {
        // the suffix holds the only "。", so this occurrence ends the line
        e.silenceMs = LeadingInteger(std::u16string_view(line).substr(0, at));
    } else {
        e.fileName = line;
    }
    return e;
}

namespace {
ToneList readAllLines(LineReader& reader, std::size_t maxEntries) {
    ToneList list;
    std::u16string line;
    while (list.entries.size() < maxEntries && reader.readLine(line))
        list.entries.push_back(parseToneListLine(line));
    return list;
}
} // namespace

ToneList readToneList(const std::u16string& path, std::size_t maxEntries) {
    File f;
    if (!f.open(path, File::Mode::ReadShared)) return {};
    LineReader reader(f);
    return readAllLines(reader, maxEntries);
}

ToneList parseToneList(const void* data, std::size_t size, std::size_t maxEntries) {
    LineReader reader(data, size);
    return readAllLines(reader, maxEntries);
}

bool writeToneList(const std::u16string& path, const std::vector<std::u16string>& rows) {
    File f;
    if (!f.open(path, File::Mode::CreateExclusive)) return false;
    std::string out;
    for (const std::u16string& row : rows) {
        out += utf16ToUtf8(row);
        out += "\r\n";
    }
    return f.write(out.data(), static_cast<std::int64_t>(out.size())) ==
           static_cast<std::int64_t>(out.size());
}

std::u16string toneListRow(const ToneListEntry& e) {
    if (!e.isSilence()) return e.fileName;
    const std::string digits = std::to_string(e.silenceMs);
    return std::u16string(digits.begin(), digits.end()) + std::u16string(kSilenceSuffix);
}

std::u16string fileExtension(std::u16string_view path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    const std::size_t dot = path.rfind(u'.');
    if (dot == std::u16string_view::npos || (slash != std::u16string_view::npos && dot < slash)) return {};
    return std::u16string(path.substr(dot));
}

FileKind fileKindOf(std::u16string_view path) {
    const std::u16string ext = fileExtension(path);
    if (ext == u".wav") return FileKind::Wave;
    if (ext == u".tdf") return FileKind::Tone;
    if (ext == u".tdl") return FileKind::List;
    return FileKind::Other;
}

} // namespace sonimo
