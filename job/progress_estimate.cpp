#include "job/progress_estimate.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace job {

SourceProgress EstimateSourceProgress(int partsTotal, int partsDone, int passPercent, int etaSeconds) {
  SourceProgress progress;
  if (partsTotal <= 0) return progress;
  partsDone = std::clamp(partsDone, 0, partsTotal);
  const bool passRuns = passPercent >= 0 && partsDone < partsTotal;
  const double passShare = passRuns ? std::min(passPercent, 100) / 100.0 : 0.0;
  progress.percent = static_cast<int>(std::floor(100.0 * (partsDone + passShare) / partsTotal));
  // Before the first percent of a pass its estimate says little, and at its
  // end nothing of how long a part takes; no estimate is given then.
  if (passRuns && etaSeconds >= 0 && passPercent >= 1 && passPercent < 100) {
    const double perPart = etaSeconds / (1.0 - passShare);
    const double left = etaSeconds + perPart * (partsTotal - partsDone - 1);
    progress.secondsLeft = static_cast<int>(std::min<double>(std::lround(left), std::numeric_limits<int>::max()));
  }
  return progress;
}

int EstimateBatchSecondsLeft(int sourceSecondsLeft, int sourceSecondsElapsed, int finishedSources,
                             int finishedSeconds, int sourcesAfter) {
  if (sourceSecondsLeft < 0) return -1;
  const double perSource = finishedSources > 0 ? static_cast<double>(finishedSeconds) / finishedSources
                                               : static_cast<double>(sourceSecondsElapsed) + sourceSecondsLeft;
  const double left = sourceSecondsLeft + perSource * std::max(sourcesAfter, 0);
  return static_cast<int>(std::min<double>(std::lround(left), std::numeric_limits<int>::max()));
}

QString FormatDuration(int seconds) {
  seconds = std::max(seconds, 0);
  const int hours = seconds / 3600, minutes = seconds / 60 % 60, rest = seconds % 60;
  if (hours > 0) return QString("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QChar('0')).arg(rest, 2, 10, QChar('0'));
  return QString("%1:%2").arg(minutes).arg(rest, 2, 10, QChar('0'));
}

}  // namespace job
