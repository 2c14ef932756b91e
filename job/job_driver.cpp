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
// The probe's box when it finds nothing, in either language.
const char kFileNotFound[] = "File not found";
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
      claims_(setup.paths.tempDir),
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

void JobDriver::StartBtnClick() {
  if (state_ != JobState::Idle) {
    view_.requestClose();
    return;
  }
  // The folder was made when it was taken; one removed since is made again,
  // never followed where a link took its place.
  if (setup_.folderProblem.empty()) ::mkdir(setup_.paths.tempDir.c_str(), 0700);
  failureLine_.clear();

  const bool ticked[4] = {false, view_.modeTicked(kPreview), view_.modeTicked(kStandard), view_.modeTicked(kDeluxe)};
  records_[kPreview].passesLeft = ticked[kPreview] ? 2 : 0;
  records_[kStandard].passesLeft = ticked[kStandard] ? 2 : 0;
  records_[kDeluxe].passesLeft = ticked[kDeluxe] ? 1 : 0;

  if (setup_.remembersJob) {
    settings_.WriteString(kMeta, "Author", view_.author());
    settings_.WriteString(kMeta, "Clip", view_.title());
    settings_.WriteString(kMeta, "Path", view_.sourcePath());
    for (int mode = kPreview; mode <= kDeluxe; ++mode) settings_.WriteBool(kFlags, kFlagKeys[mode], ticked[mode]);
  }

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

  QStringList modeNames;
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    if (ticked[mode]) modeNames << records_[mode].modeName;
  }
  report_.JobStarted(sourcePath_, modeNames);
  claims_.BeginJob(report_.jobName().toStdString());
  if (!setup_.folderProblem.empty()) {
    // No probe can run without its folder: the box is the probe's, its
    // details name the folder and why it is not used.
    const QString problem = texts_.folderRefused + QString::fromStdString(setup_.folderProblem);
    RefuseJob(problem);
    ShowError(kFileNotFound, texts_.offsetMain, problem);
    return;
  }
  // Every name is the job's before any tool runs, so that no other program
  // can take one meanwhile, and a folder that takes no file ends the job
  // before an hour of encoding is lost at its end.
  std::string outputs[4];
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    if (!ticked[mode]) continue;
    std::string reason;
    outputs[mode] = claims_.Claim(sourcePath_, ModeSuffix(mode), &reason);
    if (outputs[mode].empty()) {
      RefuseJob(QString::fromStdString(reason));
      ShowError(texts_.outputsRefused + QString::fromStdString(reason), texts_.offsetMain,
                QString::fromStdString(reason));
      return;
    }
  }

  try {
    StartTmpRaw();
  } catch (const std::exception& error) {
    // No job starts: the probe script it wrote goes with it.
    ::unlink(setup_.paths.script.c_str());
    // A probe ended on purpose is the stop's to tell.
    if (abortRequested_) {
      claims_.EndJob();
      return;
    }
    const auto* probeError = dynamic_cast<const ProbeError*>(&error);
    const QString details = probeError != nullptr ? QString::fromStdString(probeError->details()) : QString();
    RefuseJob(details.isEmpty() ? QString::fromStdString(error.what()) : details);
    ShowError(QString::fromStdString(error.what()), texts_.offsetMain, details);
    return;
  }
  if (!FileExists(sourcePath_)) {
    ::unlink(setup_.paths.script.c_str());
    RefuseJob(texts_.batchMissing);
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
  for (int mode = kPreview; mode <= kDeluxe; ++mode) {
    if (ticked[mode]) records_[mode].outName = outputs[mode];
  }
  ModeSelector();
}

void JobDriver::RefuseJob(const QString& reason) {
  if (failureLine_.isEmpty()) failureLine_ = reason.section('\n', 0, 0);
  report_.JobNotStarted(reason);
  claims_.EndJob();
}

bool JobDriver::KeepOutputName(std::string& outputPath) {
  if (claims_.Owns(outputPath)) return true;
  // Someone put a file of their own under the name: it stays theirs, and
  // the output goes to the next free name.
  claims_.Release(outputPath);
  std::string reason;
  outputPath = claims_.Claim(sourcePath_, records_[currentMode_].suffix, &reason);
  if (!outputPath.empty()) return true;
  FailCurrentMode({}, reason);
  EndCurrentMode();
  return false;
}

