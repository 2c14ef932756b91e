#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

#include "app/batch_window.h"
#include "app/command_line.h"
#include "desktop/drops.h"
#include "desktop/help.h"
#include "desktop/message_box.h"
#include "desktop/open_dialog.h"
#include "desktop/reveal.h"
#include "desktop/version.h"
#include "desktop/window_placement.h"
#include "intake/frame_rate_chooser.h"
#include "intake/source_selection.h"
#include "job/job_report.h"
#include "job/names.h"
#include "job/ownership.h"
#include "muxer/muxer_window.h"
#include "platform/user_folders.h"
#include "settings/settings_dialog.h"

namespace app {

namespace {

const char kMeta[] = "Meta";

// A tag is one line: a pasted line break becomes a blank, as the settings
// file could not keep it and a tag shows it nowhere.
void KeepOnOneLine(QLineEdit* edit) {
  QObject::connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) {
    static const QRegularExpression lineBreaks("[\\r\\n]+");
    if (!text.contains(lineBreaks)) return;
    const int cursor = edit->cursorPosition();
    QString flat = text;
    flat.replace(lineBreaks, " ");
    edit->setText(flat);
    edit->setCursorPosition(std::min<int>(cursor, static_cast<int>(flat.size())));
  });
}
const char kFlags[] = "Flags";
constexpr int kTagLength = 50;

QFont FontOfHeight(int pixels) {
  QFont font = QApplication::font();
  font.setPixelSize(pixels);
  return font;
}

template <typename T>
T* Place(QWidget* parent, int left, int top, int width, int height) {
  auto* widget = new T(parent);
  widget->setGeometry(left, top, width, height);
  return widget;
}

QLabel* CentredLabel(QWidget* parent, int left, int top, int width, int height) {
  auto* label = Place<QLabel>(parent, left, top, width, height);
  label->setAlignment(Qt::AlignCenter);
  label->setFont(FontOfHeight(9));
  return label;
}

QToolButton* ImageButton(QWidget* parent, int left, int top, QStyle::StandardPixmap image) {
  auto* button = Place<QToolButton>(parent, left, top, 25, 25);
  button->setIcon(parent->style()->standardIcon(image));
  return button;
}

QFrame* BorderedPanel(QWidget* parent, int left) {
  auto* panel = Place<QFrame>(parent, left, 20, 90, 70);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Raised);
  return panel;
}

}  // namespace

MainWindow::MainWindow(const StartupOptions& options)
    : paths_(options.paths), texts_(desktop::TextsFor(options.russianUi)) {
  BuildControls();

  // Paths, version and the idle application title.
  videoEncoderPath_ = paths_.videoEncoder32;
  version_ = desktop::GetVer();
  const QString idleTitle = desktop::IdleAppTitle(version_);
  desktop::SetApplicationTitle(idleTitle);
  setWindowIconText(idleTitle);
  Internat();

  // The 64-bit encoder where the machine is 64-bit; it runs through the wrapper.
  videoEncoderPath_ = options.system64Bit ? paths_.videoEncoder64 : paths_.videoEncoder32;

  baseCaption_ = "Kelvarion " + desktop::Version3(version_);
  const CommandLine commandLine = ParseCommandLine(options.arguments);
  sourceArguments_ = commandLine.sourceFiles;
  if (commandLine.debugMode) {
    debugMode_ = true;
    baseCaption_ += " debug";
  }
  if (commandLine.force32Bit) {
    baseCaption_ += " - 32bit";
    videoEncoderPath_ = paths_.videoEncoder32;
  }
  setWindowTitle(baseCaption_);
  setAcceptDrops(true);

  // A settings folder of the user's that is a link, another user's, or
  // cannot be closed to others is never used: the defaults stand in and
  // nothing is written, and a job is refused with a box that names it.
  std::string& folderProblem = folderProblem_;
  if (paths_.userFolders) {
    std::string settingsFolder = job::FolderPart(paths_.settingsFile);
    settingsFolder.pop_back();
    folderProblem = job::PrivateFolderProblem(settingsFolder);
    settingsUsable_ = folderProblem.empty();
  }
  settingsFile_ = std::make_unique<settings::SettingsFile>(settingsUsable_ ? paths_.settingsFile : std::string(),
                                                           !settingsUsable_);
  // What programs of this user that died left behind goes first, their
  // unfinished jobs closed in the log; then the window takes its own job
  // folder, the shared one or, while another program holds it, a sibling.
  for (const std::string& job : job::ClearDeadJobFolders(paths_.tempDir)) {
    job::JobReport::JobInterrupted(texts_, paths_.jobLog, QString::fromStdString(job));
  }
  std::string tempProblem;
  jobFolder_ = job::JobFolder::TakeShared(paths_.tempDir, &tempProblem);
  if (jobFolder_.held()) paths_.PlaceTemp(jobFolder_.path());
  if (folderProblem.empty()) folderProblem = tempProblem;
  if (options.afterJobActions == nullptr) ownActions_ = std::make_unique<desktop::DesktopAfterJobActions>();
  afterJob_ = options.afterJobActions != nullptr ? options.afterJobActions : ownActions_.get();
  driver_ = std::make_unique<job::JobDriver>(
      *this,
      job::DriverSetup{paths_, videoEncoderPath_, debugMode_, version_, baseCaption_, folderProblem, true, {}},
      texts_, *settingsFile_, taskbar_, *afterJob_, this);
  RestoreSettings();

  settingsDialog_ = new settings::SettingsDialog(texts_.russian, this);
  muxerWindow_ = new muxer::MuxerWindow(texts_.russian, paths_, settingsFile_->path(), this);
  chooser_ = new intake::FrameRateChooser(texts_.russian, this);
  batchWindow_ = new BatchWindow(*this, batchListPath());
}

