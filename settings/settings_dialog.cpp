#include "settings/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <QSlider>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <functional>

#include "desktop/window_placement.h"

namespace settings {

namespace {

constexpr int kVideoReserve = 15;  // kbit/s kept back from the video share
constexpr int kColumnGap = 4;      // pixels between a caption and the control to its right

QString Pick(bool russianUi, const char* russian, const char* english) {
  return russianUi ? QString::fromUtf8(russian) : QString::fromUtf8(english);
}

// A check box takes the width its caption needs; when that is more than it
// was drawn with, the controls to its right move right by the difference.
void FitCaptionBeforeNeighbours(QCheckBox* box, std::initializer_list<QWidget*> rightOfIt) {
  box->resize(box->sizeHint().width(), box->height());
  const int shift = std::max(0, box->x() + box->width() + kColumnGap - std::data(rightOfIt)[0]->x());
  for (QWidget* neighbour : rightOfIt) neighbour->move(neighbour->x() + shift, neighbour->y());
}

ModeSettings DefaultsFor(int mode) {
  return mode == kStandardMode ? StandardDefaults() : PreviewDefaults();
}

}  // namespace

ShownRates ShownRatesFor(int mode, int rateLevel, int balance) {
  ShownRates rates;
  if (mode == kStandardMode) {
    rates.sizeText = QString::number(rateLevel);
    rates.audio = 20 * balance + 70;
  } else {
    rates.sizeText = QString::asprintf("%2.1f", rateLevel / 10.0);
    rates.audio = 5 * balance + 35;
  }
  // Read back from the shown text, so the total always agrees with what the user sees.
  const double megabytesPerMinute = rates.sizeText.toDouble();
  rates.total = static_cast<int>(std::nearbyint(megabytesPerMinute * 1024 * 8 / 60));
  rates.video = rates.total - rates.audio - kVideoReserve;
  return rates;
}

int MinimumRateLevel(int mode) { return mode == kStandardMode ? 5 : 10; }

// The size level's pair of arrows. It has no text of its own: the dialog
// shows the level, converted to MB/min, in the edit beside it.
class SettingsDialog::LevelArrows : public QWidget {
  // An arrow that shows the focus of the pair it belongs to.
  class Arrow : public QToolButton {
   public:
    using QToolButton::QToolButton;

   protected:
    void paintEvent(QPaintEvent* event) override {
      QToolButton::paintEvent(event);
      if (!parentWidget()->hasFocus()) return;
      QStylePainter painter(this);
      QStyleOptionFocusRect frame;
      frame.initFrom(this);
      frame.rect = rect().adjusted(2, 2, -2, -2);
      painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
    }
  };

 public:
  LevelArrows(QWidget* parent, std::function<void()> onChange)
      : QWidget(parent), onChange_(std::move(onChange)) {
    auto* up = new Arrow(this);
    up->setObjectName("levelUp");
    up->setArrowType(Qt::UpArrow);
    up->setGeometry(0, 0, 17, 11);
    auto* down = new Arrow(this);
    down->setObjectName("levelDown");
    down->setArrowType(Qt::DownArrow);
    down->setGeometry(0, 11, 17, 12);
    // The pair takes the focus as one control, as an up-down control does:
    // the arrow keys step the level, the page keys step it by ten.
    for (QToolButton* button : {up, down}) {
      button->setAutoRepeat(true);
      button->setFocusPolicy(Qt::NoFocus);
    }
    setFocusPolicy(Qt::StrongFocus);
    connect(up, &QToolButton::clicked, this, [this] { step(+1); });
    connect(down, &QToolButton::clicked, this, [this] { step(-1); });
  }

  int position() const { return position_; }
  void setMinimum(int minimum) {
    minimum_ = minimum;
    position_ = std::clamp(position_, minimum_, kMaximumRateLevel);
  }
  void setPosition(int position) { position_ = std::clamp(position, minimum_, kMaximumRateLevel); }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Up: step(+1); return;
      case Qt::Key_Down: step(-1); return;
      case Qt::Key_PageUp: step(+kPageStep); return;
      case Qt::Key_PageDown: step(-kPageStep); return;
      default: QWidget::keyPressEvent(event);
    }
  }
  void focusInEvent(QFocusEvent* event) override {
    QWidget::focusInEvent(event);
    for (QWidget* arrow : findChildren<QToolButton*>()) arrow->update();
  }
  void focusOutEvent(QFocusEvent* event) override {
    QWidget::focusOutEvent(event);
    for (QWidget* arrow : findChildren<QToolButton*>()) arrow->update();
  }

 private:
  static constexpr int kPageStep = 10;

  void step(int delta) {
    const int next = std::clamp(position_ + delta, minimum_, kMaximumRateLevel);
    if (next == position_) return;
    position_ = next;
    onChange_();
  }

  std::function<void()> onChange_;
  int minimum_ = 10;
  int position_ = 10;
};

