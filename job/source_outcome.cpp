#include "job/source_outcome.h"

#include <sys/stat.h>
#include <unistd.h>

#include "desktop/message_box.h"
#include "job/job_driver.h"
#include "job/mode_record.h"
#include "job/names.h"

namespace job {

namespace {

// A mode that failed leaves the empty file that claimed its name.
void RemoveEmptyClaim(const std::string& path) {
  struct stat st {};
  if (!path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) {
    ::unlink(path.c_str());
  }
}

}  // namespace

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
      if (started) RemoveEmptyClaim(output);
    } else {
      outcome.outputs.push_back(output);
    }
  }
  return outcome;
}

std::vector<std::string> ExpectedOutputs(const std::string& sourcePath, const bool ticked[4]) {
  std::vector<std::string> outputs;
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    if (ticked[mode]) outputs.push_back(IncName(sourcePath, ModeSuffix(mode)));
  }
  return outputs;
}

}  // namespace job
