#include "job/job_driver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <QWidget>

#include "desktop/after_job.h"
#include "desktop/message_box.h"
#include "desktop/taskbar.h"
#include "desktop/ui_texts.h"
#include "desktop/version.h"
#include "job/commands.h"
#include "job/names.h"
#include "job/temp_files.h"
#include "platform/read_file.h"
#include "proc/progress_message.h"
#include "settings/settings_file.h"

namespace job {

namespace {

const char kMeta[] = "Meta";
const char kFlags[] = "Flags";
const char* const kOutputKeys[] = {nullptr, "PathPrev", "PathStandard", "PathDeluxe"};
const char* const kFlagKeys[] = {nullptr, "Prev", "Std", "DX"};

bool NonEmptyFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

// The mux stage runs the video-only command, the command that adds the
// sound, and the tag command. The second may fail only when there was no
// sound to add: the video-only file then stands as the output. In debug
// mode the third names the file alone, to leave it untagged, and what the
// muxer makes of that does not count.
bool MuxJoinedAll(const std::vector<proc::ToolOutcome>& outcomes, bool soundExisted, bool debugMode) {
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const bool mayFail = (i == 1 && !soundExisted) || (i == 2 && debugMode);
    if (outcomes[i].failed() && !mayFail) return false;
  }
  return true;
}

// Why files cannot be made in `folder`, as an errno value; 0 when they can.
int FolderError(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

}  // namespace

JobDriver::JobDriver(JobView& view, const DriverSetup& setup, const desktop::UiTexts& texts,
                     settings::SettingsFile& settingsFile, desktop::TaskbarProgress& taskbar,
                     desktop::AfterJobActions& afterJob, QObject* parent)
    : QObject(parent),
      view_(view),
      setup_(setup),
      texts_(texts),
      report_(texts, setup.paths.jobLog),
      settings_(settingsFile),
      taskbar_(taskbar),
      afterJob_(afterJob),
      audioStreamPath_(setup.paths.audioStream) {
  for (int mode = kPreview; mode <= kDeluxe; ++mode) records_[mode].modeName = texts.modeNames[mode - 1];
  records_[kPreview].settings = settingsFile.ReadPreview();
  records_[kStandard].settings = settingsFile.ReadStandard();
}

JobDriver::~JobDriver() {
  if (thread_) {
    abortRequested_ = true;
    thread_->wait();
  }
}

bool JobDriver::IsWav() const { return IsWavSource(sourcePath_); }

bool JobDriver::UsesSideCar() const {
  return !IsWav() && FileExists(SideCarAudioPath(sourcePath_)) &&
         (currentMode_ == kDeluxe || records_[currentMode_].settings.sdDeluxe);
}

QPoint JobDriver::MessageOrigin(int dx, int dy) const {
  return view_.window()->frameGeometry().topLeft() + QPoint(dx, dy);
}

void JobDriver::Tell(const desktop::MessageRequest& request) {
  if (setup_.messageSink) {
    setup_.messageSink(request);
  } else {
    desktop::ShowMessage(view_.window(), request);
  }
}

void JobDriver::ShowError(const QString& text, int offset, const QString& details) {
  Tell({QMessageBox::Critical, text, MessageOrigin(offset, 130), false, details});
}

void JobDriver::AddToDebugLog(const std::string& line) {
  if (setup_.debugMode) debugLog_.push_back(line);
}

void JobDriver::CleanTemp() { DeleteTempFiles(setup_.paths, audioStreamPath_); }

void JobDriver::StartBtnClick() {
  if (state_ != JobState::Idle) {
    view_.requestClose();
    return;
  }
  MakeTempDir(setup_.paths);
  failureLine_.clear();

  const bool ticked[4] = {false, view_.modeTicked(kPreview), view_.modeTicked(kStandard), view_.modeTicked(kDeluxe)};
  records_[kPreview].passesLeft = ticked[kPreview] ? 2 : 0;
  records_[kStandard].passesLeft = ticked[kStandard] ? 2 : 0;
  records_[kDeluxe].passesLeft = ticked[kDeluxe] ? 1 : 0;

  settings_.WriteString(kMeta, "Author", view_.author());
  settings_.WriteString(kMeta, "Clip", view_.title());
  settings_.WriteString(kMeta, "Path", view_.sourcePath());
  for (int mode = kPreview; mode <= kDeluxe; ++mode) settings_.WriteBool(kFlags, kFlagKeys[mode], ticked[mode]);

  if (view_.sourcePath().isEmpty()) {
    ShowError(texts_.selectFile, texts_.offsetMain);
    return;
  }
  if (!ticked[kPreview] && !ticked[kStandard] && !ticked[kDeluxe]) {
    ShowError(texts_.selectMode, texts_.offsetMain);
    return;
  }

  sourcePath_ = view_.sourcePath().toStdString();
  if (!CanCarryToTools(sourcePath_)) {
    ShowError(texts_.nameNotCarried, texts_.offsetMain);
    return;
  }
  try {
    StartTmpRaw();
  } catch (const std::exception& error) {
    // No job starts: the probe script it wrote goes with it.
    ::unlink(setup_.paths.script.c_str());
    const auto* probeError = dynamic_cast<const ProbeError*>(&error);
    ShowError(QString::fromStdString(error.what()), texts_.offsetMain,
              probeError != nullptr ? QString::fromStdString(probeError->details()) : QString());
    return;
  }
  if (!FileExists(sourcePath_)) {
    ::unlink(setup_.paths.script.c_str());
    view_.clearSource();
    return;
  }

  view_.disableControls();
  for (bool& failed : failed_) failed = false;
  if (setup_.debugMode) debugLog_.clear();

  JobInputs inputs;
  inputs.sourcePath = sourcePath_;
  std::copy(std::begin(ticked), std::end(ticked), std::begin(inputs.ticked));
  inputs.fpsArg = frameRate_.fpsArg;
  inputs.hasAudioText = hasAudioText_;
  inputs.vpyAviPath = vpyAviPath_;
  inputs.sequence = sequence_;
  FillWM(records_, inputs);
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    passesTotal_[mode] = ticked[mode] ? records_[mode].passesLeft : 0;
    modeEnded_[mode] = false;
  }
  caption_ = setup_.baseCaption;
  if (setup_.claimOutputName && !IsWav()) {
    for (int mode = kPreview; mode <= kDeluxe; ++mode) {
      if (ticked[mode]) records_[mode].outName = setup_.claimOutputName(sourcePath_, records_[mode].suffix);
    }
  }
  QStringList modeNames;
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    if (ticked[mode]) modeNames << records_[mode].modeName;
  }
  report_.JobStarted(sourcePath_, modeNames);
  ModeSelector();
}

