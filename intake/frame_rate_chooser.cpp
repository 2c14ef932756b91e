#include "intake/frame_rate_chooser.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QValidator>

#include <algorithm>
#include <limits>

#include "desktop/drops.h"
#include "desktop/message_box.h"
#include "desktop/open_dialog.h"
#include "desktop/title_buttons.h"
#include "desktop/window_placement.h"

namespace intake {

namespace {

// Remembers the text an edit last accepted, so that each change can be
// told apart from what was there: only what the change inserts is filtered.
class InsertionFilter {
 public:
  InsertionFilter(QChar (*filter)(QChar), int maxLength) : filter_(filter), maxLength_(maxLength) {}

  // Filters `text` in place; false when the change is refused.
  bool Apply(QString& text, int& cursor) const {
    const std::optional<QString> kept = FilterInsertion(accepted_, text, cursor, filter_, maxLength_);
    if (!kept) return false;
    text = *kept;
    return true;
  }
  void Accept(const QString& text) const { accepted_ = text; }

 private:
  QChar (*filter_)(QChar);
  int maxLength_;
  mutable QString accepted_;
};

// The frame-rate box's rule for whatever enters it.
class FrameRateValidator : public QValidator {
 public:
  explicit FrameRateValidator(QObject* parent)
      : QValidator(parent), filter_(FilterFrameRateChar, FrameRateChooser::kFrameRateMaxLength) {}

  State validate(QString& text, int& cursor) const override {
    if (!filter_.Apply(text, cursor)) return Invalid;
    filter_.Accept(text);
    return Acceptable;
  }

 private:
  InsertionFilter filter_;
};

// A frame number box without bounds whose text may also be empty while the
// user edits it; an empty text counts as 0 instead of snapping back. What
// enters it passes the digit filter; the box's own text for its value (a
// negative one after stepping down past 0) needs none.
class FrameNumberBox : public QSpinBox {
 public:
  explicit FrameNumberBox(QWidget* parent) : QSpinBox(parent), filter_(FilterFrameNumberChar, 0) {
    setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    setSingleStep(1);
    setValue(0);
  }
  QLineEdit* editor() const { return lineEdit(); }

 protected:
  QValidator::State validate(QString& text, int& pos) const override {
    if (text != textFromValue(value()) && !filter_.Apply(text, pos)) return QValidator::Invalid;
    const QValidator::State state = text.isEmpty() ? QValidator::Acceptable : QSpinBox::validate(text, pos);
    if (state != QValidator::Invalid) filter_.Accept(text);
    return state;
  }
  int valueFromText(const QString& text) const override {
    return text.isEmpty() ? 0 : QSpinBox::valueFromText(text);
  }

 private:
  InsertionFilter filter_;
};

int ReadFrameNumber(const QSpinBox* box) {
  bool ok = false;
  const int value = box->text().toInt(&ok);
  return ok ? value : 0;
}

}  // namespace

QChar FilterFrameNumberChar(QChar typed) {
  return typed >= u'0' && typed <= u'9' ? typed : QChar();
}

QChar FilterFrameRateChar(QChar typed) {
  if (typed == u',' || typed == u'.') return u'.';
  return FilterFrameNumberChar(typed);
}

std::optional<QString> FilterInsertion(const QString& before, const QString& after, int& cursor,
                                       QChar (*filter)(QChar), int maxLength) {
  cursor = std::clamp<int>(cursor, 0, after.size());
  int start = 0;
  while (start < cursor && start < before.size() && before[start] == after[start]) ++start;
  QString inserted;
  for (QChar typed : after.mid(start, cursor - start)) {
    if (const QChar kept = filter(typed); !kept.isNull()) inserted += kept;
  }
  const QString tail = after.mid(cursor);
  if (maxLength > 0) inserted.truncate(std::max(0, maxLength - start - int(tail.size())));
  if (inserted.isEmpty() && cursor > start) return std::nullopt;
  cursor = start + int(inserted.size());
  return after.left(start) + inserted + tail;
}

FrameRateChooser::FrameRateChooser(bool russianUi, QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowStaysOnTopHint);
  setFixedSize(274, 205);
  QFont smallFont = font();
  smallFont.setPixelSize(11);
  setFont(smallFont);
  setAcceptDrops(true);
  buildControls(russianUi);
}

