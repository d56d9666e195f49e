// Renders a source into a sink: the one loop behind "save as WAV", the temporary file
// for the companion editor, and the command-line renderer.
//
//   SinkRef wav = CreateWaveFileWriter(path, rate, channels);
//   int r = RenderTask(u"ファイルを保存しています", graph, wav, dialog);
//   wav.release(); // finishes the file: real sizes in the header
//
// The source is converted to the sink's rate and channel count (down-mix, resample,
// up-mix) and, when its peakLevel exceeds kNominalFullScale, limited with look-ahead to
// that ceiling. GetLength - GetPosition frames are then pulled in blocks of at most
// 8192, ten blocks per progress step, and pushed into the sink. `progress` shows the
// message and "お待ちください..." and the fraction done; it is asked whether the user
// cancelled after every block. Runs on the calling thread; takes its own references, so
// the caller may drop its handles at any time after the call.
#pragma once
#include <string>

#include "audio/RenderProgress.h"
#include "audio/SampleSink.h"
#include "synth/SampleSource.h"

namespace sonimo {

enum RenderResult : int {
    RenderCompleted = 0, // every frame reached the sink (also for an empty source)
    RenderCancelled = 1, // the user cancelled; the sink holds the frames written until then
    RenderFailed = 2,    // the source or sink was unusable, or a write failed or hit the size limit
};

inline constexpr char16_t kRenderWaitText[] = u"お待ちください...";
inline constexpr int kRenderBlocksPerStep = 10;

int RenderTask(const std::u16string& message, const SourceRef& source, const SinkRef& sink,
               RenderProgress& progress);

} // namespace sonimo
