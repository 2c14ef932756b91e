// The error box's "Show Details..." area, shown for real and through the
// headless message log.
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "desktop/message_box.h"

class DetailsBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void theBoxOffersItsDetails() {
    QString shownDetails;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      shownDetails = box->detailedText();
      for (QAbstractButton* button : box->findChildren<QAbstractButton*>()) buttons << button->text();
      box->accept();
    });
    desktop::ShowMessage(nullptr, {QMessageBox::Critical, "Encoding failed: preview", QPoint(), false,
                                   "preview\nStage: Video preview pass 1 of 2"});
    QCOMPARE(shownDetails, QString("preview\nStage: Video preview pass 1 of 2"));
    QVERIFY2(buttons.filter("Details").size() == 1, qPrintable(buttons.join('|')));

    // A box without details has no such button.
    buttons.clear();
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      for (QAbstractButton* button : box->findChildren<QAbstractButton*>()) buttons << button->text();
      box->accept();
    });
    desktop::ShowMessage(nullptr, {QMessageBox::NoIcon, "All tasks are complete!", QPoint(), false});
    QCOMPARE(buttons, QStringList{"OK"});
  }

  // A box asked for near the screen's lower right corner stays whole on the
  // free area, also once its details are shown; it is at least as wide as
  // its title, which the title bar shows beside its buttons.
  void theBoxStaysOnTheScreenAndHoldsItsTitle() {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QRect shown, expanded;
    int width = 0, titleWidth = 0;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      QTest::qWait(50);
      shown = box->frameGeometry();
      width = box->width();
      QFont bold = box->font();
      bold.setBold(true);
      titleWidth = QFontMetrics(bold).horizontalAdvance(box->windowTitle());
      for (QAbstractButton* button : box->buttons()) {
        if (box->buttonRole(button) == QMessageBox::ActionRole) button->click();
      }
      QTest::qWait(100);
      expanded = box->frameGeometry();
      box->accept();
    });
    const QString details = QString("preview\nStage: Video preview pass 1 of 2\nCommand: ") + QString(300, 'x');
    desktop::SetApplicationTitle("Done! - KVR 4.0.0 with a title longer than its text");
    desktop::ShowMessage(nullptr, {QMessageBox::NoIcon, "OK?", area.bottomRight() - QPoint(60, 40), false, details});
    QVERIFY2(area.contains(shown), qPrintable(QString("%1,%2 %3x%4").arg(shown.x()).arg(shown.y()).arg(shown.width()).arg(shown.height())));
    QVERIFY2(area.contains(expanded),
             qPrintable(QString("%1,%2 %3x%4").arg(expanded.x()).arg(expanded.y()).arg(expanded.width()).arg(expanded.height())));
    QVERIFY(expanded.height() > shown.height());
    QVERIFY2(width > titleWidth, qPrintable(QString("%1 <= %2").arg(width).arg(titleWidth)));
    desktop::SetApplicationTitle({});
  }

  void headlessRunsLogTheDetailsAfterTheText() {
    QTemporaryDir dir;
    const QString log = dir.filePath("messages.txt");
    qputenv("KELVARION_MESSAGE_LOG", log.toUtf8());
    desktop::SetApplicationTitle("Done! - KVR 4.0.0");
    desktop::ShowMessage(nullptr, {QMessageBox::Critical, "Encoding failed: deluxe", QPoint(), false, "deluxe\nStage: x"});
    desktop::ShowMessage(nullptr, {QMessageBox::NoIcon, "All tasks are complete!", QPoint(115, 170), false});
    qunsetenv("KELVARION_MESSAGE_LOG");
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), QString("Critical\tError\t-\tEncoding failed: deluxe\ndeluxe\nStage: x\n"
                     "NoIcon\tDone! - KVR 4.0.0\t115,170\tAll tasks are complete!\n"));
  }
};

QTEST_MAIN(DetailsBoxTest)
#include "details_box_test.moc"
