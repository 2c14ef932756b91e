#include "app/batch_window.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>

#include "app/main_window.h"
#include "desktop/after_job.h"
#include "desktop/drops.h"
#include "desktop/message_box.h"
#include "desktop/open_dialog.h"
#include "desktop/taskbar.h"
#include "desktop/ui_texts.h"
#include "desktop/window_placement.h"
#include "intake/source_selection.h"
#include "job/job_driver.h"
#include "job/mode_record.h"
#include "job/names.h"
#include "job/scripts.h"

namespace app {

namespace {

QString FileName(const std::string& path) { return QString::fromStdString(job::FileNamePart(path)); }

bool IsSequence(const std::string& path) {
  const std::string kind = job::SourceKind(path);
  return kind == "png" || kind == "jpg";
}

}  // namespace

// What the driver needs of a window, for the batch's sources: the source,
// its chooser answers and its end come from the batch; what the driver
// shows goes to the main window, whose modes, author and title it reads.
class BatchView : public job::JobView {
 public:
  BatchView(BatchWindow& batch, MainWindow& main) : batch_(batch), main_(main) {}

  // The row to run with the modes ticked for the batch: a mode whose output
  // an earlier, interrupted run of the row finished is not made again.
  void setRow(const job::BatchRow& row, const bool ticked[4]) {
    row_ = row;
    missing_ = false;
    finished_ = false;
    for (int mode = job::kPreview; mode <= job::kDeluxe; ++mode) {
      runs_[mode] = ticked[mode] && !job::HasFinishedOutput(row, job::ModeSuffix(mode));
    }
  }
  const bool* runs() const { return runs_; }
  bool runsAnyMode() const { return runs_[job::kPreview] || runs_[job::kStandard] || runs_[job::kDeluxe]; }
  bool missing() const { return missing_; }
  bool finished() const { return finished_; }

  QWidget* window() override { return &main_; }
  QString sourcePath() const override { return QString::fromStdString(row_.source); }
  void clearSource() override { missing_ = true; }
  bool modeTicked(int mode) const override { return runs_[mode]; }
  QString author() const override { return main_.author(); }
  QString title() const override { return main_.title(); }
  // The batch takes its one action after the last source itself.
  int afterJobIndex() const override { return 0; }

  void setStatus(const QString& text) override {
    main_.setStatus(text);
    batch_.stage(text);
  }
  int barValue() const override { return main_.barValue(); }
  void setBarValue(int value) override {
    main_.setBarValue(value);
    if (value >= 0 && value <= 100) batch_.progress(value);
  }
  void repaintBar() override { main_.repaintBar(); }
  void processPendingEvents() override { main_.processPendingEvents(); }
  void setTitles(const QString& applicationTitle, const QString& caption) override {
    main_.setTitles(applicationTitle, caption);
  }
  // The main window's button halts the whole batch until its end.
  void setStartCaption(const QString&) override {}
  void disableControls() override { main_.disableControls(); }
  void enableControls() override {
    finished_ = true;
    // The driver is still inside its end of the job; the next source starts
    // once it has returned.
    QTimer::singleShot(0, &batch_, [this] { batch_.sourceEnded(true); });
  }
  void requestClose() override { main_.requestClose(); }

  void chooseFrameRate(job::Sequence& sequence) override {
    sequence.fps = row_.fps;
    sequence.first = row_.first;
    sequence.last = row_.last;
    sequence.wavPath = row_.wavPath;
  }
  QString attachedWavPath() const override { return QString::fromStdString(row_.wavPath); }
  void outputMade(int, const std::string& path) override { batch_.outputMade(path); }