void JobDriver::StartTmpRaw() {
  const ToolPaths& paths = setup_.paths;
  const std::string kind = SourceKind(sourcePath_);
  if (kind == "wav") {
    WriteLines(paths.script, WavScript(sourcePath_));
    return;
  }

  // Findings of an earlier probe must never be taken for this one's.
  const std::string probeFiles[] = {paths.temp("raw.264"), paths.temp("fps.cmd"), paths.temp("fps.txt"),
                                    paths.temp("audio.txt")};
  const auto deleteProbeFiles = [&] {
    for (const std::string& file : probeFiles) ::unlink(file.c_str());
  };
  deleteProbeFiles();

  bool vpyAviExists = false;
  if (kind == "vpy") {
    vpyAviPath_ = FindVpyAviPath(platform::ReadWholeFile(sourcePath_).value_or(""), FileExists);
    vpyAviExists = !vpyAviPath_.empty() && FileExists(vpyAviPath_);
  }
  if (kind == "png" || kind == "jpg") {
    const SequenceScan scan = ScanSequence(sourcePath_);
    sequence_.pattern = scan.pattern;
    sequence_.first = scan.names.empty() ? 0 : FrameNumberOf(scan.names.front(), scan.prefix);
    sequence_.last = scan.names.empty() ? 0 : FrameNumberOf(scan.names.back(), scan.prefix);
    view_.chooseFrameRate(sequence_);
    if (!CanCarryToTools(sequence_.wavPath)) throw std::runtime_error(texts_.nameNotCarried.toStdString());
  }

  WriteLines(paths.script, ProbeScript(sourcePath_, vpyAviPath_, vpyAviExists, sequence_));
  const proc::ToolOutcome probe = proc::ExecRaw(ProbeCommand(paths));

  // A finding the probe did not write shows as the toolkit's "File not
  // found", with what lies behind it in the details.
  const auto notFound = [&] {
    QString folderProblem;
    if (const int error = FolderError(paths.tempDir); error != 0) {
      folderProblem = texts_.detailsFolderNotWritable + QString::fromStdString(paths.tempDir) + ": " +
                      QString::fromLocal8Bit(std::strerror(error));
    }
    failureLine_ = folderProblem.isEmpty() ? ToolErrorLine(texts_, probe) : folderProblem;
    const QString details = folderProblem.isEmpty() ? DescribeOutcome(texts_, probe)
                                                    : folderProblem + "\n" + DescribeOutcome(texts_, probe);
    return ProbeError("File not found", details.toStdString());
  };
  try {
    const std::optional<std::string> fps = platform::ReadFirstLine(paths.temp("fps.txt"));
    if (!fps) throw notFound();
    frameRate_ = FrameRateFrom(ParseRate(*fps));
    const std::optional<std::string> audio = platform::ReadFirstLine(paths.temp("audio.txt"));
    if (!audio) throw notFound();
    hasAudioText_ = *audio;
  } catch (...) {
    deleteProbeFiles();
    throw;
  }
  deleteProbeFiles();
}

