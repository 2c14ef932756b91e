#include "app/batch_window.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>
#include <QVBoxLayout>
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
#include "desktop/version.h"
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

QStringList BatchRowColumns(const job::BatchRow& row, const desktop::UiTexts& texts, const RunningSource& running) {
  const QString source = FileName(row.source);
  QStringList outputs;
  for (const std::string& output : row.outputs) outputs << FileName(output);
  switch (row.state) {
    case job::BatchState::Waiting: return {source, texts.batchWaiting, {}};
    // What an interrupted run finished stays, and the row makes only the rest.
    case job::BatchState::Interrupted: return {source, texts.batchInterrupted, outputs.join(", ")};
    case job::BatchState::Running: {
      QString state = texts.batchRunning + " " + QString::number(running.whole.percent) + "%";
      if (running.whole.secondsLeft >= 0) {
        state += ", " + job::FormatDuration(running.whole.secondsLeft) + texts.batchLeft;
      }
      if (!running.stage.isEmpty()) state += "; " + running.stage + " " + QString::number(running.percent) + "%";
      return {source, state, {}};
    }
    case job::BatchState::Done: return {source, texts.batchDone, outputs.join(", ")};
    case job::BatchState::Failed: {
      QStringList modes;
      for (const int mode : row.failedModes) {
        if (mode >= job::kPreview && mode <= job::kDeluxe) modes << texts.modeNames[mode - 1];
      }
      const QString reason = QString::fromStdString(row.reason).section('\n', 0, 0, QString::SectionSkipEmpty);
      return {source, texts.batchFailed + ": " + modes.join(", "), reason};
    }
  }
  return {source, {}, {}};
}

QString BatchProgressText(const desktop::UiTexts& texts, int finished, int total, int percent, int secondsLeft) {
  QString text = texts.batchProgress.arg(finished).arg(total).arg(percent);
  if (secondsLeft >= 0) text += ", " + job::FormatDuration(secondsLeft) + texts.batchLeft;
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
  resize(640, 320);
  setMinimumSize(480, 220);
  rows_ = new QTreeWidget(this);
  rows_->setObjectName("rows");
  rows_->setColumnCount(3);
  rows_->setHeaderLabels({texts_.batchSourceColumn, texts_.batchStateColumn, texts_.batchResultColumn});
  rows_->setRootIsDecorated(false);
  rows_->setSelectionMode(QAbstractItemView::SingleSelection);
  rows_->setAcceptDrops(false);
  // Every column fits the width, long names cut in their middle, so that
  // the state never needs sideways scrolling.
  rows_->setTextElideMode(Qt::ElideMiddle);
  rows_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QHeaderView* header = rows_->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(kSourceColumn, QHeaderView::Stretch);
  header->setSectionResizeMode(kStateColumn, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(kResultColumn, QHeaderView::Stretch);

  const auto button = [this](const char* name, const QString& text) {
    auto* created = new QPushButton(text, this);
    created->setObjectName(name);
    return created;
  };
  add_ = button("add", texts_.batchAdd);
  remove_ = button("remove", texts_.batchRemove);
  up_ = button("up", texts_.batchUp);
  down_ = button("down", texts_.batchDown);
  start_ = button("start", texts_.start);
  start_->setDefault(true);
  // Shown while the list cannot be written to its file.
  saveProblem_ = new QLabel(this);
  saveProblem_->setObjectName("saveProblem");
  saveProblem_->setWordWrap(true);
  saveProblem_->hide();

  overall_ = new QProgressBar(this);
  overall_->setObjectName("overall");
  overall_->setRange(0, 100);
  overall_->setTextVisible(false);
  overallLine_ = new QLabel(this);
  overallLine_->setObjectName("overallLine");

  auto* buttons = new QVBoxLayout;
  for (QPushButton* each : {add_, remove_}) buttons->addWidget(each);
  buttons->addSpacing(12);
  for (QPushButton* each : {up_, down_}) buttons->addWidget(each);
  buttons->addStretch(1);
  buttons->addWidget(start_);
  auto* listAndButtons = new QHBoxLayout;
  listAndButtons->addWidget(rows_, 1);
  listAndButtons->addLayout(buttons);
  auto* overall = new QHBoxLayout;
  overall->addWidget(overall_, 1);
  overall->addWidget(overallLine_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addLayout(listAndButtons, 1);
  layout->addWidget(saveProblem_);
  layout->addLayout(overall);

  openDialog_ = desktop::MakeOpenDialog(this, {});
  openDialog_->setNameFilters(texts_.openFilter);

  connect(add_, &QPushButton::clicked, this, [this] { addSources(askForSources()); });
  connect(remove_, &QPushButton::clicked, this, [this] { removeSelected(); });
  connect(up_, &QPushButton::clicked, this, [this] { moveSelected(-1); });
  connect(down_, &QPushButton::clicked, this, [this] { moveSelected(+1); });
  connect(start_, &QPushButton::clicked, this, [this] { start(); });
  connect(rows_, &QTreeWidget::currentItemChanged, this, [this] { updateButtons(); });
}

int BatchWindow::selectedRow() const {
  QTreeWidgetItem* item = rows_->currentItem();
  return item != nullptr ? rows_->indexOfTopLevelItem(item) : -1;
}

void BatchWindow::selectRow(int index) {
  rows_->setCurrentItem(index >= 0 && index < rows_->topLevelItemCount() ? rows_->topLevelItem(index) : nullptr);
}

QString BatchWindow::overallText() const { return overallLine_->text(); }

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
    desktop::ShowMessage(this, {QMessageBox::Critical, texts_.unsupported, desktop::FrameGeometry(this).topLeft() + QPoint(40, 80),
                                false});
  }
  return added;
}

