// Tone lists: silences, tone files, WAV files and other lists played one after another,
// stored as UTF-8 text with one entry per line (".tdl"). This layer only reads and
// writes the text; audio/ToneListRenderer turns a list into sound.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sonimo {

class File;

inline constexpr std::size_t kLineBytes = 1039; // bytes of a line that are kept
inline constexpr std::size_t kLineUnits = 259;  // UTF-16 units of a line that survive
inline constexpr std::u16string_view kSilenceSuffix = u"ミリ秒の無音。";

struct ToneListEntry {
    std::int32_t silenceMs = 0; // the silence length; 0 for file entries
    std::u16string fileName;    // empty for a silence; at most 259 units

    bool isSilence() const { return fileName.empty(); }
    bool operator==(const ToneListEntry&) const = default;
};

// Ordered entries; the list owns them.
struct ToneList {
    std::vector<ToneListEntry> entries;
};

// The line reader shared by the list reader, the list dialog's import and the value grid.
// A line ends at CR, LF, CR LF or LF CR (CR CR and LF LF are two line ends). Bytes past
// the first 1039 of a line are dropped; the rest is UTF-8 turned into at most 259 UTF-16
// units, cut at a NUL. A line ended by a line end counts even when empty; an empty
// remainder at the end of the data does not.
class LineReader {
public:
    explicit LineReader(File& file);                // borrowed; read through a buffer
    LineReader(const void* data, std::size_t size); // a memory image, borrowed
    // A file is left positioned just after the last line handed out.
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool readLine(std::u16string& line);

private:
    int next(); // the next byte, or -1 at the end
    void stepBack() { --pos_; }
    bool refill();

    File* file_ = nullptr; // borrowed
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    std::vector<unsigned char> buffer_;
};

// Reads one line from an open file, leaving the file just after it.
bool readLine(File& file, std::u16string& line);

// One line of a list file as an entry: a silence when the line contains the silence
// suffix and its first "。" is its last character, else a file entry naming the line.
ToneListEntry parseToneListLine(const std::u16string& line);

// The file's lines as entries; a missing or unreadable file gives an empty list. At most
// `maxEntries` entries are read (the rest of the file is left unread), so that a caller
// with a bound on entries never holds more than it will take.
ToneList readToneList(const std::u16string& path, std::size_t maxEntries = SIZE_MAX);
// The same from a memory image of a list file.
ToneList parseToneList(const void* data, std::size_t size, std::size_t maxEntries = SIZE_MAX);

// Creates or replaces the file and writes each row as one UTF-8 line ended by CR LF.
bool writeToneList(const std::u16string& path, const std::vector<std::u16string>& rows);
// The line that stands for an entry: the file name, or the digits and the silence suffix.
std::u16string toneListRow(const ToneListEntry& entry);

// What decides a file's type: the text from the last "." after the last "\" or "/",
// dot included; empty when there is no such dot. Compared case-sensitively by callers.
std::u16string fileExtension(std::u16string_view path);

// The kinds of file a list entry, the program and the command-line tool take, by the
// exact extension: ".wav", ".tdf", ".tdl"; anything else is Other.
enum class FileKind { Wave, Tone, List, Other };
FileKind fileKindOf(std::u16string_view path);

} // namespace sonimo
