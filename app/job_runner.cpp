#include "app/job_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

#include "desktop/after_job.h"
#include "desktop/message_box.h"
#include "desktop/taskbar.h"
#include "desktop/ui_texts.h"
#include "desktop/version.h"
#include "job/job_driver.h"
#include "job/mode_record.h"
#include "intake/source_selection.h"
#include "job/names.h"
#include "job/ownership.h"
#include "job/progress_estimate.h"
#include "job/source_outcome.h"
#include "settings/settings_file.h"

namespace app {

namespace {

// The modes by the names the command line and the progress lines use.
const char* const kModeWords[] = {nullptr, "preview", "standard", "deluxe"};

// The tools run in the private folder and the scripts name every file there:
// a path relative to where the runner started would name nothing.
QString Absolute(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

bool ParseInteger(const QString& text, int* value) {
  bool ok = false;
  *value = text.toInt(&ok);
  return ok;
}

void PrintLine(std::FILE* stream, const QString& line) {
  std::fputs(("kelvarion: " + line + "\n").toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

// What the driver needs of a window, for one source after another.
class RunnerView : public job::JobView {
 public:
  explicit RunnerView(const RunnerOptions& options) : options_(options) {}

  void setDriver(job::JobDriver* driver) { driver_ = driver; }
  void setSource(const QString& source) {
    source_ = source;
    missing_ = false;
    finished_ = false;
    lastLine_.clear();
    reason_.Clear();
  }
  bool missing() const { return missing_; }
  bool finished() const { return finished_; }
  void setLoop(QEventLoop* loop) { loop_ = loop; }
  job::FailureReason& reason() { return reason_; }

  QWidget* window() override { return &window_; }
  QString sourcePath() const override { return source_; }
  void clearSource() override { missing_ = true; }
  bool modeTicked(int mode) const override { return options_.modes[mode]; }
  QString author() const override { return options_.author; }
  QString title() const override { return options_.title; }
  int afterJobIndex() const override { return 0; }

  void setStatus(const QString&) override {}
  int barValue() const override { return bar_; }
  void setBarValue(int value) override {
    if (value < 0 || value > 100) return;
    bar_ = value;
    PrintProgress();
  }
  void repaintBar() override {}
  void processPendingEvents() override {}
  void setTitles(const QString&, const QString&) override {}
  void setStartCaption(const QString&) override {}
  void disableControls() override {}
  void enableControls() override {
    finished_ = true;
    if (loop_ != nullptr) loop_->quit();
  }
  void requestClose() override {}

  void chooseFrameRate(job::Sequence& sequence) override {
    sequence.fps = options_.fps.toStdString();
    if (options_.first) sequence.first = *options_.first;
    if (options_.last) sequence.last = *options_.last;
    sequence.wavPath = options_.wavPath.toStdString();
  }
  QString attachedWavPath() const override { return options_.wavPath; }

 private:
  // "clip.avi preview pass 1/2 45% (source 22%, 1:05 left)": the stage's
  // figure, then the whole source's, and its time left when the encoder
  // gives an estimate. A new stage starts at 0 before it is running, so a 0
  // belongs to no stage and is left out.
  void PrintProgress() {
    if (driver_ == nullptr || bar_ == 0) return;
    const int mode = driver_->currentMode();
    const std::string source = source_.toStdString();
    QString stage;
    switch (driver_->runningStage()) {
      case job::RunningStage::Video: {
        if (job::IsWavSource(source)) return;  // a sound source has no video stage to speak of
        const job::ModeRecord& record = driver_->records()[mode];
        stage = job::IsTwoPass(record, mode) ? QString("pass %1/2").arg(2 - record.passesLeft) : QString("video");
        break;
      }
      case job::RunningStage::Audio: stage = "audio"; break;
      case job::RunningStage::Mux: stage = "mux"; break;
      case job::RunningStage::None: return;
    }
    const job::SourceProgress whole = driver_->sourceProgress();
    QString line = QString("%1 %2 %3 %4% (source %5%")
                       .arg(QString::fromStdString(job::FileNamePart(source)), kModeWords[mode], stage)
                       .arg(bar_)
                       .arg(whole.percent);
    if (whole.secondsLeft >= 0) line += ", " + job::FormatDuration(whole.secondsLeft) + " left";
    line += ")";
    if (line == lastLine_) return;
    lastLine_ = line;
    PrintLine(stdout, line);
  }

  const RunnerOptions& options_;
  job::JobDriver* driver_ = nullptr;
  QWidget window_;
  QString source_;
  bool missing_ = false;
  bool finished_ = false;
  int bar_ = 0;
  QString lastLine_;
  job::FailureReason reason_;
  QEventLoop* loop_ = nullptr;
};

// Why a source is refused before its job starts; empty when it is not.
QString SourceRefusal(const QString& source) {
  const QFileInfo file(source);
  if (!file.exists()) return "the source does not exist";
  if (!file.isFile()) return "the source is not a file";
  if (!intake::IsAcceptedSource(source.toStdString())) {
    return "Unsupported format: a source is an AVI file, an AviSynth (.avs) or VapourSynth (.vpy) script, "
           "a WAV file, or a picture of a PNG or JPEG sequence";
  }
  return {};
}

// The signal that stops the runner, once one has come; the handler only
// notes it, asks the driver to end its tool at once and wakes the event loop.
volatile sig_atomic_t g_stopSignal = 0;
job::JobDriver* g_driver = nullptr;
int g_wakeFd = -1;

void OnStopSignal(int signal) {
  if (g_stopSignal == 0) g_stopSignal = signal;
  if (g_driver != nullptr) g_driver->RequestAbort();
  const char byte = 0;
  [[maybe_unused]] const ssize_t written = ::write(g_wakeFd, &byte, 1);
}

// Ctrl-C, kill, scancel and parallel --halt stop the runner cleanly instead
// of ending it where it stands.
class StopSignals {
 public:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

  StopSignals() {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    g_wakeFd = pipe_[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
  }
  ~StopSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
    g_wakeFd = -1;
    for (const int fd : pipe_) {
      if (fd >= 0) ::close(fd);
    }
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  int wakeFd() const { return pipe_[0]; }
  static int received() { return g_stopSignal; }

 private:
  int pipe_[2] = {-1, -1};
};

}  // namespace

QString RunnerUsage() {
  return "usage: kelvarion --job SOURCE... [--modes preview,standard,deluxe] [--author TEXT] [--title TEXT]\n"
         "                 [--fps RATE [--first N] [--last N] [--wav FILE]] [--settings FILE]";
}

std::optional<RunnerOptions> ParseRunnerArguments(const QStringList& arguments, QString* error) {
  RunnerOptions options;
  const auto fail = [&](const QString& reason) {
    *error = reason;
    return std::nullopt;
  };
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (!argument.startsWith("--")) {
      options.sources << Absolute(argument);
      continue;
    }
    if (i + 1 >= arguments.size()) return fail(argument + " needs a value");
    const QString value = arguments[++i];
    if (argument == "--modes") {
      for (bool& ticked : options.modes) ticked = false;
      for (const QString& word : value.split(',')) {
        int mode = 0;
        for (int m = job::kPreview; m <= job::kDeluxe; ++m) {
          if (word.trimmed().compare(kModeWords[m], Qt::CaseInsensitive) == 0) mode = m;
        }
        if (mode == 0) return fail("unknown mode: " + word);
        options.modes[mode] = true;
      }
    } else if (argument == "--author") {
      options.author = value;
    } else if (argument == "--title") {
      options.title = value;
    } else if (argument == "--fps") {
      options.fps = value;
    } else if (argument == "--first" || argument == "--last") {
      int number = 0;
      if (!ParseInteger(value, &number) || number < 0) return fail(argument + " needs a frame number");
      (argument == "--first" ? options.first : options.last) = number;
    } else if (argument == "--wav") {
      options.wavPath = Absolute(value);
    } else if (argument == "--settings") {
      options.settingsFile = value;
    } else {
      return fail("unknown option: " + argument);
    }
  }
  if (options.sources.isEmpty()) return fail("no source given");
  if ((options.first || options.last || !options.wavPath.isEmpty()) && options.fps.isEmpty()) {
    return fail("--first, --last and --wav belong to an image sequence and need --fps");
  }
  if (options.fps.isEmpty()) {
    for (const QString& source : options.sources) {
      const std::string kind = job::SourceKind(source.toStdString());
      if (kind == "png" || kind == "jpg") return fail(source + " is an image sequence and needs --fps");
    }
  }
  if (options.first && options.last && *options.first > *options.last) return fail("--first is after --last");
  return options;
}

int RunJobs(const RunnerOptions& options, job::ToolPaths paths, bool system64Bit) {
  StopSignals stopSignals;
  const desktop::UiTexts& texts = desktop::TextsFor(false);
  // What runners and windows of this user left when they died goes first.
  for (const std::string& job : job::ClearDeadJobFolders(paths.tempDir)) {
    job::JobReport::JobInterrupted(texts, paths.jobLog, QString::fromStdString(job));
  }
  std::string problem;
  job::JobFolder folder = job::JobFolder::MakeForRunner(&problem);
  if (!folder.held()) {
    PrintLine(stderr, "cannot make a temporary folder: " + QString::fromStdString(problem));
    return kRunnerSomeFailed;
  }
  paths.PlaceTemp(folder.path());

  const QString version = desktop::GetVer();
  RunnerView view(options);
  // The driver's boxes become the failure's reason.
  job::DriverSetup setup{paths,
                         system64Bit ? paths.videoEncoder64 : paths.videoEncoder32,
                         false,
                         version,
                         "Kelvarion " + desktop::Version3(version),
                         {},
                         false,
                         [&view](const desktop::MessageRequest& request) { view.reason().Take(request); }};
  settings::SettingsFile settingsFile(
      options.settingsFile.isEmpty() ? paths.settingsFile : options.settingsFile.toStdString(), true);
  desktop::TaskbarProgress taskbar;  // never joined to the desktop: a runner has no launcher entry
  // A runner never powers off, sleeps or plays a sound: the after-job action
  // belongs to the window.
  desktop::NoAfterJobActions afterJob;
  job::JobDriver driver(view, setup, texts, settingsFile, taskbar, afterJob);
  view.setDriver(&driver);

  g_driver = &driver;
  QSocketNotifier stopNotifier(stopSignals.wakeFd(), QSocketNotifier::Read);
  QEventLoop* running = nullptr;
  QObject::connect(&stopNotifier, &QSocketNotifier::activated, [&] {
    if (running != nullptr) running->quit();
  });

  bool allDone = true;
  const auto reportFailure = [&](const QString& source, const std::vector<int>& modes, const QString& reason) {
    allDone = false;
    QStringList failedModes;
    for (const int mode : modes) failedModes << kModeWords[mode];
    PrintLine(stderr, source + " failed: " + failedModes.join(", "));
    for (const QString& line : reason.split('\n', Qt::SkipEmptyParts)) PrintLine(stderr, "  " + line);
  };
  for (const QString& source : options.sources) {
    if (StopSignals::received() != 0) break;
    if (const QString refusal = SourceRefusal(source); !refusal.isEmpty()) {
      std::vector<int> ticked;
      for (int mode = job::kPreview; mode <= job::kDeluxe; ++mode) {
        if (options.modes[mode]) ticked.push_back(mode);
      }
      reportFailure(source, ticked, refusal);
      continue;
    }
    view.setSource(source);
    QEventLoop loop;
    view.setLoop(&loop);
    running = &loop;
    driver.StartBtnClick();
    const bool started = driver.state() == job::JobState::Running || view.finished();
    if (started && !view.finished() && StopSignals::received() == 0) loop.exec();
    running = nullptr;
    view.setLoop(nullptr);
    if (StopSignals::received() != 0) break;

    const job::SourceOutcome outcome = job::FinishSource(driver, options.modes, started);
    if (outcome.allDone()) continue;
    QString reason = view.reason().text();
    if (reason.isEmpty() && view.missing()) reason = "the source does not exist";
    reportFailure(source, outcome.failedModes, reason);
  }

  const int stopSignal = StopSignals::received();
  if (stopSignal != 0) {
    // The running tool ends, the names the job claimed and its half-made
    // outputs go, and the log says the job was stopped.
    driver.StopBySignal();
    PrintLine(stderr, QString("stopped by signal %1").arg(stopSignal));
  }
  g_driver = nullptr;
  folder.Release();
  if (stopSignal != 0) return 128 + stopSignal;
  return allDone ? kRunnerAllDone : kRunnerSomeFailed;
}

int RunJobCommand(const QStringList& arguments, const job::ToolPaths& paths, bool system64Bit) {
  QString error;
  std::optional<RunnerOptions> options = ParseRunnerArguments(arguments, &error);
  // A settings file that is not there would silently give the defaults.
  if (options && !options->settingsFile.isEmpty() && !QFileInfo(options->settingsFile).isFile()) {
    error = "--settings names no file: " + options->settingsFile;
    options.reset();
  }
  if (!options) {
    PrintLine(stderr, error);
    std::fputs((RunnerUsage() + "\n").toLocal8Bit().constData(), stderr);
    return kRunnerUsage;
  }
  return RunJobs(*options, paths, system64Bit);
}

}  // namespace app
