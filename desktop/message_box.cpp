#include "desktop/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTextEdit>

namespace desktop {

namespace {

MessageHandler& Handler() {
  static MessageHandler handler;
  return handler;
}

QString TitleFor(QMessageBox::Icon icon) {
  switch (icon) {
    case QMessageBox::Critical: return "Error";
    case QMessageBox::Warning: return "Warning";
    default: return QApplication::applicationDisplayName();
  }
}

}  // namespace

void SetMessageHandler(MessageHandler handler) { Handler() = std::move(handler); }

QMessageBox::StandardButton ShowMessage(QWidget* owner, const MessageRequest& request) {
  if (Handler()) return Handler()(request);
  // Headless runs (KELVARION_MESSAGE_LOG names a file) write the box's text
  // there instead of waiting for a click; a question is answered No.
  if (const QString log = qEnvironmentVariable("KELVARION_MESSAGE_LOG"); !log.isEmpty()) {
    QFile file(log);
    if (file.open(QIODevice::Append)) {
      file.write(request.text.toUtf8() + "\n");
      if (!request.details.isEmpty()) file.write(request.details.toUtf8() + "\n");
    }
    return request.yesNo ? QMessageBox::No : QMessageBox::Ok;
  }
  QMessageBox box(request.icon, TitleFor(request.icon), request.text, QMessageBox::NoButton, owner);
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