void FrameRateChooser::buildControls(bool russianUi) {
  setWindowTitle(russianUi ? QString::fromUtf8("Выберите FPS") : QStringLiteral("Choose FPS"));

  frameRate_ = new QComboBox(this);
  frameRate_->setGeometry(96, 8, 73, 21);
  frameRate_->setEditable(true);
  frameRate_->setInsertPolicy(QComboBox::NoInsert);
  frameRate_->addItems({"23.976", "24.000", "25.000", "29.970", "30.000"});
  frameRate_->setCurrentIndex(2);
  // Typed or pasted, only what the key rule lets through enters the box.
  frameRate_->setValidator(new FrameRateValidator(frameRate_));

  firstLabel_ = new QLabel(russianUi ? QString::fromUtf8("Первый") : QStringLiteral("First"), this);
  firstLabel_->setGeometry(40, 40, 40, 13);
  auto* first = new FrameNumberBox(this);
  first->setGeometry(16, 64, 97, 22);
  firstFrame_ = first;

  lastLabel_ = new QLabel(russianUi ? QString::fromUtf8("Последний") : QStringLiteral("Last"), this);
  lastLabel_->setGeometry(176, 40, 56, 13);
  for (QLabel* label : {firstLabel_, lastLabel_}) desktop::WidenToFit(label);
  auto* last = new FrameNumberBox(this);
  last->setGeometry(160, 64, 97, 22);
  lastFrame_ = last;

  wavLabel_ = new QLabel(QStringLiteral("WAV"), this);
  wavLabel_->setGeometry(120, 104, 25, 13);
  wavEdit_ = new QLineEdit(this);
  wavEdit_->setGeometry(40, 128, 193, 21);
  wavEdit_->setReadOnly(true);
  wavEdit_->setToolTip(QString::fromUtf8("Добовление *.wav"));

  // The first letter is a Latin capital A.
  openVideo3_ = desktop::MakeOpenDialog(
      this, {desktop::NameFilter(QString::fromUtf8("A\u0443\u0434\u0438\u043e(*.wav)"), "*.wav")});

  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setGeometry(96, 168, 75, 25);
  // OK is the window's default button: Enter anywhere but in the sound
  // field presses it.
  okButton_->setAutoDefault(false);
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &FrameRateChooser::confirm);

  // Drops land on the window wherever they fall, so no child takes them as text.
  for (QLineEdit* edit : {frameRate_->lineEdit(), first->editor(), last->editor(), wavEdit_})
    edit->setAcceptDrops(false);

  wavEdit_->installEventFilter(this);

  setTabOrder(lastFrame_, firstFrame_);
  setTabOrder(firstFrame_, frameRate_);
  setTabOrder(frameRate_, okButton_);
  setTabOrder(okButton_, wavEdit_);
}

void FrameRateChooser::setFrameRange(int first, int last) {
  firstFrame_->setValue(first);
  lastFrame_->setValue(last);
}

int FrameRateChooser::execCentredOn(QWidget* mainWindow) {
  desktop::CentreOn(this, mainWindow);
  return exec();
}

QString FrameRateChooser::frameRateText() const { return frameRate_->currentText(); }
int FrameRateChooser::firstFrame() const { return ReadFrameNumber(firstFrame_); }
int FrameRateChooser::lastFrame() const { return ReadFrameNumber(lastFrame_); }
QString FrameRateChooser::wavName() const { return wavEdit_->text(); }
QString FrameRateChooser::wavPath() const { return wavPath_; }

bool FrameRateChooser::attachWav(const QString& path) {
  const QFileInfo file(path);
  if (path.isEmpty() || file.suffix().toLower() != QLatin1String("wav")) return false;
  wavPath_ = path;
  wavEdit_->setText(file.fileName());
  wavEdit_->setToolTip(path);
  return true;
}

void FrameRateChooser::detachWav() {
  wavPath_.clear();
  wavEdit_->clear();
  wavEdit_->setToolTip(QString());
}

void FrameRateChooser::reject() {}

QString FrameRateChooser::askForWavFile() {
  // The platform chooses the folder each time.
  openVideo3_->setDirectory(QString());
  return desktop::AskForFile(openVideo3_);
}

void FrameRateChooser::pickWav() { attachWav(askForWavFile()); }

void FrameRateChooser::confirm() {
  if (frameRate_->currentText() == QLatin1String("0")) {
    desktop::MessageRequest request;
    request.text = QStringLiteral("fps can not be - 0");
    request.topLeft = desktop::FrameGeometry(this).topLeft() + QPoint(40, 60);
    desktop::ShowMessage(this, request);
    return;
  }
  accept();
}

bool FrameRateChooser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == wavEdit_) {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
        detachWav();
        return true;
      }
      // From the keyboard the field opens as a click opens it.
      if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
        if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) pickWav();
        return true;
      }
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      pickWav();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void FrameRateChooser::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Button1 is the way out: the frame offers no close button that would do nothing.
  desktop::AskForNoTitleButtons(this);
}

void FrameRateChooser::dragEnterEvent(QDragEnterEvent* event) { event->acceptProposedAction(); }
void FrameRateChooser::dragMoveEvent(QDragMoveEvent* event) { event->acceptProposedAction(); }

void FrameRateChooser::dropEvent(QDropEvent* event) {
  const QString file = desktop::FirstDroppedFile(event->mimeData());
  if (!file.isEmpty()) attachWav(file);
  event->acceptProposedAction();
}

}  // namespace intake
