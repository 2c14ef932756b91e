// Program entry: --help and --version answer at once; "--job" first starts
// the job runner, which needs no display and no lock; anything else opens
// the main window and its companions, one instance only.
#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "app/job_runner.h"
#include "app/main_window.h"
#include "desktop/language.h"
#include "desktop/message_box.h"
#include "platform/instance_lock.h"
#include "platform/system_info.h"

namespace {

QStringList ArgumentsAfterProgram(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

void Print(std::FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

// The runner's output is its own lines only: what the toolkit has to say
// about the environment (a missing runtime folder on a compute node, say)
// is no concern of a script reading it.
void KeepQuiet(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtFatalMsg) Print(stderr, "kelvarion: " + message + "\n");
}

// While the window's platform is chosen, the toolkit's complaints about a
// display that does not answer stay unsaid: the program says it in one line.
void QuietAboutDisplays(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg && context.category != nullptr && std::strncmp(context.category, "qt.qpa.", 7) == 0) return;
  Print(stderr, message + "\n");
}

// Whether the window has a display: the toolkit tries the platform that
// the environment names (the desktop's own when none is named), and only
// when that fails takes the offscreen platform, which no user could see.
bool ChooseWindowPlatform() {
  const QByteArray named = qgetenv("QT_QPA_PLATFORM");
  if (named.isEmpty()) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return false;
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb;offscreen" : "wayland;xcb;offscreen");
  } else if (!named.split(';').contains("offscreen")) {
    qputenv("QT_QPA_PLATFORM", named + ";offscreen");
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  const QStringList arguments = ArgumentsAfterProgram(argc, argv);
  switch (app::InfoRequested(arguments)) {
    case app::InfoRequest::Help: Print(stdout, app::HelpText()); return 0;
    case app::InfoRequest::Version: Print(stdout, app::VersionText()); return 0;
    case app::InfoRequest::None: break;
  }

  const bool jobRunner = arguments.value(0) == "--job";
  if (jobRunner) {
    // The driver reports through message boxes, which the runner turns into
    // lines; the offscreen platform lets them exist without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(KeepQuiet);
    QApplication application(argc, argv);
    return app::RunJobCommand(application.arguments().mid(2), job::ToolPaths::ForExecutable(platform::ExecutablePath()),
                              platform::Is64BitSystem());
  }

  const bool offscreenAsked = qgetenv("QT_QPA_PLATFORM") == "offscreen";
  if (!ChooseWindowPlatform()) {
    Print(stderr, app::NoDisplayText());
    return 1;
  }
  const QtMessageHandler previousHandler = qInstallMessageHandler(QuietAboutDisplays);
  QApplication application(argc, argv);
  qInstallMessageHandler(previousHandler);
  if (!offscreenAsked && QGuiApplication::platformName() == "offscreen") {
    Print(stderr, app::NoDisplayText());
    return 1;
  }
  application.setApplicationName("Kelvarion");
  application.setDesktopFileName("kelvarion");
  application.setWindowIcon(QIcon::fromTheme("kelvarion"));

  platform::InstanceLock instanceLock;
  if (!instanceLock.Acquire("Kelvarion3")) {
    // Always Russian: the language has not been chosen yet.
    desktop::ShowMessage(nullptr, {QMessageBox::Critical, "Приложение уже запущено.", QPoint(), false});
    return 0;
  }

  app::StartupOptions options;
  options.paths = job::ToolPaths::ForExecutable(platform::ExecutablePath());
  options.arguments = application.arguments().mid(1);
  options.russianUi = desktop::IsRussianUi();
  desktop::UseToolkitLanguage(options.russianUi);
  options.system64Bit = platform::Is64BitSystem();

  app::MainWindow window(options);
  window.show();
  window.OpenSourceArgument();
  return application.exec();
}
