#include "desktop/window_placement.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>


namespace desktop {

int HalveRoundingToEven(int numerator) {
  const int floorHalf = numerator >= 0 ? numerator / 2 : -((-numerator + 1) / 2);
  const bool isHalf = numerator % 2 != 0;
  return isHalf && floorHalf % 2 != 0 ? floorHalf + 1 : floorHalf;
}

QPoint CentredTopLeft(const QRect& outer, const QSize& size) {
  // Doubling first keeps the sum exact: 2·top + height − size is twice the answer.
  return {HalveRoundingToEven(2 * outer.left() + outer.width() - size.width()),
          HalveRoundingToEven(2 * outer.top() + outer.height() - size.height())};
}

QRect FrameGeometry(const QWidget* window) {
  const QWindow* native = window->windowHandle();
  return native != nullptr && window->isVisible() ? native->frameGeometry() : window->frameGeometry();
}

void MoveFrameTo(QWidget* window, QPoint topLeft) {
  // The client area lies inside the frame by the edges the window system
  // gives now.
  if (const QWindow* native = window->windowHandle(); native != nullptr && window->isVisible()) {
    const QMargins edges = native->frameMargins();
    window->setGeometry(QRect(topLeft + QPoint(edges.left(), edges.top()), window->size()));
  } else {
    window->move(topLeft);
  }
}

void CentreOn(QWidget* window, const QWidget* over) {
  if (over == nullptr) return;
  QSize outerSize = FrameGeometry(window).size();
  // A window that has never been shown has no frame yet; it will get one
  // like the window it is centred on, and is centred again once it has.
  if (outerSize == window->size()) {
    outerSize = window->size() + (FrameGeometry(over).size() - over->size());
    const QPointer<const QWidget> centre(over);
    WhenFramed(window, [window, centre] {
      if (centre != nullptr) MoveFrameTo(window, CentredTopLeft(FrameGeometry(centre), FrameGeometry(window).size()));
    });
  }
  MoveFrameTo(window, CentredTopLeft(FrameGeometry(over), outerSize));
}

void CentreOnScreen(QWidget* window) {
  if (const QScreen* screen = window->screen())
    MoveFrameTo(window, CentredTopLeft(screen->availableGeometry(), FrameGeometry(window).size()));
}

namespace {

// Polls a shown window for its frame, then calls its function and goes.
// A window manager that frames the window only after the first wait (a
// loaded machine) has the function called once more when the frame comes.
class FrameWaiter : public QObject {
 public:
  FrameWaiter(QWidget* window, std::function<void()> then)
      : QObject(window), window_(window), then_(std::move(then)) {
    shown_.start();
    QTimer::singleShot(0, this, [this] { Poll(); });
  }

 private:
  static constexpr int kPollMs = 20;
  static constexpr int kWaitMs = 1000;
  static constexpr int kLateFrameMs = 10000;

  void Poll() {
    const QWindow* native = window_->windowHandle();
    const bool framed = window_->isVisible() && native != nullptr && !native->frameMargins().isNull();
    if (framed || shown_.elapsed() >= kLateFrameMs) {
      if (framed || !calledEarly_) then_();
      deleteLater();
      return;
    }
    if (!calledEarly_ && shown_.elapsed() >= kWaitMs) {
      calledEarly_ = true;
      then_();
    }
    QTimer::singleShot(kPollMs, this, [this] { Poll(); });
  }

  QWidget* window_;
  std::function<void()> then_;
  QElapsedTimer shown_;
  bool calledEarly_ = false;
};

}  // namespace

void WhenFramed(QWidget* window, std::function<void()> then) {
  if (QGuiApplication::platformName() == "offscreen") {
    then();
    return;
  }
  new FrameWaiter(window, std::move(then));
}

void WidenToFit(QWidget* label) {
  const int needed = label->sizeHint().width();
  if (needed > label->width()) label->resize(needed, label->height());
}

}  // namespace desktop