 private:
  BatchWindow& batch_;
  MainWindow& main_;
  job::BatchRow row_;
  bool runs_[4] = {false, false, false, false};
  bool missing_ = false;
  bool finished_ = false;
};

QString BatchRowText(const job::BatchRow& row, const desktop::UiTexts& texts, int percent, const QString& stage) {
  QString text = FileName(row.source) + "  —  ";
  switch (row.state) {
    case job::BatchState::Waiting: return text + texts.batchWaiting;
    case job::BatchState::Interrupted: return text + texts.batchInterrupted;
    case job::BatchState::Running: {
      text += texts.batchRunning + " " + QString::number(percent) + "%";
      return stage.isEmpty() ? text : text + ", " + stage;
    }
    case job::BatchState::Done: {
      QStringList names;
      for (const std::string& output : row.outputs) names << FileName(output);
      return text + texts.batchDone + ": " + names.join(", ");
    }
    case job::BatchState::Failed: {
      QStringList modes;
      for (const int mode : row.failedModes) {
        if (mode >= job::kPreview && mode <= job::kDeluxe) modes << texts.modeNames[mode - 1];
      }
      text += texts.batchFailed + ": " + modes.join(", ");
      const QString reason = QString::fromStdString(row.reason).section('\n', 0, 0, QString::SectionSkipEmpty);
      return reason.isEmpty() ? text : text + " (" + reason + ")";
    }
  }
  return text;
}

BatchWindow::BatchWindow(MainWindow& main, std::string listPath)
    : QWidget(&main), main_(main), texts_(main.texts()), list_(std::move(listPath)) {
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setAcceptDrops(true);
  build();
  list_.Load();
  refresh();
}

BatchWindow::~BatchWindow() = default;

void BatchWindow::build() {
  setWindowTitle(texts_.batchCaption);
  resize(560, 300);
  setMinimumSize(420, 200);
  rows_ = new QListWidget(this);
  rows_->setObjectName("rows");
  rows_->setSelectionMode(QAbstractItemView::SingleSelection);
  rows_->setAcceptDrops(false);
  rows_->setGeometry(8, 8, width() - 112, height() - 16);

  const auto button = [this](const char* name, const QString& text, int top) {
    auto* created = new QPushButton(text, this);
    created->setObjectName(name);
    created->setGeometry(width() - 96, top, 88, 25);
    return created;
  };
  add_ = button("add", texts_.batchAdd, 8);
  remove_ = button("remove", texts_.batchRemove, 41);
  up_ = button("up", texts_.batchUp, 82);
  down_ = button("down", texts_.batchDown, 115);
  start_ = button("start", texts_.start, height() - 33);
  start_->setDefault(true);
  // Shown while the list cannot be written to its file.
  saveProblem_ = new QLabel(this);
  saveProblem_->setObjectName("saveProblem");
  saveProblem_->setWordWrap(true);
  saveProblem_->setGeometry(8, height() - 36, width() - 112, 28);
  saveProblem_->hide();

  openDialog_ = desktop::MakeOpenDialog(this, {});
  openDialog_->setNameFilters(texts_.openFilter);

  connect(add_, &QPushButton::clicked, this, [this] { addSources(askForSources()); });
  connect(remove_, &QPushButton::clicked, this, [this] { removeSelected(); });
  connect(up_, &QPushButton::clicked, this, [this] { moveSelected(-1); });
  connect(down_, &QPushButton::clicked, this, [this] { moveSelected(+1); });
  connect(start_, &QPushButton::clicked, this, [this] { start(); });
  connect(rows_, &QListWidget::currentRowChanged, this, [this] { updateButtons(); });
}

void BatchWindow::showCentredOn(QWidget* mainWindow) {
  desktop::CentreOn(this, mainWindow);
  show();
  raise();
  activateWindow();
}

QStringList BatchWindow::askForSources() { return desktop::AskForFiles(openDialog_); }

void BatchWindow::askFrameRate(job::Sequence& sequence) { main_.chooseFrameRate(sequence); }

int BatchWindow::addSources(const QStringList& paths) {
  int added = 0;
  bool refused = false;
  for (const QString& path : paths) {
    const std::string source = path.toStdString();
    if (!job::FileExists(source) || !intake::IsAcceptedSource(source)) {
      refused = true;
      continue;
    }
    job::BatchRow row;
    row.source = source;
    if (IsSequence(source)) {
      // The frame range found now, as a single job finds it at its start.
      const job::SequenceScan scan = job::ScanSequence(source);
      job::Sequence sequence;
      sequence.first = scan.names.empty() ? 0 : job::FrameNumberOf(scan.names.front(), scan.prefix);
      sequence.last = scan.names.empty() ? 0 : job::FrameNumberOf(scan.names.back(), scan.prefix);
      askFrameRate(sequence);
      row.fps = sequence.fps;
      row.first = sequence.first;
      row.last = sequence.last;
      row.wavPath = sequence.wavPath;
    }
    list_.Add(row);
    ++added;
    if (running()) ++total_;
  }
  refresh();
  if (refused) {
    desktop::ShowMessage(this, {QMessageBox::Critical, texts_.unsupported, frameGeometry().topLeft() + QPoint(40, 80),
                                false});
  }
  return added;
}

void BatchWindow::removeSelected() {
  const int index = rows_->currentRow();
  if (index < 0 || index == current_) return;
  list_.Remove(index);
  if (current_ > index) --current_;
  refresh();
  rows_->setCurrentRow(std::min(index, list_.size() - 1));
}

void BatchWindow::moveSelected(int step) {
  const int index = rows_->currentRow();
  const int other = index + step;
  if (index < 0 || other < 0 || other >= list_.size()) return;
  // The running row keeps its place while it runs.
  if (running() && (index == current_ || other == current_)) return;
  if (step < 0 ? !list_.MoveUp(index) : !list_.MoveDown(index)) return;
  refresh();
  rows_->setCurrentRow(other);
}

void BatchWindow::refresh() {
  const int selected = rows_->currentRow();
  rows_->clear();
  for (int i = 0; i < list_.size(); ++i) {
    auto* item = new QListWidgetItem(rows_);
    item->setToolTip(QString::fromStdString(list_.row(i).source));
    rows_->addItem(item);
    refreshRow(i);
  }
  if (selected >= 0 && selected < list_.size()) rows_->setCurrentRow(selected);
  updateButtons();
  showSaveState();
}

void BatchWindow::showSaveState() {
  saveProblem_->setText(texts_.batchNotSaved + QString::fromStdString(list_.path()));
  saveProblem_->setVisible(!list_.saved());
  rows_->setGeometry(8, 8, width() - 112, height() - (list_.saved() ? 16 : 52));
}

void BatchWindow::refreshRow(int index) {
  if (index < 0 || index >= rows_->count()) return;
  const job::BatchRow& row = list_.row(index);
  rows_->item(index)->setText(BatchRowText(row, texts_, percent_, stage_));
  if (row.state == job::BatchState::Failed) {
    rows_->item(index)->setToolTip(QString::fromStdString(row.source + "\n" + row.reason));
  }
}

void BatchWindow::updateButtons() {
  const int index = rows_->currentRow();
  const bool selected = index >= 0 && index < list_.size();
  remove_->setEnabled(selected && index != current_);
  up_->setEnabled(selected && index > 0);
  down_->setEnabled(selected && index + 1 < list_.size());
  start_->setEnabled(!running() && list_.NextToRun() >= 0);
}

void BatchWindow::start() {
  if (running() || main_.driver().state() != job::JobState::Idle || list_.NextToRun() < 0) return;
  // A list that cannot be kept would be lost to a crash halfway, and its
  // rows run again from the start: it runs only once it is written.
  if (!list_.saved() && !list_.Save()) {
    showSaveState();
    return;
  }
  bool any = false;
  for (int mode = job::kPreview; mode <= job::kDeluxe; ++mode) {
    ticked_[mode] = main_.modeTicked(mode);
    any = any || ticked_[mode];
  }
  if (!any) {
    desktop::ShowMessage(&main_, {QMessageBox::Critical, texts_.selectMode,
                                  main_.frameGeometry().topLeft() + QPoint(texts_.offsetMain, 130), false});
    return;
  }
  view_ = std::make_unique<BatchView>(*this, main_);
  driverTaskbar_ = std::make_unique<desktop::TaskbarProgress>();
  noActions_ = std::make_unique<desktop::NoAfterJobActions>();
  // The batch leaves the main window's remembered source, tags and outputs.
  job::DriverSetup setup{main_.paths(),       main_.videoEncoderPath(), main_.debugMode(), main_.version(),
                         main_.baseCaption(), main_.folderProblem(),    false,
                         [this](const desktop::MessageRequest& request) { reason_.Take(request); }};
  // The driver reads the mode settings of this moment from the settings file.
  driver_ = std::make_unique<job::JobDriver>(*view_, setup, texts_, main_.settingsFile(), *driverTaskbar_,
                                             *noActions_);
  total_ = list_.PendingCount();
  finished_ = 0;
  failedSources_.clear();
  main_.disableControls();
  updateButtons();
  runNext();
}

void BatchWindow::runNext() {
  const int index = list_.NextToRun();
  if (!running()) return;
  if (index < 0) {
    endBatch();
    return;
  }
  current_ = index;
  percent_ = 0;
  stage_.clear();
  reason_.Clear();
  list_.MarkRunning(index);
  view_->setRow(list_.row(index), ticked_);
  refresh();
  // Every mode was finished by a run that a crash cut short before the
  // row could be marked.
  if (!view_->runsAnyMode()) {
    sourceEnded(true);
    return;
  }
  driver_->StartBtnClick();
  // A source that never started (missing, or its probe failed) ends here.
  if (driver_->state() != job::JobState::Running && !view_->finished()) sourceEnded(false);
}

void BatchWindow::outputMade(const std::string& path) {
  if (current_ >= 0) list_.AddOutput(current_, path);
  showSaveState();
}

void BatchWindow::sourceEnded(bool started) {
  if (!running() || current_ < 0) return;
  const job::SourceOutcome outcome = job::FinishSource(*driver_, view_->runs(), started);
  if (outcome.allDone()) {
    list_.MarkDone(current_);
  } else {
    QString reason = reason_.text();
    if (reason.isEmpty() && view_->missing()) reason = texts_.batchMissing;
    list_.MarkFailed(current_, outcome.failedModes, reason.toStdString());
    failedSources_ << FileName(list_.row(current_).source);
  }
  ++finished_;
  refreshRow(current_);
  showSaveState();
  current_ = -1;
  main_.taskbar().SetValue(static_cast<uint64_t>(finished_) * 100, static_cast<uint64_t>(std::max(total_, 1)) * 100);
  QTimer::singleShot(0, this, [this] { runNext(); });
}

void BatchWindow::progress(int percent) {
  percent_ = percent;
  refreshRow(current_);
  if (total_ > 0 && current_ >= 0) {
    main_.taskbar().SetValue(static_cast<uint64_t>(finished_) * 100 + static_cast<uint64_t>(percent),
                             static_cast<uint64_t>(total_) * 100);
  }
}

void BatchWindow::stage(const QString& text) {
  stage_ = text;
  if (stage_.endsWith("...")) stage_.chop(3);
  if (text == texts_.standby) stage_.clear();
  refreshRow(current_);
}

void BatchWindow::endBatch() {
  driver_.reset();
  view_.reset();
  current_ = -1;
  main_.enableControls();
  main_.setStartCaption(texts_.start);
  refresh();
  // One after-job action for the whole batch, after its last source.
  main_.taskbar().SetState(desktop::TaskbarState::Indeterminate);
  main_.afterJobActions().Perform(main_.afterJobIndex(), QString::fromStdString(main_.paths().sound));
  main_.taskbar().SetState(desktop::TaskbarState::None);
  const QPoint origin = main_.frameGeometry().topLeft() + QPoint(texts_.offsetMain + 40, 170);
  if (failedSources_.isEmpty()) {
    desktop::ShowMessage(&main_, {QMessageBox::NoIcon, texts_.allDone, origin, false});
  } else {
    desktop::ShowMessage(&main_, {QMessageBox::Critical, texts_.batchSourcesFailed + failedSources_.join(", "),
                                  origin, false});
  }
}

void BatchWindow::stopCleanly() {
  if (!running()) return;
  driver_->AbortAndClean();
  if (current_ >= 0) list_.MarkStopped(current_);
  driver_.reset();
  view_.reset();
  current_ = -1;
  refresh();
}

void BatchWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void BatchWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void BatchWindow::dropEvent(QDropEvent* event) {
  addSources(desktop::DroppedFiles(event->mimeData()));
  event->acceptProposedAction();
}

}  // namespace app
