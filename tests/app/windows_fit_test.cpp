// Every window of the program in both languages, in the fonts that the
// set-up installs: each text fits its control and runs into no neighbour.
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include "app/main_window.h"
#include "desktop/language.h"
#include "desktop/message_box.h"
#include "desktop/ui_texts.h"
#include "intake/frame_rate_chooser.h"
#include "muxer/muxer_window.h"
#include "tests/support/text_fit.h"
#include "tool_folder.h"

namespace {

// Runs `check` on the modal window that `open` shows, then closes it.
void WhileModal(const std::function<void()>& open, const std::function<void(QWidget*)>& check) {
  bool checked = false;
  QTimer::singleShot(0, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal != nullptr);
    check(modal);
    checked = true;
    modal->close();
  });
  open();
  QVERIFY(checked);
}

void ExpectFit(QWidget* window) {
  const QStringList problems = TextsThatDoNotFit(window);
  QVERIFY2(problems.isEmpty(), qPrintable(window->windowTitle() + ":\n" + problems.join('\n')));
}

}  // namespace

class WindowsFitTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { desktop::SetMessageHandler({}); }

  void everyWindow_data() {
    QTest::addColumn<bool>("russian");
    QTest::newRow("Russian") << true;
    QTest::newRow("English") << false;
  }
  void everyWindow() {
    QFETCH(bool, russian);
    desktop::UseToolkitLanguage(russian);
    ToolFolder folder;
    app::StartupOptions options;
    options.paths = job::ToolPaths::ForProgramDir(folder.programDir());
    options.russianUi = russian;
    app::MainWindow window(options);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ExpectFit(&window);

    // Each mode's dialog, also with the quality-based boxes ticked, which
    // hide some controls and show others.
    for (int mode : {job::kPreview, job::kStandard}) {
      WhileModal([&] { window.OpenModeSettings(mode); }, [&](QWidget* dialog) {
        ExpectFit(dialog);
        for (const char* name : {"deluxeSound", "sdDeluxe"}) {
          auto* box = dialog->findChild<QCheckBox*>(name);
          if (box->isVisibleTo(dialog)) box->setChecked(!box->isChecked());
          ExpectFit(dialog);
        }
      });
    }

    window.ShowMuxer();
    auto* muxer = window.findChild<muxer::MuxerWindow*>();
    QVERIFY(muxer->isVisible());
    ExpectFit(muxer);
    muxer->close();

    auto* chooser = window.findChild<intake::FrameRateChooser*>();
    chooser->attachWav("/music/a rather long name for a voice over.wav");
    chooser->show();
    ExpectFit(chooser);
    chooser->hide();

    const desktop::UiTexts& texts = desktop::TextsFor(russian);
    const QList<desktop::MessageRequest> boxes = {
        {QMessageBox::Critical, texts.selectFile, {}, false},
        {QMessageBox::Critical, texts.selectMode, {}, false},
        {QMessageBox::NoIcon, texts.allDone, {}, false},
        {QMessageBox::Critical, texts.modesFailed + texts.modeNames[0] + ", " + texts.modeNames[2], {}, false},
        {QMessageBox::Warning, texts.quitQuery, {}, true},
        {QMessageBox::Critical, texts.noHelp, {}, false},
        {QMessageBox::Critical, texts.noHelpViewer, {}, false},
        {QMessageBox::Critical, texts.unsupported, {}, false},
        {QMessageBox::NoIcon, "fps can not be - 0", {}, false},
        {QMessageBox::Critical, QString::fromUtf8("Приложение уже запущено."), {}, false},
    };
    for (const desktop::MessageRequest& request : boxes) {
      WhileModal([&] { desktop::ShowMessage(&window, request); }, [](QWidget* box) { ExpectFit(box); });
    }
    desktop::UseToolkitLanguage(false);
  }
};

QTEST_MAIN(WindowsFitTest)
#include "windows_fit_test.moc"
