#include "desktop/desktop_open.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace desktop {

namespace {

std::function<void(const QString&)>& Opener() {
  static std::function<void(const QString&)> opener;
  return opener;
}

}  // namespace

void SetUrlOpener(std::function<void(const QString&)> opener) { Opener() = std::move(opener); }

void OpenWithDesktop(const QString& localPath, QObject* context, std::function<void()> failed) {
  if (Opener()) {
    Opener()(localPath);
    return;
  }
  // gio launches the chosen program and returns at once, telling whether
  // there was one; a desktop without it gets the toolkit's launcher, which
  // can only tell whether it started.
  const QString gio = QStandardPaths::findExecutable("gio");
  if (gio.isEmpty()) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(localPath)) && failed) QTimer::singleShot(0, context, failed);
    return;
  }
  auto* launcher = new QProcess(context);
  launcher->setProgram(gio);
  launcher->setArguments({"open", localPath});
  launcher->setStandardOutputFile(QProcess::nullDevice());
  launcher->setStandardErrorFile(QProcess::nullDevice());
  QObject::connect(launcher, &QProcess::finished, launcher,
                   [launcher, failed](int exitCode, QProcess::ExitStatus status) {
                     if ((status != QProcess::NormalExit || exitCode != 0) && failed) failed();
                     launcher->deleteLater();
                   });
  QObject::connect(launcher, &QProcess::errorOccurred, launcher, [launcher, failed](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    if (failed) failed();
    launcher->deleteLater();
  });
  launcher->start();
}

}  // namespace desktop