SettingsDialog::SettingsDialog(bool russianUi, QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(273, 331);
  QFont smallFont = font();
  smallFont.setPixelSize(11);
  setFont(smallFont);
  setWindowTitle(QString::fromUtf8("Настройки"));
  buildControls(russianUi);
}

void SettingsDialog::buildControls(bool russianUi) {
  const auto label = [](QWidget* parent, const QString& text, QRect geometry, const char* name = "") {
    auto* created = new QLabel(text, parent);
    created->setGeometry(geometry);
    created->setObjectName(name);
    desktop::WidenToFit(created);
    return created;
  };
  const auto figure = [](QWidget* parent, QRect geometry, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(geometry);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setEnabled(false);
    return edit;
  };

  sizeGroup_ = new QGroupBox(Pick(russianUi, "Общий битрейт", "Total bitrate"), this);
  sizeGroup_->setGeometry(8, 16, 113, 73);
  sizeText_ = figure(sizeGroup_, {8, 32, 33, 21}, "sizeText");
  level_ = new LevelArrows(sizeGroup_, [this] { recalculate(); });
  level_->setGeometry(41, 31, 17, 23);
  label(sizeGroup_, Pick(russianUi, "МБ/мин", "MB/min"), {64, 36, 41, 13});

  balanceGroup_ = new QGroupBox(Pick(russianUi, "Баланс качества", "Quality balance"), this);
  balanceGroup_->setGeometry(128, 16, 137, 73);
  label(balanceGroup_, Pick(russianUi, "Видео", "Video"), {8, 36, 31, 13});
  balance_ = new QSlider(Qt::Horizontal, balanceGroup_);
  balance_->setObjectName("balance");
  balance_->setGeometry(45, 22, 52, 41);
  balance_->setRange(kMinimumBalance, kMaximumBalance);
  balance_->setPageStep(1);
  balance_->setTickPosition(QSlider::TicksBothSides);
  balance_->setTickInterval(1);
  connect(balance_, &QSlider::valueChanged, this, &SettingsDialog::recalculate);
  label(balanceGroup_, Pick(russianUi, "Аудио", "Audio"), {99, 36, 30, 13});

  ratesGroup_ = new QGroupBox(
      Pick(russianUi, "Индивидуальные битрейты, кбит/сек", "Individual bitrates, Kbit/sec"), this);
  ratesGroup_->setGeometry(8, 104, 257, 73);
  label(ratesGroup_, Pick(russianUi, "Видео", "Video"), {16, 24, 31, 13});
  audioLabel_ = label(ratesGroup_, Pick(russianUi, "Аудио", "Audio"), {113, 24, 30, 13}, "audioLabel");
  totalLabel_ = label(ratesGroup_, Pick(russianUi, "Общий", "Total"), {200, 24, 35, 13}, "totalLabel");
  videoRate_ = figure(ratesGroup_, {11, 40, 50, 21}, "videoRate");
  audioRate_ = figure(ratesGroup_, {103, 40, 50, 21}, "audioRate");
  totalRate_ = figure(ratesGroup_, {195, 40, 50, 21}, "totalRate");

  auto* widthGroup = new QGroupBox(Pick(russianUi, "Изменение разрешения", "New resolution"), this);
  widthGroup->setGeometry(8, 184, 257, 89);
  newWidth_ = new QCheckBox(Pick(russianUi, "Новая горизонталь", "New width"), widthGroup);
  newWidth_->setObjectName("newWidth");
  newWidth_->setGeometry(16, 24, 121, 17);
  widthList_ = new QComboBox(widthGroup);
  widthList_->setObjectName("widthList");
  widthList_->setGeometry(144, 22, 57, 21);
  QLabel* pixels = label(widthGroup, Pick(russianUi, "пикс.", "pix."), {208, 26, 27, 13});
  sdDeluxe_ = new QCheckBox(Pick(russianUi, "Режим SD-делюкс", "SD deluxe mode"), widthGroup);
  sdDeluxe_->setObjectName("sdDeluxe");
  sdDeluxe_->setGeometry(16, 56, 225, 17);
  deluxeSound_ = new QCheckBox(Pick(russianUi, "Делюкс звук", "Deluxe sound"), widthGroup);
  deluxeSound_->setObjectName("deluxeSound");
  deluxeSound_->setGeometry(144, 56, 97, 17);
  FitCaptionBeforeNeighbours(newWidth_, {widthList_, pixels});
  FitCaptionBeforeNeighbours(sdDeluxe_, {deluxeSound_});
  // Each reaction runs when its box changes state, whether the user or the dialog changed it.
  connect(newWidth_, &QCheckBox::toggled, this, &SettingsDialog::applyWidthRule);
  connect(sdDeluxe_, &QCheckBox::toggled, this, &SettingsDialog::showBitrateControls);
  connect(deluxeSound_, &QCheckBox::toggled, this, &SettingsDialog::showAudioFigures);

  auto* ok = new QPushButton(Pick(russianUi, "Принять", "Accept"), this);
  ok->setObjectName("accept");
  ok->setGeometry(14, 288, 75, 25);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* cancel = new QPushButton(Pick(russianUi, "Отменить", "Cancel"), this);
  cancel->setObjectName("cancel");
  cancel->setGeometry(99, 288, 75, 25);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* defaults = new QPushButton(Pick(russianUi, "Сброс", "Defaults"), this);
  defaults->setObjectName("defaults");
  defaults->setGeometry(185, 288, 75, 25);
  connect(defaults, &QPushButton::clicked, this, &SettingsDialog::restoreDefaults);
  for (QPushButton* button : {ok, cancel, defaults}) button->setAutoDefault(false);
}

