#include "desktop/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMetaEnum>
#include <QPushButton>
#include <QTextEdit>

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

}  // namespace

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
  if (auto* area = box.findChild<QTextEdit*>(); area != nullptr) area->setMinimumSize(560, 240);
  if (!request.topLeft.isNull()) box.move(request.topLeft);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace desktop
