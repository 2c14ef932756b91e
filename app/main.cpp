// Program entry: one instance only, then the main window and its companions;
// or, with "--job" first, the job runner, which needs no display and no lock.
#include <QApplication>
#include <QIcon>

#include <cstring>

#include "app/job_runner.h"

#include "app/main_window.h"
#include "desktop/language.h"
#include "desktop/message_box.h"
#include "platform/instance_lock.h"
#include "platform/system_info.h"

int main(int argc, char* argv[]) {
  const bool jobRunner = argc > 1 && std::strcmp(argv[1], "--job") == 0;
  // The driver reports through message boxes, which the runner turns into
  // lines; the offscreen platform lets them exist without a display.
  if (jobRunner) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (jobRunner) {
    return app::RunJobCommand(application.arguments().mid(2), job::ToolPaths::ForExecutable(platform::ExecutablePath()),
                              platform::Is64BitSystem());
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
