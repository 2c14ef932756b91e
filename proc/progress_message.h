// The message the tool threads post to the main window: a Qt event carrying
// the two numbers of a stage report. Posted events of one sender arrive in
// the order they were posted.
#pragma once

#include <QEvent>

class QObject;

namespace proc {

// Ends a stage; 100 is an ordinary progress figure.
constexpr int kCompletionCode = 111;

enum StageCode : int {
  kStageVideo = 0,
  kStageAudio = 1,
  kStageMux = 2,
};

class ProgressEvent : public QEvent {
 public:
  ProgressEvent(int wParam, int lParam);
  static QEvent::Type eventType();

  int wParam() const { return wParam_; }
  int lParam() const { return lParam_; }

 private:
  int wParam_;
  int lParam_;
};

// Queues a ProgressEvent for `target`; callable from any thread.
void PostProgress(QObject* target, int wParam, int lParam);

}  // namespace proc