std::string MainWindow::batchListPath() const {
  return settingsUsable_ ? job::FolderPart(paths_.settingsFile) + "kelvarion.batch" : std::string();
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildControls() {
  setFixedSize(330, 397);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(FontOfHeight(11));
  setWindowTitle("Kelvarion");

  groupBox1_ = Place<QGroupBox>(this, 10, 9, 310, 55);
  openVideoBtn_ = ImageButton(groupBox1_, 10, 20, QStyle::SP_DialogOpenButton);
  editVideo_ = Place<QLineEdit>(groupBox1_, 40, 22, 260, 21);
  editVideo_->setReadOnly(true);
  QPalette buttonFace = editVideo_->palette();
  buttonFace.setColor(QPalette::Base, buttonFace.color(QPalette::Button));
  editVideo_->setPalette(buttonFace);

  groupBox2_ = Place<QGroupBox>(this, 10, 75, 310, 71);
  label5_ = CentredLabel(groupBox2_, 5, 20, 140, 15);
  label6_ = CentredLabel(groupBox2_, 160, 20, 140, 15);
  tntEdit1_ = Place<QLineEdit>(groupBox2_, 8, 40, 140, 21);
  tntEdit2_ = Place<QLineEdit>(groupBox2_, 160, 40, 140, 21);
  tntEdit1_->setMaxLength(kTagLength);
  tntEdit2_->setMaxLength(kTagLength);
  for (QLineEdit* edit : {tntEdit1_, tntEdit2_}) KeepOnOneLine(edit);

  // Left to right: Preview, Deluxe (with the help button), Standard.
  groupBox3_ = Place<QGroupBox>(this, 10, 160, 310, 100);
  QFrame* panel2 = BorderedPanel(groupBox3_, 10);
  modePrev_ = Place<QCheckBox>(panel2, 5, 5, 70, 17);
  setPrev_ = ImageButton(panel2, 30, 30, QStyle::SP_FileDialogDetailedView);
  QFrame* panel3 = BorderedPanel(groupBox3_, 110);
  modeDX_ = Place<QCheckBox>(panel3, 5, 5, 70, 17);
  showHelp_ = Place<QToolButton>(panel3, 30, 30, 25, 25);
  showHelp_->setText("?");
  QFont helpFont = FontOfHeight(14);
  helpFont.setBold(true);
  showHelp_->setFont(helpFont);
  QFrame* panel1 = BorderedPanel(groupBox3_, 210);
  modeStd_ = Place<QCheckBox>(panel1, 5, 5, 68, 17);
  setStd_ = ImageButton(panel1, 30, 30, QStyle::SP_FileDialogDetailedView);

  label3_ = CentredLabel(this, 10, 266, 310, 15);
  comboBox1_ = Place<QComboBox>(this, 96, 288, 137, 21);
  comboBox1_->setMaxVisibleItems(5);
  comboBox1_->addItems(desktop::RussianTexts().afterJobItems);
  label1_ = CentredLabel(this, 10, 314, 310, 15);
  progressBar1_ = Place<QProgressBar>(this, 10, 333, 310, 17);
  progressBar1_->setRange(0, 100);
  progressBar1_->setValue(0);
  progressBar1_->setTextVisible(false);
  startBtn_ = Place<QPushButton>(this, 127, 363, 75, 25);
  startBtn_->setDefault(true);
  startBtn_->setAutoDefault(true);

  // The Russian texts are the window's own; Internat replaces them for English.
  const desktop::UiTexts& ru = desktop::RussianTexts();
  groupBox1_->setTitle(ru.fileGroup);
  openVideoBtn_->setToolTip(ru.selectFileHint);
  groupBox2_->setTitle(ru.tagsGroup);
  label5_->setText(ru.authorLabel);
  label6_->setText(ru.titleLabel);
  label3_->setText(ru.afterJobLabel);
  groupBox3_->setTitle(ru.workModeGroup);
  modePrev_->setText(ru.previewBox);
  modeStd_->setText(ru.standardBox);
  modeDX_->setText(ru.deluxeBox);
  setPrev_->setToolTip(ru.previewHint);
  setStd_->setToolTip(ru.standardHint);
  showHelp_->setToolTip(ru.helpHint);

  setTabOrder(comboBox1_, startBtn_);
  setTabOrder(startBtn_, editVideo_);
  setTabOrder(editVideo_, openVideoBtn_);
  setTabOrder(openVideoBtn_, tntEdit1_);
  setTabOrder(tntEdit1_, tntEdit2_);
  setTabOrder(tntEdit2_, modePrev_);
  setTabOrder(modePrev_, setPrev_);
  setTabOrder(setPrev_, modeDX_);
  setTabOrder(modeDX_, showHelp_);
  setTabOrder(showHelp_, modeStd_);
  setTabOrder(modeStd_, setStd_);
  // The first control of the tab order has the focus when the window
  // opens, so that Enter there presses Start.
  comboBox1_->setFocus();

  openVideo_ = desktop::MakeOpenDialog(this, {});

  connect(openVideoBtn_, &QToolButton::clicked, this, [this] { BrowseVideoClick(); });
  connect(startBtn_, &QPushButton::clicked, this, [this] { StartBtnClick(); });
  connect(showHelp_, &QToolButton::clicked, this, [this] { DisplayHelp(); });
  connect(setPrev_, &QToolButton::clicked, this, [this] { OpenModeSettings(job::kPreview); });
  connect(setStd_, &QToolButton::clicked, this, [this] { OpenModeSettings(job::kStandard); });
  // The window sees every key press before its controls do, and the right
  // clicks on its reveal buttons.
  qApp->installEventFilter(this);
}

void MainWindow::Internat() {
  if (!texts_.russian) {
    groupBox1_->setTitle(texts_.fileGroup);
    openVideoBtn_->setToolTip(texts_.selectFileHint);
    groupBox2_->setTitle(texts_.tagsGroup);
    label5_->setText(texts_.authorLabel);
    label6_->setText(texts_.titleLabel);
    label3_->setText(texts_.afterJobLabel);
    groupBox3_->setTitle(texts_.workModeGroup);
    modePrev_->setText(texts_.previewBox);
    modeStd_->setText(texts_.standardBox);
    modeDX_->setText(texts_.deluxeBox);
    setPrev_->setToolTip(texts_.previewHint);
    setStd_->setToolTip(texts_.standardHint);
    showHelp_->setToolTip(texts_.helpHint);
    comboBox1_->clear();
    comboBox1_->addItems(texts_.afterJobItems);
  }
  // The desktop's font may be wider than the one the layout was drawn
  // for; a mode's box then grows within its panel rather than cut its word.
  for (QCheckBox* box : {modePrev_, modeDX_, modeStd_}) {
    desktop::WidenToFit(box);
    box->resize(std::min(box->width(), box->parentWidget()->width() - box->x()), box->height());
  }
  openVideo_->setNameFilters(texts_.openFilter);
  comboBox1_->setCurrentIndex(0);
  startBtn_->setText(texts_.start);
  label1_->setText(texts_.standby);
}

void MainWindow::RestoreSettings() {
  tntEdit1_->setText(settingsFile_->ReadString(kMeta, "Author").left(kTagLength));
  tntEdit2_->setText(settingsFile_->ReadString(kMeta, "Clip").left(kTagLength));
  // A long tag shows its beginning.
  tntEdit1_->setCursorPosition(0);
  tntEdit2_->setCursorPosition(0);

  const QString stored = settingsFile_->ReadString(kMeta, "Path");
  lastSourceDir_ = QString::fromStdString(job::FolderPart(stored.toStdString()));
  if (job::FileExists(stored.toStdString()) && intake::IsAcceptedSource(stored.toStdString())) setSource(stored);

  modePrev_->setChecked(settingsFile_->ReadBool(kFlags, "Prev", false));
  modeStd_->setChecked(settingsFile_->ReadBool(kFlags, "Std", false));
  modeDX_->setChecked(settingsFile_->ReadBool(kFlags, "DX", false));
}

void MainWindow::setSource(const QString& path) {
  sourcePath_ = path;
  editVideo_->setText(QString::fromStdString(job::FileNamePart(path.toStdString())));
  editVideo_->setToolTip(path);
}

void MainWindow::clearSource() { setSource(QString()); }

void MainWindow::BrowseVideoClick() {
  // Without a remembered folder the dialog starts in the program's folder,
  // or, for a program that keeps its files in the user's folders, at home.
  const std::string fallback = paths_.userFolders ? QDir::homePath().toStdString() + "/" : paths_.programDir;
  openVideo_->setDirectory(QString::fromStdString(intake::GetNearestDir(lastSourceDir_.toStdString(), fallback)));
  const QString remembered = sourcePath_;
  QString chosen = desktop::AskForFile(openVideo_);
  if (chosen.isEmpty()) chosen = remembered;
  if (!intake::IsAcceptedSource(chosen.toStdString())) chosen.clear();
  setSource(chosen);
  lastSourceDir_ = QString::fromStdString(job::FolderPart(chosen.toStdString()));
}

bool MainWindow::dropFile(const QString& path) {
  if (!acceptingDrops_) return false;
  const bool accepted = intake::IsAcceptedSource(path.toStdString());
  if (accepted) {
    sourcePath_ = path;
  } else {
    desktop::ShowMessage(this, {QMessageBox::Critical, texts_.unsupported,
                                desktop::FrameGeometry(this).topLeft() + QPoint(texts_.offsetMain, 130), false});
  }
  setSource(sourcePath_);
  return accepted;
}

void MainWindow::OpenSourceArgument() {
  QStringList files;
  for (const QString& argument : sourceArguments_) {
    const QFileInfo file(argument);
    if (file.isFile()) {
      files << file.absoluteFilePath();
    } else {
      std::fprintf(stderr, "kelvarion: %s: no such file\n", qPrintable(argument));
    }
  }
  // One file is the source; several, opened together from the file
  // manager, become rows of the batch.
  if (sourceArguments_.size() > 1) {
    if (batchWindow_->addSources(files) > 0) ShowBatch();
  } else if (!files.isEmpty()) {
    dropFile(files.front());
  }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (acceptingDrops_ && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QString file = desktop::FirstDroppedFile(event->mimeData());
  if (!file.isEmpty()) dropFile(file);
  event->acceptProposedAction();
}

void MainWindow::StartBtnClick() {
  // While a batch runs the button halts it, as it halts a single job.
  if (batchWindow_->running()) {
    close();
    return;
  }
  driver_->StartBtnClick();
}

void MainWindow::DisplayHelp() {
  desktop::DisplayHelp(this, texts_, QString::fromStdString(paths_.helpFile));
}

void MainWindow::ShowMuxer() {
  if (driver_->state() == job::JobState::Idle && !batchWindow_->running()) muxerWindow_->showCentredOn(this);
}

void MainWindow::ShowBatch() {
  if (driver_->state() == job::JobState::Idle) batchWindow_->showCentredOn(this);
}

void MainWindow::OpenModeSettings(int mode) {
  job::ModeRecord& record = driver_->records()[mode];
  const QString& caption = mode == job::kPreview ? texts_.prevSettings : texts_.stdSettings;
  if (!settingsDialog_->editMode(mode, record.settings, caption, this)) return;
  if (mode == job::kPreview) {
    settingsFile_->WritePreview(record.settings);
    modePrev_->setChecked(true);
  } else {
    settingsFile_->WriteStandard(record.settings);
    modeStd_->setChecked(true);
  }
}

bool MainWindow::FormKeyDown(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != this) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  switch (key->key()) {
    case Qt::Key_F1:
      DisplayHelp();
      return true;
    case Qt::Key_F2:
      ShowMuxer();
      return true;
    case Qt::Key_F3:
      ShowBatch();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      // Enter presses the push button that has the focus; Start, the
      // window's default button, takes it from any other control. A held
      // key presses once.
      // A key goes to the control that has the focus first.
      auto* focused = qobject_cast<QAbstractButton*>(watched);
      const bool pushButton = focused != nullptr && !focused->isCheckable();
      if (!key->isAutoRepeat()) (pushButton ? focused : startBtn_)->click();
      return true;
    }
    default:
      return false;
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && FormKeyDown(watched, event)) return true;
  if (event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
    RevealOnRightClick(watched);
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::RevealOnRightClick(QObject* watched) {
  // A disabled button (its group is disabled during a job) reveals nothing.
  if (auto* button = qobject_cast<QWidget*>(watched); button == nullptr || !button->isEnabled()) return;
  QString file;
  if (watched == openVideoBtn_) {
    file = sourcePath_;
  } else if (watched == setPrev_) {
    file = settingsFile_->ReadString(kMeta, "PathPrev");
  } else if (watched == setStd_) {
    file = settingsFile_->ReadString(kMeta, "PathStandard");
  } else if (watched == showHelp_) {
    file = settingsFile_->ReadString(kMeta, "PathDeluxe");
  }
  desktop::RevealInFileManager(file.toStdString());
}

bool MainWindow::modeTicked(int mode) const {
  switch (mode) {
    case job::kPreview: return modePrev_->isChecked();
    case job::kStandard: return modeStd_->isChecked();
    case job::kDeluxe: return modeDX_->isChecked();
    default: return false;
  }
}

QString MainWindow::author() const { return tntEdit1_->text(); }
QString MainWindow::title() const { return tntEdit2_->text(); }
int MainWindow::afterJobIndex() const { return comboBox1_->currentIndex(); }
void MainWindow::setStatus(const QString& text) { label1_->setText(text); }
int MainWindow::barValue() const { return progressBar1_->value(); }

void MainWindow::setBarValue(int value) {
  if (value >= progressBar1_->minimum() && value <= progressBar1_->maximum()) progressBar1_->setValue(value);
}

void MainWindow::repaintBar() { progressBar1_->repaint(); }

void MainWindow::processPendingEvents() {
  // User input waits, so that no click can start or end anything in between.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainWindow::setTitles(const QString& applicationTitle, const QString& caption) {
  desktop::SetApplicationTitle(applicationTitle);
  setWindowIconText(applicationTitle);
  setWindowTitle(caption);
}

QString MainWindow::applicationTitle() const { return desktop::ApplicationTitle(); }

void MainWindow::setStartCaption(const QString& caption) { startBtn_->setText(caption); }

void MainWindow::SetControlsEnabled(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{groupBox1_, groupBox2_, groupBox3_, editVideo_, modeStd_,
                                                          modePrev_, modeDX_, tntEdit1_, tntEdit2_}) {
    control->setEnabled(enabled);
  }
  acceptingDrops_ = enabled;
}

void MainWindow::disableControls() {
  startBtn_->setText(texts_.halt);
  SetControlsEnabled(false);
}

void MainWindow::enableControls() { SetControlsEnabled(true); }

void MainWindow::requestClose() { close(); }

void MainWindow::chooseFrameRate(job::Sequence& sequence) {
  chooser_->setFrameRange(sequence.first, sequence.last);
  chooser_->execCentredOn(this);
  sequence.fps = chooser_->frameRateText().toStdString();
  sequence.first = chooser_->firstFrame();
  sequence.last = chooser_->lastFrame();
  sequence.wavPath = chooser_->wavName().isEmpty() ? std::string() : chooser_->wavPath().toStdString();
}

QString MainWindow::attachedWavPath() const { return chooser_->wavName().isEmpty() ? QString() : chooser_->wavPath(); }

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The first showing centres the window's frame on the screen, once the
  // window manager has put the frame around it; once placed, the window
  // stays where the user puts it.
  if (!testAttribute(Qt::WA_Moved)) {
    desktop::CentreOnScreen(this);
    desktop::WhenFramed(this, [this] { desktop::CentreOnScreen(this); });
  }
  // The launcher entry is taken once the window exists on screen; showing
  // the window again (after minimising, say) leaves its state alone.
  // A batch that a crash cut short shows itself again.
  if (!batchOffered_ && batchWindow_->list().NextToRun() >= 0) {
    batchOffered_ = true;
    QTimer::singleShot(0, this, [this] { ShowBatch(); });
  }
  if (taskbar_.Ready()) return;
  QTimer::singleShot(0, this, [this] {
    if (!taskbar_.Ready() && taskbar_.Init()) taskbar_.SetState(desktop::TaskbarState::Normal);
  });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  if (driver_->state() == job::JobState::Running || batchWindow_->running()) {
    const auto answer = desktop::ShowMessage(
        this, {QMessageBox::Warning, texts_.quitQuery, desktop::FrameGeometry(this).topLeft() + QPoint(texts_.offsetQuit, 130), true});
    if (answer != QMessageBox::Yes) {
      event->ignore();
      return;
    }
    // A batch keeps the rest of its list, and its running source waits again.
    if (batchWindow_->running()) {
      batchWindow_->stopCleanly();
    } else {
      driver_->AbortAndClean();
    }
  }
  // Only this program's own tools were ended, through their process groups:
  // the encoders of other windows and runners sharing the tools go on.
  closing_ = true;
  event->accept();
}

}  // namespace app
