// Modal message boxes placed at a screen position, and the one seam through
// which tests answer them.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>

class QWidget;

namespace desktop {

struct MessageRequest {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString text;
  QPoint topLeft;      // null: where the window system puts it
  bool yesNo = false;  // Yes and No buttons instead of OK
  QString details = {};  // when not empty, shown by the box's "Show Details..." button
  // The title bar's text; callers leave it empty and ShowMessage fills it in
  // by the icon: "Error", "Warning", or the application title for a box
  // without an icon.
  QString title = {};
};

// The application title (the taskbar button's text) of the moment, which a
// box without an icon carries; the main window keeps it up to date.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

// Keeps a box where it belongs once it shows: its frame's top-left corner at
// the point asked for (the window system's choice when there is none), and
// the whole frame on the screen's free area, also after the box has grown.
class BoxPlacement : public QObject {
 public:
  BoxPlacement(QWidget* box, QPoint frameTopLeft);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Place();

  QWidget* box_;
  QPoint wanted_;
};

// Shows the box and returns the button pressed (QMessageBox::Ok, Yes or No).
// The buttons stay English in both languages.
QMessageBox::StandardButton ShowMessage(QWidget* owner, const MessageRequest& request);

// Replaces the boxes (for tests); an empty function restores them. The
// handler sees the request with its title filled in.
using MessageHandler = std::function<QMessageBox::StandardButton(const MessageRequest&)>;
void SetMessageHandler(MessageHandler handler);

}  // namespace desktop