void BatchWindow::removeSelected() {
  const int index = selectedRow();
  if (index < 0 || index == current_) return;
  list_.Remove(index);
  if (current_ > index) --current_;
  refresh();
  selectRow(std::min(index, list_.size() - 1));
}

void BatchWindow::moveSelected(int step) {
  const int index = selectedRow();
  const int other = index + step;
  if (index < 0 || other < 0 || other >= list_.size()) return;
  // The running row keeps its place while it runs.
  if (running() && (index == current_ || other == current_)) return;
  if (step < 0 ? !list_.MoveUp(index) : !list_.MoveDown(index)) return;
  refresh();
  selectRow(other);
}

void BatchWindow::refresh() {
  const int selected = selectedRow();
  rows_->clear();
  for (int i = 0; i < list_.size(); ++i) {
    new QTreeWidgetItem(rows_);
    refreshRow(i);
  }
  if (selected >= 0 && selected < list_.size()) selectRow(selected);
  updateButtons();
  showSaveState();
}

void BatchWindow::showSaveState() {
  saveProblem_->setText(texts_.batchNotSaved + QString::fromStdString(list_.path()));
  saveProblem_->setVisible(!list_.saved());
}

void BatchWindow::refreshRow(int index) {
  if (index < 0 || index >= rows_->topLevelItemCount()) return;
  const job::BatchRow& row = list_.row(index);
  QTreeWidgetItem* item = rows_->topLevelItem(index);
  const QStringList columns = BatchRowColumns(row, texts_, running_);
  for (int column = kSourceColumn; column <= kResultColumn; ++column) item->setText(column, columns[column]);
  // The whole of what a cut text holds: the source's path, the reason's every line.
  item->setToolTip(kSourceColumn, QString::fromStdString(row.source));
  item->setToolTip(kStateColumn, columns[kStateColumn]);
  item->setToolTip(kResultColumn, row.state == job::BatchState::Failed ? QString::fromStdString(row.reason)
                                                                        : columns[kResultColumn]);
}

