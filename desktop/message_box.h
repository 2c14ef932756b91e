// Modal message boxes placed at a screen position, and the one seam through
// which tests answer them.
#pragma once

#include <QMessageBox>
#include <QPoint>
#include <QString>

#include <functional>

class QWidget;

namespace desktop {

struct MessageRequest {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString text;
  QPoint topLeft;
  bool yesNo = false;  // Yes and No buttons instead of OK
  QString details = {};  // when not empty, shown by the box's "Show Details..." button
};

// Shows the box and returns the button pressed (QMessageBox::Ok, Yes or No).
// The title is "Error" or "Warning" by the icon, the application title for a
// box without one; the buttons stay English in both languages.
QMessageBox::StandardButton ShowMessage(QWidget* owner, const MessageRequest& request);

// Replaces the boxes (for tests); an empty function restores them.
using MessageHandler = std::function<QMessageBox::StandardButton(const MessageRequest&)>;
void SetMessageHandler(MessageHandler handler);

}  // namespace desktop
