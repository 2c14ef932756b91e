// The main window: its controls, what it prepares when it is created, the
// enabling rules around a job, the keys F1 and F2, and the closing rules.
// The job itself runs in the job driver; this class wires it to the window.
#pragma once

#include <QWidget>

#include <memory>
#include <string>

#include "desktop/after_job.h"
#include "desktop/taskbar.h"
#include "desktop/ui_texts.h"
#include "job/job_driver.h"
#include "job/ownership.h"
#include "settings/settings_file.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace intake {
class FrameRateChooser;
}
namespace muxer {
class MuxerWindow;
}
namespace settings {
class SettingsDialog;
}

namespace app {

class BatchWindow;

struct StartupOptions {
  job::ToolPaths paths;        // where the tools, settings and temporary files are
  QStringList arguments;       // the command line without the program
  bool russianUi = false;
  bool system64Bit = true;
  desktop::AfterJobActions* afterJobActions = nullptr;  // null: the desktop's own
};

class MainWindow : public QWidget, public job::JobView {
 public:
  explicit MainWindow(const StartupOptions& options);
  ~MainWindow() override;

  // Values fixed at creation.
  const job::ToolPaths& paths() const { return paths_; }
  const std::string& videoEncoderPath() const { return videoEncoderPath_; }
  bool debugMode() const { return debugMode_; }
  const QString& baseCaption() const { return baseCaption_; }
  QString applicationTitle() const;
  const desktop::UiTexts& texts() const { return texts_; }
  job::JobDriver& driver() { return *driver_; }
  const QString& version() const { return version_; }
  settings::SettingsFile& settingsFile() { return *settingsFile_; }
  desktop::TaskbarProgress& taskbar() { return taskbar_; }
  desktop::AfterJobActions& afterJobActions() { return *afterJob_; }
  BatchWindow& batchWindow() { return *batchWindow_; }
  // Why the settings or the job folder cannot be used; empty when they can.
  const std::string& folderProblem() const { return folderProblem_; }
  // The batch's list, in the settings folder.
  std::string batchListPath() const;

  // The source as chosen, shown and restored.
  void setSource(const QString& path);
  const QString& lastSourceDir() const { return lastSourceDir_; }
  // A file dropped on the window; returns whether it was accepted.
  bool dropFile(const QString& path);
  // The source named on the command line, taken like a drop once the window
  // shows; several files become batch rows. A path that names no file is
  // reported on the standard error.
  void OpenSourceArgument();
  void BrowseVideoClick();

  void StartBtnClick();
  void DisplayHelp();
  void ShowMuxer();
  void ShowBatch();
  void OpenModeSettings(int mode);

  // JobView
  QWidget* window() override { return this; }
  QString sourcePath() const override { return sourcePath_; }
  void clearSource() override;
  bool modeTicked(int mode) const override;
  QString author() const override;
  QString title() const override;
  int afterJobIndex() const override;
  void setStatus(const QString& text) override;
  int barValue() const override;
  void setBarValue(int value) override;
  void repaintBar() override;
  void processPendingEvents() override;
  void setTitles(const QString& applicationTitle, const QString& caption) override;
  void setStartCaption(const QString& caption) override;
  void disableControls() override;
  void enableControls() override;
  void requestClose() override;
  void chooseFrameRate(job::Sequence& sequence) override;
  QString attachedWavPath() const override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void Internat();
  void RestoreSettings();
  void SetControlsEnabled(bool enabled);
  void RevealOnRightClick(QObject* watched);
  // F1 opens the help in any state, F2 the muxer window and F3 the batch
  // window while no single job runs, Enter presses the focused push
  // button, else Start.
  bool FormKeyDown(QObject* watched, QEvent* event);

  job::ToolPaths paths_;
  std::string videoEncoderPath_;
  bool debugMode_ = false;
  QStringList sourceArguments_;
  QString version_;
  QString baseCaption_;
  const desktop::UiTexts& texts_;
  QString sourcePath_;
  QString lastSourceDir_;
  bool acceptingDrops_ = true;
  bool closing_ = false;
  bool batchOffered_ = false;  // an unfinished batch shows at the first showing

  bool settingsUsable_ = true;  // the settings folder is the user's own
  std::string folderProblem_;
  job::JobFolder jobFolder_;     // held for the window's life
  std::unique_ptr<settings::SettingsFile> settingsFile_;
  desktop::TaskbarProgress taskbar_;
  std::unique_ptr<desktop::AfterJobActions> ownActions_;
  desktop::AfterJobActions* afterJob_ = nullptr;
  std::unique_ptr<job::JobDriver> driver_;

  // The other windows, created after this one in this order.
  settings::SettingsDialog* settingsDialog_ = nullptr;
  muxer::MuxerWindow* muxerWindow_ = nullptr;
  BatchWindow* batchWindow_ = nullptr;
  intake::FrameRateChooser* chooser_ = nullptr;

  QGroupBox* groupBox1_ = nullptr;
  QToolButton* openVideoBtn_ = nullptr;
  QLineEdit* editVideo_ = nullptr;
  QGroupBox* groupBox2_ = nullptr;
  QLabel* label5_ = nullptr;
  QLabel* label6_ = nullptr;
  QLineEdit* tntEdit1_ = nullptr;
  QLineEdit* tntEdit2_ = nullptr;
  QGroupBox* groupBox3_ = nullptr;
  QCheckBox* modePrev_ = nullptr;
  QToolButton* setPrev_ = nullptr;
  QCheckBox* modeDX_ = nullptr;
  QToolButton* showHelp_ = nullptr;
  QCheckBox* modeStd_ = nullptr;
  QToolButton* setStd_ = nullptr;
  QLabel* label3_ = nullptr;
  QComboBox* comboBox1_ = nullptr;
  QLabel* label1_ = nullptr;
  QProgressBar* progressBar1_ = nullptr;
  QPushButton* startBtn_ = nullptr;
  QFileDialog* openVideo_ = nullptr;
};

}  // namespace app