void BatchWindow::updateButtons() {
  const int index = selectedRow();
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
                                  desktop::FrameGeometry(&main_).topLeft() + QPoint(texts_.offsetMain, 130), false});
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
  finishedMs_ = 0;
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
  running_ = RunningSource();
  reason_.Clear();
  sourceClock_.start();
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
    // The row's reason starts with the tool's own error line; the whole
    // story follows it for the row's tooltip.
    QString reason = reason_.text();
    if (reason.isEmpty() && view_->missing()) reason = texts_.batchMissing;
    const QString line = driver_->failureLine();
    if (!line.isEmpty() && !reason.startsWith(line)) reason = line + "\n" + reason;
    list_.MarkFailed(current_, outcome.failedModes, reason.toStdString());
    failedSources_ << FileName(list_.row(current_).source);
  }
  ++finished_;
  finishedMs_ += sourceClock_.elapsed();
  refreshRow(current_);
  showSaveState();
  current_ = -1;
  running_ = RunningSource();
  showOverall();
  QTimer::singleShot(0, this, [this] { runNext(); });
}

void BatchWindow::progress(int percent) {
  running_.percent = percent;
  if (driver_) running_.whole = driver_->sourceProgress();
  refreshRow(current_);
  showOverall();
}

void BatchWindow::stage(const QString& text) {
  running_.stage = text;
  if (running_.stage.endsWith("...")) running_.stage.chop(3);
  if (text == texts_.standby) running_.stage.clear();
  refreshRow(current_);
}

void BatchWindow::showOverall() {
  if (total_ <= 0) return;
  const int sourcePercent = current_ >= 0 ? running_.whole.percent : 0;
  const int percent = (finished_ * 100 + sourcePercent) / total_;
  const int secondsLeft =
      current_ >= 0 ? job::EstimateBatchSecondsLeft(running_.whole.secondsLeft,
                                                    static_cast<int>(sourceClock_.elapsed() / 1000), finished_,
                                                    static_cast<int>(finishedMs_ / 1000), total_ - finished_ - 1)
                    : -1;
  overall_->setValue(percent);
  overallLine_->setText(BatchProgressText(texts_, finished_, total_, percent, secondsLeft));
  // The launcher entry shows the whole batch.
  main_.taskbar().SetValue(static_cast<uint64_t>(finished_) * 100 + static_cast<uint64_t>(sourcePercent),
                           static_cast<uint64_t>(total_) * 100);
}

void BatchWindow::endBatch() {
  driver_.reset();
  view_.reset();
  current_ = -1;
  main_.setStatus(texts_.standby);
  main_.setStartCaption(texts_.start);
  refresh();
  // The end of a single job, once for the whole batch: the after-job
  // action, the launcher entry busy, the box, then the entry cleared and
  // the window idle.
  const QString version = main_.version();
  main_.setTitles(texts_.done + " - KVR " + desktop::Version5(version), main_.windowTitle());
  main_.afterJobActions().Perform(main_.afterJobIndex(), QString::fromStdString(main_.paths().sound));
  main_.taskbar().SetState(desktop::TaskbarState::Indeterminate);
  const QPoint origin = desktop::FrameGeometry(&main_).topLeft() + QPoint(texts_.offsetMain + 40, 170);
  if (failedSources_.isEmpty()) {
    desktop::ShowMessage(&main_, {QMessageBox::NoIcon, texts_.allDone, origin, false});
  } else {
    desktop::ShowMessage(&main_, {QMessageBox::Critical, texts_.batchSourcesFailed + failedSources_.join(", "),
                                  origin, false});
  }
  main_.taskbar().SetState(desktop::TaskbarState::None);
  main_.setTitles(desktop::IdleAppTitle(version), main_.baseCaption());
  main_.setBarValue(0);
  main_.enableControls();
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

void BatchWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      // Closes the window while nothing runs; the batch itself stops only
      // through the main window's Halt.
      if (!running()) close();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      // The focused button, else Start, the window's default button.
      auto* focused = qobject_cast<QPushButton*>(focusWidget());
      if (!event->isAutoRepeat()) (focused != nullptr ? focused : start_)->click();
      return;
    }
    default:
      QWidget::keyPressEvent(event);
  }
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
