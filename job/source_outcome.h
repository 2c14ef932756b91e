// One source's job as the runner without a window and the batch window see
// it, each running its sources one after another through the job driver:
// the driver's boxes turned into the source's failure reason, and what
// became of every ticked mode once the job has ended.
#pragma once

#include <QString>

#include <string>
#include <vector>

namespace desktop {
struct MessageRequest;
}

namespace job {

class JobDriver;

// Collects, from the driver's boxes during one source's job, why it failed:
// an error box's details when it has them, else its text. The end-of-job
// box of a job without failures gives no reason.
class FailureReason {
 public:
  void Clear() { text_.clear(); }
  void Take(const desktop::MessageRequest& request);
  const QString& text() const { return text_; }

 private:
  QString text_;
};

struct SourceOutcome {
  std::vector<int> failedModes;      // by EncodeMode, in order
  std::vector<std::string> outputs;  // the outputs of the modes that were made
  bool allDone() const { return failedModes.empty(); }
};

// What became of the ticked modes of the job that just ended on the driver;
// `started` is false when the job never began (a missing source, a probe
// that failed, a name the tools cannot be given), which fails every ticked
// mode.
SourceOutcome FinishSource(JobDriver& driver, const bool ticked[4], bool started);

}  // namespace job
