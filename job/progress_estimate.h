// How far a source's job has come and how long it still takes, for the
// runner's lines and the batch window. A job is made of parts: each video
// pass of a ticked mode is one, the sound and mux of a mode together one
// more. The running pass counts by its figure, and the time left comes from
// the encoder's own estimate of that pass, each part after it taken to last
// as long as this one does.
#pragma once

#include <QString>

namespace job {

struct SourceProgress {
  int percent = 0;       // 0..100
  int secondsLeft = -1;  // -1: no estimate
};

// `partsDone` counts the parts that have ended; `passPercent` is the running
// pass's figure (-1 when no pass runs) and `etaSeconds` its encoder's
// estimate (-1 when there is none). A pass at 0 % or at 100 % gives no time.
SourceProgress EstimateSourceProgress(int partsTotal, int partsDone, int passPercent, int etaSeconds);

// The rest of a batch: the running source's estimate, and for every source
// after it the mean time of those already finished in this run, else the
// running source's own expected length (its elapsed time and its estimate).
// -1 when the running source has no estimate.
int EstimateBatchSecondsLeft(int sourceSecondsLeft, int sourceSecondsElapsed, int finishedSources,
                             int finishedSeconds, int sourcesAfter);

// "0:45", "12:05", "1:02:03".
QString FormatDuration(int seconds);

}  // namespace job
