// The state machine of a job: the start from the Start button, the choice of
// the next stage or mode, the handling of every report of the tool threads,
// and the end of the job with its after-job action and final message.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "job/job_report.h"
#include "job/mode_record.h"
#include "job/ownership.h"
#include "job/progress_estimate.h"
#include "job/tool_paths.h"
#include "proc/progress_parser.h"
#include "proc/tool_threads.h"

namespace desktop {
struct MessageRequest;
struct UiTexts;
class AfterJobActions;
class TaskbarProgress;
}  // namespace desktop
namespace settings {
class SettingsFile;
}

namespace job {

enum class JobState { Idle, Running };
enum class RunningStage { None = 0, Video = 1, Audio = 2, Mux = 3 };

// What the driver needs of the main window.
class JobView {
 public:
  virtual ~JobView() = default;
  virtual QWidget* window() = 0;

  virtual QString sourcePath() const = 0;
  virtual void clearSource() = 0;
  virtual bool modeTicked(int mode) const = 0;
  virtual QString author() const = 0;
  virtual QString title() const = 0;
  virtual int afterJobIndex() const = 0;

  virtual void setStatus(const QString& text) = 0;
  virtual int barValue() const = 0;
  // Values outside 0..100 leave the bar where it is.
  virtual void setBarValue(int value) = 0;
  // Paints the bar at once, without handling any event.
  virtual void repaintBar() = 0;
  // Handles pending events other than user input, so labels show at once.
  virtual void processPendingEvents() = 0;
  virtual void setTitles(const QString& applicationTitle, const QString& caption) = 0;
  virtual void setStartCaption(const QString& caption) = 0;
  virtual void disableControls() = 0;  // also stops accepting drops
  virtual void enableControls() = 0;   // also accepts drops again
  virtual void requestClose() = 0;

  // Shows the frame-rate chooser for an image sequence with the frame range
  // found; fills the sequence's rate, range and attached sound.
  virtual void chooseFrameRate(Sequence& sequence) = 0;
  // The sound attached in the frame-rate chooser; empty when none.
  virtual QString attachedWavPath() const = 0;
  // A mode's output is complete (a batch records it at once).
  virtual void outputMade(int /*mode*/, const std::string& /*path*/) {}
};

struct DriverSetup {
  // The intermediate files lie in a job folder that this program holds.
  ToolPaths paths;
  std::string videoEncoderPath;
  bool debugMode = false;
  QString version;      // "4.0.0.0"
  QString baseCaption;  // the window's caption while idle
  // Why the job folder could not be had; a job then stops at once with a
  // box that names the folder.
  std::string folderProblem;
  // The window remembers its jobs in the settings file (source, tags,
  // ticked modes, outputs); a batch and a runner leave it alone.
  bool remembersJob = true;
  // Takes the driver's error boxes and its end-of-job box instead of showing
  // them; empty: they show. A runner and a batch report each source their
  // own way.
  std::function<void(const desktop::MessageRequest& request)> messageSink;
};

class JobDriver : public QObject {
 public:
  JobDriver(JobView& view, const DriverSetup& setup, const desktop::UiTexts& texts,
            settings::SettingsFile& settingsFile, desktop::TaskbarProgress& taskbar,
            desktop::AfterJobActions& afterJob, QObject* parent = nullptr);
  ~JobDriver() override;

  // The Start button: starts a job when idle, asks to quit while running.
  void StartBtnClick();
  // The close path while running: stops the running tool and cleans up,
  // the outputs this job claimed and did not finish included.
  void AbortAndClean();
  // The same for a program stopped by a signal, which the log tells.
  void StopBySignal();
  // Makes the running tool, the probe included, end at once; its stage then
  // reports nothing more. Safe in a signal handler: one lock-free store.
  void RequestAbort() { abortRequested_.store(true); }

  JobState state() const { return state_; }
  RunningStage runningStage() const { return stage_; }
  int currentMode() const { return currentMode_; }
  ModeRecords& records() { return records_; }
  const std::vector<std::string>& debugLog() const { return debugLog_; }
  const std::string& audioStreamPath() const { return audioStreamPath_; }
  // The modes that failed in the last run, by EncodeMode.
  bool modeFailed(int mode) const { return failed_[mode]; }
  // The tool's own error line of the first failure of the last job (its
  // probe or a mode); empty when none failed or no tool spoke.
  const QString& failureLine() const { return failureLine_; }
  // How far the running job has come and its time left.
  SourceProgress sourceProgress() const;

 protected:
  bool event(QEvent* event) override;

 private:
  void HandleProgress(int wParam, int lParam);
  void StartTmpRaw();
  void ModeSelector();
  void Start264(int mode);
  void StartAAC();
  void StartMuxer();
  void EndJob();
  void Abort();
  void DelTemp();
  void RecordOutputs();
  // Waits for the finished tool thread, frees it, and returns what became
  // of its commands.
  std::vector<proc::ToolOutcome> FinishThread();
  void StartThread(std::unique_ptr<proc::ToolThread> thread, RunningStage stage);
  // Marks the current mode failed and reports the stage's failed command
  // (else its last one), and the output it did not write when one is named.
  void FailCurrentMode(const std::vector<proc::ToolOutcome>& outcomes, const std::string& missingOutput = {});
  // A failed stage skips the rest of its mode; the next mode still runs.
  void AbandonCurrentMode(const std::vector<proc::ToolOutcome>& outcomes);
  void AfterVideoPass();
  // The current mode has made its output or failed.
  void EndCurrentMode();
  void ShowTitlesFor(int percent);
  void AddToDebugLog(const std::string& line);
  bool IsWav() const;
  // Whether the current mode takes its sound from the side-car file beside
  // the source instead of encoding it; never for a WAV source, whose output
  // is the sound itself.
  bool UsesSideCar() const;
  QPoint MessageOrigin(int dx, int dy) const;
  void ShowError(const QString& text, int offset, const QString& details = {});
  // A job that ends before its first stage: its claims go, the log says why.
  void RefuseJob(const QString& reason);
  // Before a stage writes the current mode's output: the claimed name must
  // still be this job's file, else the output takes a newly claimed name.
  bool KeepOutputName(std::string& outputPath);
  void Tell(const desktop::MessageRequest& request);

  JobView& view_;
  DriverSetup setup_;
  const desktop::UiTexts& texts_;
  JobReport report_;
  OutputClaims claims_;
  settings::SettingsFile& settings_;
  desktop::TaskbarProgress& taskbar_;
  desktop::AfterJobActions& afterJob_;

  JobState state_ = JobState::Idle;
  RunningStage stage_ = RunningStage::None;
  int currentMode_ = kPreview;
  QString stageText_;  // the running stage's status line, without its dots
  ModeRecords records_;
  bool failed_[4] = {false, false, false, false};
  // Each ticked mode's video passes, and whether the mode has ended.
  int passesTotal_[4] = {0, 0, 0, 0};
  bool modeEnded_[4] = {false, false, false, false};
  QString caption_;  // the window caption of the moment
  QString failureLine_;

  // Probe results; a WAV job leaves them as they were.
  FrameRate frameRate_{25, "\"pal_film\""};
  std::string hasAudioText_;
  std::string vpyAviPath_;
  Sequence sequence_;

  std::string sourcePath_;  // fixed for the whole job
  std::string audioStreamPath_;
  std::string muxAudioPath_;  // the sound the running mux stage joins
  std::vector<std::string> debugLog_;

  std::atomic<bool> abortRequested_{false};
  proc::ProgressBuffer progressBuffer_;
  std::unique_ptr<proc::ToolThread> thread_;
};

}  // namespace job
