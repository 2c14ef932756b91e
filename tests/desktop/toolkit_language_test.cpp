// The toolkit's own dialogs follow the interface language, while the
// program's message boxes keep their English buttons in both.
#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QtTest>

#include "desktop/language.h"
#include "desktop/message_box.h"

namespace {

QStringList ButtonTexts(QWidget* window) {
  QStringList texts;
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
    if (button->isVisibleTo(window) && !button->text().isEmpty()) texts << button->text();
  texts.sort();
  return texts;
}

// The buttons of the box that ShowMessage shows.
QStringList BoxButtons(bool yesNo) {
  QStringList texts;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    texts = ButtonTexts(box);
    box->close();
  });
  desktop::ShowMessage(nullptr, {QMessageBox::Warning, "?", QPoint(), yesNo});
  return texts;
}

QStringList FileDialogButtons() {
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  return ButtonTexts(dialog.findChild<QDialogButtonBox*>());
}

QStringList EditMenu() {
  QLineEdit edit("text");
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  QStringList texts;
  for (QAction* action : menu->actions())
    if (!action->isSeparator()) texts << action->text().section('\t', 0, 0);
  return texts;
}

}  // namespace

class ToolkitLanguageTest : public QObject {
  Q_OBJECT

 private slots:
  void russianInterfaceRussianToolkit() {
    QVERIFY(desktop::UseToolkitLanguage(true));
    QCOMPARE(FileDialogButtons(), (QStringList{QString::fromUtf8("&Открыть"), QString::fromUtf8("Отмена")}));
    QVERIFY2(EditMenu().contains(QString::fromUtf8("В&ставить")), qPrintable(EditMenu().join(", ")));
    // The boxes' own buttons stay English.
    QCOMPARE(BoxButtons(false), QStringList{"OK"});
    QCOMPARE(BoxButtons(true), (QStringList{"&No", "&Yes"}));
  }

  void englishInterfaceEnglishToolkit() {
    QVERIFY(desktop::UseToolkitLanguage(true));
    QVERIFY(desktop::UseToolkitLanguage(false));
    QCOMPARE(FileDialogButtons(), (QStringList{"&Open", "Cancel"}));
    QVERIFY(EditMenu().contains("&Paste"));
    QCOMPARE(BoxButtons(true), (QStringList{"&No", "&Yes"}));
  }
};

QTEST_MAIN(ToolkitLanguageTest)
#include "toolkit_language_test.moc"
