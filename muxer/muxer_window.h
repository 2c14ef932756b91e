// The stand-alone muxer: a small window that joins the first track of one
// file and the whole of a second file into a new MP4 beside the first, with
// MP4Box from the program's tools folder. Opened with F2 while no job runs.
#pragma once

#include <QStringList>
#include <QWidget>

#include <string>

#include "job/tool_paths.h"
#include "platform/ini_file.h"

class QFileDialog;
class QListWidget;
class QPushButton;

namespace desktop {
struct UiTexts;
}

namespace muxer {

// Streams the window takes: .mp4 .264 .h264 .avc .m4a .aac, by the lower-cased
// extension of the file name (.m4v is offered by the dialog but refused).
bool IsAcceptedStream(const std::string& path);

// A free output path beside `firstEntry`: its path without extension +
// suffix + ".mp4", else with 1, 2, ... before the suffix.
std::string IncName2(const std::string& firstEntry, const std::string& suffix);

// The open dialog's three file-type entries in the interface language.
QStringList StreamDialogFilters(bool russianUi);

class MuxerWindow : public QWidget {
  Q_OBJECT

 public:
  MuxerWindow(bool russianUi, job::ToolPaths paths, std::string settingsPath,
              QWidget* parent = nullptr);

  void showCentredOn(QWidget* mainWindow);

  // Full paths of the listed files, in the order shown.
  const QStringList& entries() const { return fullPaths_; }
  // Appends `path` when its extension is accepted; returns whether it did.
  bool addEntry(const QString& path);

 protected:
  // The open dialog; returns the chosen path or an empty text. Tests replace it.
  virtual QString askForStreamFile();

  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void addFromDialog();
  void deleteSelected();
  void clearEntries();
  void build();
  void revealLastOutput();

  const desktop::UiTexts& texts_;
  const job::ToolPaths paths_;
  platform::IniFile settings_;
  QFileDialog* openDialog_ = nullptr;
  QListWidget* names_ = nullptr;  // file names as shown
  QStringList fullPaths_;         // the full path of each shown name, row for row
};

}  // namespace muxer