void JobDriver::ModeSelector() {
  state_ = JobState::Running;
  if (IsWav()) {
    for (int mode = kPreview; mode <= kDeluxe; ++mode) {
      if (records_[mode].passesLeft > 0) {
        lastWavSuffix_ = records_[mode].suffix;
        break;
      }
    }
    // Also on the call that ends the job: the last output now exists, so this
    // names a free file that the final clean-up may delete without loss.
    audioStreamPath_ = IncName(sourcePath_, lastWavSuffix_);
  } else {
    audioStreamPath_ = setup_.paths.audioStream;
  }
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    if (records_[mode].passesLeft > 0) {
      Start264(mode);
      return;
    }
  }
  EndJob();
}

void JobDriver::EndJob() {
  const QString version5 = desktop::Version5(setup_.version);
  view_.setStatus(texts_.standby);
  // The caption keeps its last percentage until the box is closed.
  view_.setTitles(texts_.done + " - KVR " + version5, caption_);
  view_.setStartCaption(texts_.start);

  afterJob_.Perform(view_.afterJobIndex(), QString::fromStdString(setup_.paths.sound));
  taskbar_.SetState(desktop::TaskbarState::Indeterminate);

  QStringList failedModes;
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    if (failed_[mode]) failedModes << records_[mode].modeName;
  }
  report_.JobEnded();
  if (failedModes.isEmpty()) {
    Tell({QMessageBox::NoIcon, texts_.allDone, MessageOrigin(texts_.offsetMain + 40, 170), false});
  } else {
    Tell({QMessageBox::Critical, texts_.modesFailed + failedModes.join(", "), MessageOrigin(texts_.offsetMain + 40, 170),
          false, report_.details()});
  }

  if (!setup_.debugMode) DelTemp();
  taskbar_.SetState(desktop::TaskbarState::None);
  view_.setTitles(desktop::IdleAppTitle(setup_.version), setup_.baseCaption);
  view_.setBarValue(0);
  state_ = JobState::Idle;
  stage_ = RunningStage::None;
  view_.enableControls();
}

void JobDriver::DelTemp() {
  const int pending = records_[kPreview].passesLeft + records_[kStandard].passesLeft + records_[kDeluxe].passesLeft;
  if (setup_.debugMode && pending == 0) {
    WriteDebugLog(setup_.paths, debugLog_);
    debugLog_.clear();
    return;
  }
  DeleteTempFiles(setup_.paths, audioStreamPath_);
}

void JobDriver::RecordOutputs() {
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    if (view_.modeTicked(mode)) {
      settings_.WriteString(kMeta, kOutputKeys[mode], QString::fromStdString(records_[mode].outName));
    }
  }
}

void JobDriver::StartThread(std::unique_ptr<proc::ToolThread> thread, RunningStage stage) {
  report_.StageStarted(currentMode_);
  stage_ = stage;
  thread_ = std::move(thread);
  thread_->start(QThread::IdlePriority);
}

void JobDriver::Start264(int mode) {
  currentMode_ = mode;
  ModeRecord& record = records_[mode];
  std::string command;
  if (!IsWav()) {
    const bool twoPass = IsTwoPass(record, mode);
    const int passNumber = 3 - record.passesLeft;
    QString status = texts_.video + record.modeName;
    if (twoPass) status += texts_.pass + QString::number(passNumber) + texts_.of + "2";
    stageText_ = status;
    view_.setStatus(status + "...");
    view_.setBarValue(0);
    view_.processPendingEvents();
    WriteLines(setup_.paths.script, record.script);
    command = VideoCommand(setup_.paths, {setup_.videoEncoderPath, frameRate_.fpsInt, record.x264Opts, twoPass,
                                          passNumber});
    AddToDebugLog(command);
  }
  --record.passesLeft;
  progressBuffer_.ForgetEta();
  StartThread(std::make_unique<proc::TVid>(this, abortRequested_, command, progressBuffer_), RunningStage::Video);
}

