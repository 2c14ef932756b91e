// The batch window: a list of sources that run one after another through
// the job driver, each as a single job on it would run, with the modes,
// mode settings, author and title the main window shows at the start. The
// list lives in a file of the settings folder (job::BatchList), so a batch
// cut short by a crash goes on where it stopped. Opened with F3 while no
// single job runs; not modal, centred over the main window.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <string>

#include <QElapsedTimer>

#include "job/batch_list.h"
#include "job/progress_estimate.h"
#include "job/source_outcome.h"

class QFileDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace desktop {
struct UiTexts;
class NoAfterJobActions;
class TaskbarProgress;
}  // namespace desktop
namespace job {
class JobDriver;
struct Sequence;
}  // namespace job

namespace app {

class MainWindow;
class BatchView;

// What a running row shows of its source: the stage's status line and
// figure, and the whole source's percentage and time left.
struct RunningSource {
  int percent = 0;  // the stage's figure
  QString stage;    // its status line without the dots
  job::SourceProgress whole;
};

// A row as the list shows it, column by column: the source's file name; its
// state (a running row's with the source's percentage, time left, stage and
// stage figure; a failed row's with its failed modes); its outputs' names,
// or a failed row's reason, the tool's own error line.
enum BatchColumn { kSourceColumn = 0, kStateColumn = 1, kResultColumn = 2 };
QStringList BatchRowColumns(const job::BatchRow& row, const desktop::UiTexts& texts, const RunningSource& running);

// The line under the list while a batch runs: the rows done and the whole
// batch's percentage and time left.
QString BatchProgressText(const desktop::UiTexts& texts, int finished, int total, int percent, int secondsLeft);

class BatchWindow : public QWidget {
 public:
  BatchWindow(MainWindow& main, std::string listPath);
  ~BatchWindow() override;

  void showCentredOn(QWidget* mainWindow);

  const job::BatchList& list() const { return list_; }
  bool running() const { return driver_ != nullptr; }
  QTreeWidget* rowsView() const { return rows_; }
  QProgressBar* overallBar() const { return overall_; }
  QString overallText() const;
  int selectedRow() const;
  void selectRow(int index);

  // Adds the accepted sources among `paths` in their order; an image
  // sequence asks for its frame rate, range and sound now and keeps them.
  // Returns how many were added.
  int addSources(const QStringList& paths);
  void removeSelected();
  void moveSelected(int step);  // -1 up, +1 down

  // Runs the rows still to run, from the first. Nothing when a job or a
  // batch runs, or no mode is ticked (which the main window's box says).
  void start();
  // The close path while running: the running source stops cleanly and
  // waits again with what it made removed; the rest of the list stays.
  void stopCleanly();

 protected:
  // The open dialog (several files); tests replace it.
  virtual QStringList askForSources();
  // The frame-rate chooser for an image sequence; tests replace it.
  virtual void askFrameRate(job::Sequence& sequence);

  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  friend class BatchView;

  void build();
  void refresh();
  void refreshRow(int index);
  void updateButtons();
  // The whole batch's bar and line.
  void showOverall();
  void runNext();
  void sourceEnded(bool started);
  void outputMade(const std::string& path);
  // Tells, under the list, while the list cannot be written to its file.
  void showSaveState();
  void endBatch();
  // From the driver through the view.
  void progress(int percent);
  void stage(const QString& text);

  MainWindow& main_;
  const desktop::UiTexts& texts_;
  job::BatchList list_;

  QTreeWidget* rows_ = nullptr;
  QProgressBar* overall_ = nullptr;
  QLabel* overallLine_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* up_ = nullptr;
  QPushButton* down_ = nullptr;
  QPushButton* start_ = nullptr;
  QLabel* saveProblem_ = nullptr;
  QFileDialog* openDialog_ = nullptr;

  // The running batch.
  std::unique_ptr<BatchView> view_;
  std::unique_ptr<desktop::TaskbarProgress> driverTaskbar_;  // the driver's own, never shown
  std::unique_ptr<desktop::NoAfterJobActions> noActions_;
  std::unique_ptr<job::JobDriver> driver_;
  job::FailureReason reason_;
  bool ticked_[4] = {false, false, false, false};
  int current_ = -1;
  RunningSource running_;
  int total_ = 0;     // rows this start runs
  int finished_ = 0;  // of them, those that ended
  QElapsedTimer sourceClock_;
  qint64 finishedMs_ = 0;  // the time the ended ones took
  QStringList failedSources_;
};

}  // namespace app
