#include "proc/progress_message.h"

#include <QCoreApplication>

namespace proc {

ProgressEvent::ProgressEvent(int wParam, int lParam)
    : QEvent(eventType()), wParam_(wParam), lParam_(lParam) {}

QEvent::Type ProgressEvent::eventType() {
  // Registered on first use; the static's initialisation is thread-safe.
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void PostProgress(QObject* target, int wParam, int lParam) {
  QCoreApplication::postEvent(target, new ProgressEvent(wParam, lParam));
}

}  // namespace proc