bool SettingsDialog::editMode(int mode, ModeSettings& values, const QString& caption,
                              QWidget* mainWindow) {
  mode_ = mode;
  setWindowTitle(caption);
  desktop::CentreOn(this, mainWindow);
  widths_ = values.widths.empty() ? DefaultsFor(mode).widths : values.widths;
  fill(values);
  if (exec() != QDialog::Accepted) return false;
  storeInto(values);
  return true;
}

void SettingsDialog::restoreDefaults() {
  widths_ = DefaultsFor(mode_).widths;
  fill(DefaultsFor(mode_));
}

void SettingsDialog::fill(const ModeSettings& values) {
  const bool standard = mode_ == kStandardMode;
  // Preview has neither quality-based variant: its boxes are hidden and unticked.
  sdDeluxe_->setVisible(standard);
  deluxeSound_->setVisible(standard);
  level_->setMinimum(MinimumRateLevel(mode_));
  widthList_->clear();
  for (const std::string& width : widths_) widthList_->addItem(QString::fromStdString(width));

  balance_->setValue(values.balance);
  level_->setPosition(values.rateLevel);
  widthList_->setCurrentIndex(std::clamp<int>(values.widthIndex, 0, widthList_->count() - 1));
  newWidth_->setChecked(values.newWidth);
  deluxeSound_->setChecked(standard && values.deluxeSound);
  // SD deluxe needs the new width, so a stored flag without it is dropped.
  sdDeluxe_->setChecked(standard && values.sdDeluxe && newWidth_->isChecked());
  recalculate();
  // A box set to the state it already had ran no reaction, so the controls
  // that depend on the boxes are brought in line here.
  showBitrateControls();
  showAudioFigures();
}

void SettingsDialog::recalculate() {
  const ShownRates rates = ShownRatesFor(mode_, level_->position(), balance_->value());
  sizeText_->setText(rates.sizeText);
  audioRate_->setText(QString::number(rates.audio));
  totalRate_->setText(QString::number(rates.total));
  videoRate_->setText(QString::number(rates.video));
  applyWidthRule();
}

void SettingsDialog::applyWidthRule() {
  const bool on = newWidth_->isChecked();
  widthList_->setEnabled(on);
  if (!on) sdDeluxe_->setChecked(false);
  sdDeluxe_->setEnabled(on);
  deluxeSound_->setEnabled(true);
}

void SettingsDialog::showBitrateControls() {
  // SD deluxe encodes by quality, so the size controls mean nothing then.
  const bool bySize = !sdDeluxe_->isChecked();
  for (QGroupBox* group : {balanceGroup_, sizeGroup_, ratesGroup_}) group->setVisible(bySize);
}

void SettingsDialog::showAudioFigures() {
  // Quality-based sound has no bitrate to show, nor a total.
  const bool byBitrate = !deluxeSound_->isChecked();
  for (QWidget* figure : std::initializer_list<QWidget*>{audioLabel_, totalLabel_, audioRate_, totalRate_})
    figure->setVisible(byBitrate);
}

void SettingsDialog::storeInto(ModeSettings& values) const {
  values.rateLevel = static_cast<uint8_t>(level_->position());
  values.balance = static_cast<uint8_t>(balance_->value());
  values.widthIndex = widthList_->currentIndex();
  values.newWidth = newWidth_->isChecked();
  if (mode_ == kStandardMode) {
    values.sdDeluxe = sdDeluxe_->isChecked();
    values.deluxeSound = deluxeSound_->isChecked();
  }
}

}  // namespace settings