void JobDriver::StartAAC() {
  const ModeRecord& record = records_[currentMode_];
  stageText_ = texts_.audio + record.modeName;
  view_.setStatus(stageText_ + "...");
  view_.setBarValue(0);
  view_.processPendingEvents();
  WriteLines(setup_.paths.audioBatch, {AudioCommandLine(setup_.paths, record.aacOpts, audioStreamPath_)});
  AddToDebugLog(setup_.paths.audioBatch);
  StartThread(std::make_unique<proc::TAud>(this, abortRequested_, setup_.paths.audioBatch), RunningStage::Audio);
}

void JobDriver::StartMuxer() {
  const ModeRecord& record = records_[currentMode_];
  stageText_ = texts_.muxing + record.modeName;
  view_.setStatus(stageText_ + "...");
  view_.setBarValue(0);
  view_.processPendingEvents();

  MuxRequest request;
  request.audioPath = UsesSideCar() ? SideCarAudioPath(sourcePath_) : audioStreamPath_;
  muxAudioPath_ = request.audioPath;
  request.outputPath = record.outName;
  request.author = view_.author().toStdString();
  request.title = view_.title().toStdString();
  request.suffix = record.suffix;
  request.version3 = desktop::Version3(setup_.version).toStdString();
  request.version5 = desktop::Version5(setup_.version).toStdString();
  request.debugMode = setup_.debugMode;
  const MuxCommands commands = MuxCommandLines(setup_.paths, request);
  AddToDebugLog(commands.full);
  StartThread(std::make_unique<proc::TMux>(this, abortRequested_, commands.video, commands.full, commands.tags),
              RunningStage::Mux);
}

bool JobDriver::event(QEvent* event) {
  if (event->type() != proc::ProgressEvent::eventType()) return QObject::event(event);
  const auto* progress = static_cast<proc::ProgressEvent*>(event);
  HandleProgress(progress->wParam(), progress->lParam());
  return true;
}

void JobDriver::ShowTitlesFor(int percent) {
  const QString figure = QString::number(percent);
  caption_ = figure + "% - " + setup_.baseCaption;
  view_.setTitles(figure + "% - KVR " + desktop::Version5(setup_.version), caption_);
}

SourceProgress JobDriver::sourceProgress() const {
  const bool passRuns = state_ == JobState::Running && stage_ == RunningStage::Video && !IsWav();
  int total = 0;
  int done = 0;
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    if (passesTotal_[mode] == 0) continue;
    const int parts = passesTotal_[mode] + 1;
    total += parts;
    if (modeEnded_[mode]) {
      done += parts;
      continue;
    }
    int ended = passesTotal_[mode] - records_[mode].passesLeft;
    if (stage_ == RunningStage::Video && mode == currentMode_) --ended;
    done += std::max(ended, 0);
  }
  return EstimateSourceProgress(total, done, passRuns ? view_.barValue() : -1,
                                passRuns ? progressBuffer_.etaSeconds() : -1);
}

void JobDriver::EndCurrentMode() { modeEnded_[currentMode_] = true; }

std::vector<proc::ToolOutcome> JobDriver::FinishThread() {
  thread_->wait();
  std::vector<proc::ToolOutcome> outcomes = thread_->outcomes();
  thread_.reset();
  return outcomes;
}

void JobDriver::FailCurrentMode(const std::vector<proc::ToolOutcome>& outcomes, const std::string& missingOutput) {
  failed_[currentMode_] = true;
  records_[currentMode_].passesLeft = 0;
  const auto failed = std::find_if(outcomes.begin(), outcomes.end(), [](const auto& o) { return o.failed(); });
  const auto ran = std::find_if(outcomes.rbegin(), outcomes.rend(),
                                [](const auto& o) { return o.kind != proc::ToolOutcome::Kind::NotRun; });
  const proc::ToolOutcome shown = failed != outcomes.end() ? *failed : ran != outcomes.rend() ? *ran : proc::ToolOutcome{};
  const QString& modeName = records_[currentMode_].modeName;
  report_.ModeFailed(modeName, DescribeFailure(texts_, modeName, stageText_, shown, missingOutput));
  // A tool that ended well but left no output says nothing of it itself.
  if (failureLine_.isEmpty()) {
    failureLine_ = !missingOutput.empty() && !shown.failed()
                       ? texts_.detailsNoOutputFile + QString::fromStdString(missingOutput)
                       : ToolErrorLine(texts_, shown);
  }
}

