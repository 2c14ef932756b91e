#include "intake/frame_rate_chooser.h"

#include <QComboBox>
#include <QCoreApplication>
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

#include <limits>

#include "desktop/drops.h"
#include "desktop/message_box.h"
#include "desktop/window_placement.h"

namespace intake {

namespace {

// A frame number box without bounds whose text may also be empty while the
// user edits it; an empty text counts as 0 instead of snapping back.
class FrameNumberBox : public QSpinBox {
 public:
  explicit FrameNumberBox(QWidget* parent) : QSpinBox(parent) {
    setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    setSingleStep(1);
    setValue(0);
  }
  QLineEdit* editor() const { return lineEdit(); }

 protected:
  QValidator::State validate(QString& text, int& pos) const override {
    return text.isEmpty() ? QValidator::Acceptable : QSpinBox::validate(text, pos);
  }
  int valueFromText(const QString& text) const override {
    return text.isEmpty() ? 0 : QSpinBox::valueFromText(text);
  }
};

int ReadFrameNumber(const QSpinBox* box) {
  bool ok = false;
  const int value = box->text().toInt(&ok);
  return ok ? value : 0;
}

// The first letter is a Latin capital A, as in the source dialog's sound entry.
const char kWavFilter[] = "A\u0443\u0434\u0438\u043e(*.wav)";

}  // namespace

QChar FilterFrameNumberChar(QChar typed) {
  return typed >= u'0' && typed <= u'9' ? typed : QChar();
}

QChar FilterFrameRateChar(QChar typed) {
  if (typed == u',' || typed == u'.') return u'.';
  return FilterFrameNumberChar(typed);
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
  frameRate_->lineEdit()->setMaxLength(kFrameRateMaxLength);

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

  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setGeometry(96, 168, 75, 25);
  okButton_->setAutoDefault(false);
  connect(okButton_, &QPushButton::clicked, this, &FrameRateChooser::confirm);

  // Drops land on the window wherever they fall, so no child takes them as text.
  for (QLineEdit* edit : {frameRate_->lineEdit(), first->editor(), last->editor(), wavEdit_})
    edit->setAcceptDrops(false);

  for (QObject* watched : std::initializer_list<QObject*>{frameRate_, frameRate_->lineEdit(), first,
                                                          first->editor(), last, last->editor(), wavEdit_})
    watched->installEventFilter(this);

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
  return QFileDialog::getOpenFileName(this, QString(), QString(), QString::fromUtf8(kWavFilter));
}

void FrameRateChooser::pickWav() { attachWav(askForWavFile()); }

void FrameRateChooser::confirm() {
  if (frameRate_->currentText() == QLatin1String("0")) {
    desktop::MessageRequest request;
    request.text = QStringLiteral("fps can not be - 0");
    request.topLeft = frameGeometry().topLeft() + QPoint(40, 60);
    desktop::ShowMessage(this, request);
    return;
  }
  accept();
}

bool FrameRateChooser::filterTypedKey(QObject* watched, QKeyEvent* key) {
  const QString text = key->text();
  // Navigation, editing and dialog keys carry no printable text and pass.
  if (text.isEmpty() || !text.front().isPrint()) return false;
  const bool rateBox = watched == frameRate_ || watched == frameRate_->lineEdit();
  const QChar kept = text.size() != 1   ? QChar()
                     : rateBox          ? FilterFrameRateChar(text.front())
                                        : FilterFrameNumberChar(text.front());
  if (kept == text.front()) return false;
  if (!kept.isNull()) {
    QKeyEvent replaced(QEvent::KeyPress, Qt::Key_Period, key->modifiers(), QString(kept));
    QCoreApplication::sendEvent(frameRate_->lineEdit(), &replaced);
  }
  return true;
}

bool FrameRateChooser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == wavEdit_) {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
        detachWav();
        return true;
      }
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      pickWav();
      return true;
    }
    return QDialog::eventFilter(watched, event);
  }
  if (event->type() == QEvent::KeyPress && filterTypedKey(watched, static_cast<QKeyEvent*>(event)))
    return true;
  return QDialog::eventFilter(watched, event);
}

void FrameRateChooser::dragEnterEvent(QDragEnterEvent* event) { event->acceptProposedAction(); }
void FrameRateChooser::dragMoveEvent(QDragMoveEvent* event) { event->acceptProposedAction(); }

void FrameRateChooser::dropEvent(QDropEvent* event) {
  const QString file = desktop::FirstDroppedFile(event->mimeData());
  if (!file.isEmpty()) attachWav(file);
  event->acceptProposedAction();
}

}  // namespace intake
