// make: a tone file from options, starting from the default record.
#include "Commands.h"
#include "ToneOptions.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"

namespace sonimo::cli {

int runMake(const Args& args) {
    const ArgScanner a(args, kToneValueOptions, kToneFlagOptions);
    if (!a.ok()) {
        printError("make: " + a.error());
        return kExitUsage;
    }
    if (a.positional().size() != 1) {
        printError("make: name one output file (OUT.tdf)");
        return kExitUsage;
    }
    const std::u16string out = pathArg(a.positional()[0]);
    if (fileExtension(out) != u".tdf") {
        printError("make: the output file must end in .tdf");
        return kExitUsage;
    }
    const std::optional<ToneData> tone = toneFromOptions(a);
    if (!tone) return kExitUsage;
    if (!saveToneFile(*tone, out)) {
        printError("make: could not write " + displayPath(out));
        return kExitOutput;
    }
    return kExitDone;
}

} // namespace sonimo::cli
