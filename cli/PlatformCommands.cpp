// The commands that need the platform's audio output. They are the Windows build's
// (devices, play); a build without an output back-end offers none.
#include "Commands.h"

namespace sonimo::cli {

std::span<const Command> platformCommands() { return {}; }

} // namespace sonimo::cli
