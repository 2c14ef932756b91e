#include "desktop/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QMetaEnum>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>

#include "desktop/window_placement.h"

namespace desktop {

namespace {

MessageHandler& Handler() {
  static MessageHandler handler;
  return handler;
}

QString& StoredApplicationTitle() {
  static QString title;
  return title;
}

QString TitleFor(QMessageBox::Icon icon) {
  switch (icon) {
    case QMessageBox::Critical: return "Error";
    case QMessageBox::Warning: return "Warning";
    default: return ApplicationTitle();
  }
}

// One line for the headless message log: icon, title, place and text,
// separated by tabs; a box that the window system places has the place "-".
QByteArray LogLine(const MessageRequest& request) {
  const QString place = request.topLeft.isNull()
                            ? QString("-")
                            : QString("%1,%2").arg(request.topLeft.x()).arg(request.topLeft.y());
  const char* icon = QMetaEnum::fromType<QMessageBox::Icon>().valueToKey(request.icon);
  return QStringList{icon, request.title, place, request.text}.join('\t').toUtf8() + "\n";
}

const QSize kDetailsSize(520, 220);

// A title bar holds the title beside the window manager's buttons; a box
// narrower than that shows its title cut. The room is made in the box's
// own layout, which the box sizes itself by.
void KeepTitleWhole(QMessageBox& box) {
  QFont titleFont = box.font();
  titleFont.setBold(true);
  constexpr int kButtonsAndMargins = 120;
  const int wanted = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kButtonsAndMargins;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()); grid != nullptr) {
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
  }
}

}  // namespace

BoxPlacement::BoxPlacement(QWidget* box, QPoint frameTopLeft) : QObject(box), box_(box), wanted_(frameTopLeft) {
  box_->installEventFilter(this);
  // Placed by its frame, the box's client area lies below and right of the
  // point by the frame's edges; until the window manager tells them, those
  // of the box's owner are the best guess, which the first showing checks.
  const QWidget* owner = box_->parentWidget() != nullptr ? box_->parentWidget()->window() : nullptr;
  const QPoint frameEdge = owner != nullptr && owner->isVisible() ? owner->geometry().topLeft() - owner->pos() : QPoint();
  if (!wanted_.isNull()) box_->move(wanted_ + frameEdge);
}

bool BoxPlacement::eventFilter(QObject* watched, QEvent* event) {
  if (watched == box_) {
    if (event->type() == QEvent::Show) {
      WhenFramed(box_, [this] { Place(); });
    } else if (event->type() == QEvent::Resize && box_->isVisible()) {
      // Its details shown, a box grows; it stays whole on the screen.
      QTimer::singleShot(0, this, [this] { Place(); });
    }
  }
  return QObject::eventFilter(watched, event);
}

void BoxPlacement::Place() {
  if (!box_->isVisible()) return;
  const QRect frame = FrameGeometry(box_);
  QPoint target = wanted_.isNull() ? frame.topLeft() : wanted_;
  if (const QScreen* screen = box_->screen(); screen != nullptr) {
    const QRect area = screen->availableGeometry();
    target.setX(std::max(area.left(), std::min(target.x(), area.right() + 1 - frame.width())));
    target.setY(std::max(area.top(), std::min(target.y(), area.bottom() + 1 - frame.height())));
  }
  if (target != frame.topLeft()) MoveFrameTo(box_, target);
}

void SetApplicationTitle(const QString& title) { StoredApplicationTitle() = title; }

QString ApplicationTitle() {
  return StoredApplicationTitle().isEmpty() ? QApplication::applicationDisplayName() : StoredApplicationTitle();
}

void SetMessageHandler(MessageHandler handler) { Handler() = std::move(handler); }

QMessageBox::StandardButton ShowMessage(QWidget* owner, const MessageRequest& asked) {
  MessageRequest request = asked;
  if (request.title.isEmpty()) request.title = TitleFor(request.icon);
  if (Handler()) return Handler()(request);
  // Headless runs (KELVARION_MESSAGE_LOG names a file) write the box there
  // instead of waiting for a click; a question is answered No.
  if (const QString log = qEnvironmentVariable("KELVARION_MESSAGE_LOG"); !log.isEmpty()) {
    QFile file(log);
    if (file.open(QIODevice::Append)) {
      file.write(LogLine(request));
      if (!request.details.isEmpty()) file.write(request.details.toUtf8() + "\n");
    }
    return request.yesNo ? QMessageBox::No : QMessageBox::Ok;
  }
  QMessageBox box(request.icon, request.title, request.text, QMessageBox::NoButton, owner);
  if (request.yesNo) {
    box.addButton(QMessageBox::Yes)->setText("&Yes");
    box.addButton(QMessageBox::No)->setText("&No");
  } else {
    box.addButton(QMessageBox::Ok)->setText("OK");
  }
  box.setDetailedText(request.details);
  // Command lines are long: the details area gets room for them.
  // The box gives the area a fixed height of its own; only one that it
  // knows of keeps the box's layout whole.
  if (auto* area = box.findChild<QTextEdit*>(); area != nullptr) {
    area->setMinimumWidth(kDetailsSize.width());
    area->setFixedHeight(kDetailsSize.height());
  }
  KeepTitleWhole(box);
  BoxPlacement placement(&box, request.topLeft);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace desktop
