// The small window that asks, before an image sequence is encoded, for its
// frame rate, its frame range and an optional WAV sound track. It is made
// once and keeps its values from one job to the next; the caller writes the
// frame numbers it found before every showing.
#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace intake {

// What a typed printable character becomes in the frame-rate box: a comma
// turns into a dot, digits and the dot pass, anything else is dropped (null).
// Backspace and the other editing keys always pass.
QChar FilterFrameRateChar(QChar typed);
// The frame-number boxes take digits only, besides the editing keys.
QChar FilterFrameNumberChar(QChar typed);

// What an edit of the text `before` leaves when it produced `after` with the
// cursor at `cursor`: the characters it inserted (those before the cursor
// that `before` did not hold there) pass `filter` one by one, whether they
// were typed or pasted, and at most `maxLength` characters stay (0: any
// number), the excess taken from the end of what was inserted. Nothing when
// the edit inserted characters and none of them stays, so that the edit is
// refused as a whole. `cursor` follows the text.
std::optional<QString> FilterInsertion(const QString& before, const QString& after, int& cursor,
                                       QChar (*filter)(QChar), int maxLength);

class FrameRateChooser : public QDialog {
  Q_OBJECT

 public:
  explicit FrameRateChooser(bool russianUi, QWidget* parent = nullptr);

  void setFrameRange(int first, int last);
  // Shows the window modally, centred on the main window; it ends only
  // through the OK button with a frame rate other than "0".
  int execCentredOn(QWidget* mainWindow);

  QString frameRateText() const;
  // An empty or non-numeric text reads as 0.
  int firstFrame() const;
  int lastFrame() const;
  // File-name part and full path of the attached WAV; both empty when none.
  QString wavName() const;
  QString wavPath() const;

  // Attaches `path` when its extension is .wav (any letter case); returns
  // whether it did. Anything else leaves the attached WAV as it was.
  bool attachWav(const QString& path);
  void detachWav();

  static constexpr int kFrameRateMaxLength = 6;

 public slots:
  void reject() override;  // no cancel: Escape and the window manager's close do nothing

 protected:
  // The file dialog that picks a WAV; returns the chosen path, or an empty
  // text when cancelled. Tests replace it.
  virtual QString askForWavFile();

  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildControls(bool russianUi);
  void confirm();
  void pickWav();

  QComboBox* frameRate_ = nullptr;
  QLabel* firstLabel_ = nullptr;
  QSpinBox* firstFrame_ = nullptr;
  QLabel* lastLabel_ = nullptr;
  QSpinBox* lastFrame_ = nullptr;
  QLabel* wavLabel_ = nullptr;
  QLineEdit* wavEdit_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QFileDialog* openVideo3_ = nullptr;
  QString wavPath_;
};

}  // namespace intake
