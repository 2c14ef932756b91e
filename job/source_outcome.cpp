#include "job/source_outcome.h"

#include "desktop/message_box.h"
#include "job/job_driver.h"
#include "job/mode_record.h"

namespace job {

void FailureReason::Take(const desktop::MessageRequest& request) {
  if (request.icon == QMessageBox::Critical) text_ = request.details.isEmpty() ? request.text : request.details;
}

SourceOutcome FinishSource(JobDriver& driver, const bool ticked[4], bool started) {
  SourceOutcome outcome;
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    if (!ticked[mode]) continue;
    const std::string& output = driver.records()[mode].outName;
    if (!started || driver.modeFailed(mode)) {
      outcome.failedModes.push_back(mode);
    } else {
      outcome.outputs.push_back(output);
    }
  }
  return outcome;
}

}  // namespace job
