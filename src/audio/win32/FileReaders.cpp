#include "audio/win32/FileReaders.h"

#include "audio/AudioFileReader.h"
#include "audio/win32/AcmFileSource.h"

namespace sonimo {

void installFileReaders() {
    setConvertingReader(&OpenAcmFileSource);
}

} // namespace sonimo
