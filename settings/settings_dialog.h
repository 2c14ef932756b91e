// The dialog that edits the settings of the Preview or the Standard mode:
// size per minute, the video/audio balance, the new width and, for Standard,
// the two quality-based variants. One dialog serves both modes; each opening
// refills it from the mode's values.
#pragma once

#include <QDialog>
#include <QString>

#include "settings/mode_settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QToolButton;

namespace settings {

enum DialogMode { kPreviewMode = 1, kStandardMode = 2 };

// The figures the dialog shows for a size level and a balance, in kbit/s:
// the size text ("4.0" MB/min for Preview level 40, "15" for Standard 15),
// the total read back from that text (× 1024 × 8 / 60, rounded half to
// even), the audio share and the video share (total − audio − 15).
struct ShownRates {
  QString sizeText;
  int total = 0;
  int audio = 0;
  int video = 0;
};
ShownRates ShownRatesFor(int mode, int rateLevel, int balance);

// Lowest size level the arrows allow: 10 tenths for Preview, 5 for Standard;
// both stop at 50.
int MinimumRateLevel(int mode);
constexpr int kMaximumRateLevel = 50;
// The quality balance's slider, from most to video to most to audio.
constexpr int kMinimumBalance = 1;
constexpr int kMaximumBalance = 5;

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SettingsDialog(bool russianUi, QWidget* parent = nullptr);

  // Shows `values` of `mode` under `caption`, centred on the main window,
  // and waits. Accept copies the controls back into `values` and returns
  // true; any other end returns false and leaves `values` as they were.
  // Values outside the controls' ranges are shown clamped into them.
  bool editMode(int mode, ModeSettings& values, const QString& caption, QWidget* mainWindow);

 private:
  class LevelArrows;

  void buildControls(bool russianUi);
  void fill(const ModeSettings& values);
  void restoreDefaults();
  void recalculate();
  void applyWidthRule();
  void showBitrateControls();
  void showAudioFigures();
  void storeInto(ModeSettings& values) const;

  int mode_ = kPreviewMode;
  std::vector<std::string> widths_;

  QGroupBox* balanceGroup_ = nullptr;
  QSlider* balance_ = nullptr;
  QGroupBox* sizeGroup_ = nullptr;
  QLineEdit* sizeText_ = nullptr;
  LevelArrows* level_ = nullptr;
  QGroupBox* ratesGroup_ = nullptr;
  QLabel* audioLabel_ = nullptr;
  QLabel* totalLabel_ = nullptr;
  QLineEdit* videoRate_ = nullptr;
  QLineEdit* audioRate_ = nullptr;
  QLineEdit* totalRate_ = nullptr;
  QCheckBox* newWidth_ = nullptr;
  QComboBox* widthList_ = nullptr;
  QCheckBox* sdDeluxe_ = nullptr;
  QCheckBox* deluxeSound_ = nullptr;
};

}  // namespace settings