void JobDriver::StartTmpRaw() {
  const ToolPaths& paths = setup_.paths;
  const std::string kind = SourceKind(sourcePath_);
  if (kind == "wav") {
    WriteLines(paths.script, WavScript(sourcePath_));
    return;
  }

  // Findings of an earlier probe must never be taken for this one's.
  const std::vector<std::string> probeFiles = ProbeFiles(paths);
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
  const proc::ToolOutcome probe = proc::ExecRaw(ProbeCommand(paths), &abortRequested_);

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
    return ProbeError(kFileNotFound, details.toStdString());
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
    // The sound encoder writes straight into the mode's claimed output.
    audioStreamPath_.clear();
    for (int mode = kPreview; mode <= kDeluxe; ++mode) {
      if (records_[mode].passesLeft > 0) {
        audioStreamPath_ = records_[mode].outName;
        break;
      }
    }
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
  claims_.EndJob();
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
  // The sound of a WAV source is its output, never a temporary file.
  DeleteTempFiles(setup_.paths, setup_.paths.audioStream);
}

void JobDriver::RecordOutputs() {
  if (!setup_.remembersJob) return;
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
  ModeRecord& record = records_[currentMode_];
  if (IsWav()) {
    if (!KeepOutputName(record.outName)) {
      ModeSelector();
      RecordOutputs();
      return;
    }
    audioStreamPath_ = record.outName;
  }
  stageText_ = texts_.audio + record.modeName;
  view_.setStatus(stageText_ + "...");
  view_.setBarValue(0);
  view_.processPendingEvents();
  WriteLines(setup_.paths.audioBatch, {AudioCommandLine(setup_.paths, record.aacOpts, audioStreamPath_)});
  AddToDebugLog(setup_.paths.audioBatch);
  auto thread = std::make_unique<proc::TAud>(this, abortRequested_, setup_.paths.audioBatch);
  if (IsWav()) thread->watchOutput(audioStreamPath_);
  StartThread(std::move(thread), RunningStage::Audio);
}

void JobDriver::StartMuxer() {
  ModeRecord& record = records_[currentMode_];
  if (!KeepOutputName(record.outName)) {
    DelTemp();
    ModeSelector();
    RecordOutputs();
    return;
  }
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
  auto thread = std::make_unique<proc::TMux>(this, abortRequested_, commands.video, commands.full, commands.tags);
  thread->watchOutput(record.outName);
  StartThread(std::move(thread), RunningStage::Mux);
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
  for (const platform::FileId& written : thread_->writtenOutputs()) claims_.Adopt(thread_->watchedOutput(), written);
  std::vector<proc::ToolOutcome> outcomes = thread_->outcomes();
  thread_.reset();
  return outcomes;
}

void JobDriver::FailCurrentMode(const std::vector<proc::ToolOutcome>& outcomes, const std::string& missingOutput) {
  failed_[currentMode_] = true;
  // The claimed name goes with whatever this job's tools left under it.
  claims_.Release(records_[currentMode_].outName);
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
        // The sound is the output here, and what a failed encoder wrote of
        // it is none.
        FailCurrentMode(outcomes, toolFailed ? std::string() : audioStreamPath_);
      } else {
        claims_.Complete(audioStreamPath_);
        report_.ModeDone(modeName, audioStreamPath_);
        view_.outputMade(currentMode_, audioStreamPath_);
      }
      EndCurrentMode();
      ModeSelector();
      RecordOutputs();
      return;
    case RunningStage::Mux: {
      const std::string output = records_[currentMode_].outName;
      if (!NonEmptyFile(output)) {
        // An empty file (the disk was full, say) is no output either.
        FailCurrentMode(outcomes, output);
      } else if (!MuxJoinedAll(outcomes, FileExists(muxAudioPath_), setup_.debugMode)) {
        // A file without its sound or its tags is no output of the mode.
        FailCurrentMode(outcomes);
      } else {
        claims_.Complete(output);
        report_.ModeDone(modeName, output);
        view_.outputMade(currentMode_, output);
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
  Abort();
}

void JobDriver::StopBySignal() {
  report_.JobStopped();
  Abort();
}

void JobDriver::Abort() {
  abortRequested_ = true;
  if (thread_) FinishThread();
  // What the job claimed and did not finish goes, a half-muxed output too;
  // a file that someone else put under one of its names stays.
  claims_.EndJob();
  DelTemp();
}

}  // namespace job
