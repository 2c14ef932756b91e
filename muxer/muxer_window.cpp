#include "muxer/muxer_window.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <cctype>

#include <unistd.h>

#include "desktop/drops.h"
#include "desktop/message_box.h"
#include "desktop/open_dialog.h"
#include "desktop/reveal.h"
#include "desktop/ui_texts.h"
#include "desktop/window_placement.h"
#include "job/commands.h"
#include "job/job_report.h"
#include "job/names.h"
#include "platform/cmdline.h"
#include "proc/tool_threads.h"

namespace muxer {

namespace {

constexpr char kMuxedSuffix[] = "_muxed";

}  // namespace

bool IsAcceptedStream(const std::string& path) {
  static const std::array<std::string, 6> kAccepted = {".mp4", ".264", ".h264", ".avc", ".m4a", ".aac"};
  return std::find(kAccepted.begin(), kAccepted.end(), job::LowerExtension(path)) != kAccepted.end();
}

std::string IncName2(const std::string& firstEntry, const std::string& suffix) {
  return job::FreeOutputName(job::WithoutExtension(firstEntry), suffix, ".mp4");
}

QStringList StreamDialogFilters(bool russianUi) {
  using desktop::NameFilter;
  if (russianUi) {
    return {NameFilter(QString::fromUtf8("Все файлы(*.mp4;*.m4a;*.aac;*.h264;*.264;*.avc;*.m4v)"),
                       "*.mp4;*.m4a;*.aac;*.h264;*.264;*.avc;*.m4v"),
            NameFilter(QString::fromUtf8("Видеофайл (*.mp4;*.h264;*.264;*.avc;*.m4v)"), "*.mp4;*.h264;*.264;*.avc;*.m4v"),
            // The first letter is a Latin capital A.
            NameFilter(QString::fromUtf8("A\u0443\u0434\u0438\u043e(*.m4a;*.aac)"), "*.m4a;*.aac")};
  }
  return {NameFilter("All Supported (*.mp4;*.m4a;*.aac;*.264;*.h264;*.avc;*.m4v)",
                     "*.mp4;*.m4a;*.aac;*.264;*.h264;*.avc;*.m4v"),
          NameFilter("Video (*.mp4;*.264;*.h264;*.avc;*.m4v)", "*.mp4;*.264;*.h264;*.avc;*.m4v"),
          NameFilter("Sound (*.m4a;*.aac)", "*.m4a;*.aac")};
}

MuxerWindow::MuxerWindow(bool russianUi, job::ToolPaths paths, std::string settingsPath,
                         QWidget* parent)
    : QWidget(parent),
      texts_(desktop::TextsFor(russianUi)),
      paths_(std::move(paths)),
      settings_(std::move(settingsPath)) {
  setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(232, 81);
  QFont smallFont = font();
  smallFont.setPixelSize(11);
  setFont(smallFont);
  setAcceptDrops(true);
  setWindowTitle(russianUi ? QString::fromUtf8("mp4 Муксер") : QStringLiteral("mp4 Muxer"));

  openDialog_ = desktop::MakeOpenDialog(this, StreamDialogFilters(russianUi));
  names_ = new QListWidget(this);
  names_->setObjectName("entries");
  names_->setGeometry(8, 8, 217, 41);
  names_->setAcceptDrops(false);
  names_->installEventFilter(this);
  names_->viewport()->installEventFilter(this);

  const auto button = [this, russianUi](const char* name, const char* russian, const char* english,
                                        int left, void (MuxerWindow::*action)()) {
    auto* created = new QPushButton(russianUi ? QString::fromUtf8(russian) : QString(english), this);
    created->setObjectName(name);
    created->setGeometry(left, 56, 65, 17);
    connect(created, &QPushButton::clicked, this, action);
  };
  button("add", "Добавить", "Add", 8, &MuxerWindow::addFromDialog);
  button("delete", "Удалить", "Delete", 80, &MuxerWindow::deleteSelected);
  button("mux", "Собрать", "Mux", 160, &MuxerWindow::build);
}

void MuxerWindow::showCentredOn(QWidget* mainWindow) {
  desktop::CentreOn(this, mainWindow);
  show();
  raise();
  activateWindow();
}

bool MuxerWindow::addEntry(const QString& path) {
  const std::string fullPath = path.toStdString();
  if (path.isEmpty() || !IsAcceptedStream(fullPath)) return false;
  fullPaths_.append(path);
  names_->addItem(QString::fromStdString(job::FileNamePart(fullPath)));
  return true;
}

QString MuxerWindow::askForStreamFile() { return desktop::AskForFile(openDialog_); }

void MuxerWindow::addFromDialog() { addEntry(askForStreamFile()); }

void MuxerWindow::deleteSelected() {
  const QList<QListWidgetItem*> selected = names_->selectedItems();
  if (selected.isEmpty()) return;
  const int row = names_->row(selected.front());
  fullPaths_.removeAt(row);
  delete names_->takeItem(row);
}

void MuxerWindow::clearEntries() {
  fullPaths_.clear();
  names_->clear();
}

void MuxerWindow::build() {
  if (names_->count() < 2 || names_->item(1)->text().isEmpty()) return;
  const std::string first = fullPaths_[0].toStdString();
  const std::string output = IncName2(first, kMuxedSuffix);
  // The window waits for the muxer on purpose: it is quick, and the lists
  // must not change while it reads the files.
  const proc::ToolOutcome outcome =
      proc::ExecRaw(job::StandaloneMuxCommand(paths_, first, fullPaths_[1].toStdString(), output));
  clearEntries();
  const bool written = QFileInfo(QString::fromStdString(output)).size() > 0;
  if (!outcome.failed() && written) {
    settings_.WriteString("Meta", "PathMuxed", output);
    return;
  }
  // The name was free when the mux began: what stands there now is the
  // muxer's broken attempt, and no output of this window.
  ::unlink(output.c_str());
  desktop::ShowMessage(this, {QMessageBox::Critical, texts_.muxFailed, QPoint(), false,
                              job::DescribeOutcome(texts_, outcome, written ? std::string() : output)});
}

void MuxerWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MuxerWindow::revealLastOutput() {
  desktop::RevealInFileManager(settings_.ReadString("Meta", "PathMuxed", ""));
}

bool MuxerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == names_ && event->type() == QEvent::KeyPress) {
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Delete:
      case Qt::Key_Backspace:
        deleteSelected();
        return true;
      case Qt::Key_F5:
        clearEntries();
        return true;
      default:
        break;
    }
  } else if (watched == names_->viewport() && event->type() == QEvent::MouseButtonPress &&
             static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
    revealLastOutput();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void MuxerWindow::closeEvent(QCloseEvent* event) {
  clearEntries();
  QWidget::closeEvent(event);
}

void MuxerWindow::dragEnterEvent(QDragEnterEvent* event) { event->acceptProposedAction(); }
void MuxerWindow::dragMoveEvent(QDragMoveEvent* event) { event->acceptProposedAction(); }

void MuxerWindow::dropEvent(QDropEvent* event) {
  const QString file = desktop::FirstDroppedFile(event->mimeData());
  if (!file.isEmpty()) addEntry(file);
  event->acceptProposedAction();
}

}  // namespace muxer