void JobDriver::AbandonCurrentMode(const std::vector<proc::ToolOutcome>& outcomes) {
  FailCurrentMode(outcomes);
  EndCurrentMode();
  DelTemp();
  ModeSelector();
  RecordOutputs();
}

void JobDriver::HandleProgress(int wParam, int lParam) {
  taskbar_.SetValue(static_cast<uint64_t>(view_.barValue()), 100);
  // A report that belongs to no running stage (none can arrive once its
  // thread is freed, but a late one must never start a stage twice).
  const RunningStage expected = lParam == proc::kStageVideo   ? RunningStage::Video
                                : lParam == proc::kStageAudio ? RunningStage::Audio
                                : lParam == proc::kStageMux   ? RunningStage::Mux
                                                              : RunningStage::None;
  if (expected == RunningStage::None || !thread_ || stage_ != expected) return;

  if (wParam != proc::kCompletionCode) {
    if (expected == RunningStage::Video) {
      view_.setBarValue(wParam);
      ShowTitlesFor(view_.barValue());
    } else if (expected == RunningStage::Audio) {
      view_.setBarValue(100);
    } else {
      view_.setBarValue(view_.barValue() >= 100 ? 0 : view_.barValue() + 1);
      ShowTitlesFor(view_.barValue());
    }
    return;
  }

  // The stage's thread posts its completion last, so the wait is short; a
  // stage whose tool failed never shows 100 %.
  const std::vector<proc::ToolOutcome> outcomes = FinishThread();
  const bool toolFailed = std::any_of(outcomes.begin(), outcomes.end(), [](const auto& o) { return o.failed(); });
  if (!toolFailed) {
    view_.setBarValue(100);
    if (expected != RunningStage::Audio) ShowTitlesFor(100);
    view_.repaintBar();
  }
  const QString& modeName = records_[currentMode_].modeName;

  switch (expected) {
    case RunningStage::Video:
      if (toolFailed) {
        AbandonCurrentMode(outcomes);
        return;
      }
      AfterVideoPass();
      return;
    case RunningStage::Audio:
      if (!IsWav()) {
        if (toolFailed) {
          AbandonCurrentMode(outcomes);
          return;
        }
        StartMuxer();
        return;
      }
      if (toolFailed || !NonEmptyFile(audioStreamPath_)) {
        FailCurrentMode(outcomes, toolFailed ? std::string() : audioStreamPath_);
        // The sound is the output here, and what a failed encoder wrote of
        // it is none; its name was free when the mode began.
        ::unlink(audioStreamPath_.c_str());
      } else {
        report_.ModeDone(modeName, audioStreamPath_);
      }
      EndCurrentMode();
      ModeSelector();
      RecordOutputs();
      return;
    case RunningStage::Mux: {
      const std::string& output = records_[currentMode_].outName;
      if (!NonEmptyFile(output)) {
        // An empty file (the disk was full, say) is no output either; the
        // name was free when the job began, so whatever stands there is ours.
        ::unlink(output.c_str());
        FailCurrentMode(outcomes, output);
      } else if (!MuxJoinedAll(outcomes, FileExists(muxAudioPath_), setup_.debugMode)) {
        // A file without its sound or its tags is no output of the mode.
        ::unlink(output.c_str());
        FailCurrentMode(outcomes);
      } else {
        report_.ModeDone(modeName, output);
      }
      EndCurrentMode();
      DelTemp();
      ModeSelector();
      RecordOutputs();
      return;
    }
    case RunningStage::None:
      return;
  }
}

void JobDriver::AfterVideoPass() {
  const ModeRecord& record = records_[currentMode_];
  if (record.passesLeft > 0) {
    ModeSelector();
    return;
  }
  if (UsesSideCar()) {
    StartMuxer();
    return;
  }
  // Only an image sequence takes its sound from the chooser.
  const std::string kind = SourceKind(sourcePath_);
  const bool chooserSound = (kind == "png" || kind == "jpg") && !view_.attachedWavPath().isEmpty();
  if (hasAudioText_ != "true" && !IsWav() && !chooserSound) {
    StartMuxer();
    return;
  }
  StartAAC();
}

void JobDriver::AbortAndClean() {
  report_.JobHalted();
  abortRequested_ = true;
  if (thread_) {
    thread_->wait();
    thread_.reset();
  }
  // A mux stage writes the output in steps, the video alone first: what it
  // has made of a halted mode is no output.
  if (stage_ == RunningStage::Mux) ::unlink(records_[currentMode_].outName.c_str());
  DelTemp();
}

}  // namespace job
