// Compiled by the layer tests: a synth file that names a ui header. The synth view must
// refuse it; the ui view, which sees both, must take it.
#include "synth/SampleSource.h"
#include "ui/NoteTable.h"
