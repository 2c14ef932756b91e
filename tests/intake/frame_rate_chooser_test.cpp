// The frame-rate chooser driven through its controls: typed keys, the WAV
// field, drops and the OK button.
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QMenu>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QKeyEvent>
#include <QtTest>

#include "desktop/message_box.h"
#include "intake/frame_rate_chooser.h"

namespace {

// Answers the WAV file dialog from a queue instead of showing it.
class ScriptedChooser : public intake::FrameRateChooser {
 public:
  using FrameRateChooser::FrameRateChooser;
  QStringList answers;
  int dialogsShown = 0;

 protected:
  QString askForWavFile() override {
    ++dialogsShown;
    return answers.isEmpty() ? QString() : answers.takeFirst();
  }
};

QComboBox* RateBox(QWidget* w) { return w->findChild<QComboBox*>(); }
QList<QSpinBox*> SpinBoxes(QWidget* w) { return w->findChildren<QSpinBox*>(); }

QSpinBox* SpinAt(QWidget* w, int left) {
  for (QSpinBox* box : SpinBoxes(w))
    if (box->geometry().left() == left) return box;
  return nullptr;
}

QLineEdit* WavEdit(QWidget* w) {
  for (QLineEdit* edit : w->findChildren<QLineEdit*>())
    if (edit->geometry() == QRect(40, 128, 193, 21)) return edit;
  return nullptr;
}

void DropFiles(QWidget* target, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
}

}  // namespace

class FrameRateChooserTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { desktop::SetMessageHandler({}); }

  void windowLayoutAndTextsFollowTheLanguage() {
    intake::FrameRateChooser russian(true);
    QCOMPARE(russian.size(), QSize(274, 205));
    QCOMPARE(russian.windowTitle(), QString::fromUtf8("Выберите FPS"));
    QVERIFY(russian.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(russian.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(RateBox(&russian)->currentText(), QString("25.000"));
    QCOMPARE(RateBox(&russian)->count(), 5);

    intake::FrameRateChooser english(false);
    QCOMPARE(english.windowTitle(), QString("Choose FPS"));
    QStringList labels;
    for (QLabel* label : english.findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) labels << label->text();
    labels.sort();
    QCOMPARE(labels, (QStringList{"First", "Last", "WAV"}));
    QCOMPARE(WavEdit(&english)->toolTip(), QString::fromUtf8("Добовление *.wav"));
  }

  void tabOrderRunsFromLastFrameToWavField() {
    intake::FrameRateChooser chooser(true);
    QWidget* expected[] = {SpinAt(&chooser, 160), SpinAt(&chooser, 16), RateBox(&chooser),
                           chooser.findChild<QPushButton*>(), WavEdit(&chooser)};
    const QList<QWidget*> wanted(std::begin(expected), std::end(expected));
    QList<QWidget*> chain;
    QWidget* widget = expected[0];
    do {
      if (wanted.contains(widget)) chain << widget;
      widget = widget->nextInFocusChain();
    } while (widget != expected[0]);
    QCOMPARE(chain, wanted);
  }

  void frameRateKeysTurnCommaIntoDotAndDropOthers() {
    intake::FrameRateChooser chooser(true);
    QComboBox* rate = RateBox(&chooser);
    rate->lineEdit()->clear();
    QTest::keyClicks(rate, "2a9,9-7 x");
    QCOMPARE(chooser.frameRateText(), QString("29.97"));
    QTest::keyClick(rate, Qt::Key_Backspace);
    QCOMPARE(chooser.frameRateText(), QString("29.9"));
    QTest::keyClicks(rate, "123456");
    QCOMPARE(chooser.frameRateText().size(), intake::FrameRateChooser::kFrameRateMaxLength);
    QCOMPARE(chooser.frameRateText(), QString("29.912"));
  }

  void frameRateCharacterRule() {
    QCOMPARE(intake::FilterFrameRateChar(u','), QChar(u'.'));
    QCOMPARE(intake::FilterFrameRateChar(u'.'), QChar(u'.'));
    QCOMPARE(intake::FilterFrameRateChar(u'7'), QChar(u'7'));
    QVERIFY(intake::FilterFrameRateChar(u'e').isNull());
    QVERIFY(intake::FilterFrameRateChar(QChar(0x0663)).isNull());  // Arabic-Indic three
    QVERIFY(intake::FilterFrameNumberChar(u'.').isNull());
    QVERIFY(intake::FilterFrameNumberChar(u'-').isNull());
    QCOMPARE(intake::FilterFrameNumberChar(u'0'), QChar(u'0'));
  }

  // What a change inserts passes the key rule, wherever it lands; the rest
  // of the text is left as it was.
  void insertionRule() {
    const auto apply = [](const QString& before, const QString& after, int cursor, int maxLength = 0) {
      const std::optional<QString> kept =
          intake::FilterInsertion(before, after, cursor, intake::FilterFrameRateChar, maxLength);
      return kept ? *kept + "|" + QString::number(cursor) : QString("refused");
    };
    QCOMPARE(apply("", "2,5x", 4), QString("2.5|3"));
    QCOMPARE(apply("25", "25a", 3), QString("refused"));
    QCOMPARE(apply("25.000", "ab c", 4), QString("refused"));  // over a selection
    QCOMPARE(apply("2500", "2-75-500", 5), QString("275500|3"));  // in the middle
    QCOMPARE(apply("123", "13", 1), QString("13|1"));  // a deletion
    QCOMPARE(apply("29.9", "29.9ab123", 9, 6), QString("29.912|6"));
    QCOMPARE(apply("1234", "129999934", 7, 6), QString("129934|4"));
    QCOMPARE(apply("123456", "1234567", 7, 6), QString("refused"));
    QCOMPARE(apply("-1", "-17", 3), QString("-17|3"));  // what was there stays
  }

  // Ctrl+V and the context menu's Paste meet the same rule as typing.
  void pastedTextMeetsTheKeyRule() {
    intake::FrameRateChooser chooser(true);
    QLineEdit* rate = RateBox(&chooser)->lineEdit();
    const auto pasteByKeys = [](QLineEdit* edit, const QString& text) {
      QGuiApplication::clipboard()->setText(text);
      edit->selectAll();
      QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    };
    const auto pasteByMenu = [](QLineEdit* edit, const QString& text) {
      QGuiApplication::clipboard()->setText(text);
      edit->end(false);
      std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
      for (QAction* action : menu->actions())
        if (action->text().startsWith("&Paste")) action->trigger();
    };

    pasteByKeys(rate, "ab c");
    QCOMPARE(chooser.frameRateText(), QString("25.000"));
    pasteByKeys(rate, " 2,5 ");
    QCOMPARE(chooser.frameRateText(), QString("2.5"));
    pasteByMenu(rate, "x9-9999");
    QCOMPARE(chooser.frameRateText(), QString("2.5999"));

    QSpinBox* first = SpinAt(&chooser, 16);
    auto* firstEdit = first->findChild<QLineEdit*>();
    pasteByKeys(firstEdit, "-7");
    QCOMPARE(first->text(), QString("7"));
    QCOMPARE(chooser.firstFrame(), 7);
    pasteByMenu(firstEdit, "1.5e3");
    QCOMPARE(chooser.firstFrame(), 7153);
    pasteByKeys(firstEdit, "abc");
    QCOMPARE(chooser.firstFrame(), 7153);
  }

  // The arrows still step below 0, though a minus can be neither typed nor pasted.
  void arrowsStepPastZero() {
    intake::FrameRateChooser chooser(true);
    chooser.setFrameRange(0, 0);
    QSpinBox* first = SpinAt(&chooser, 16);
    QTest::keyClick(first, Qt::Key_Down);
    QCOMPARE(first->text(), QString("-1"));
    QTest::keyClick(first, Qt::Key_Down);
    QCOMPARE(chooser.firstFrame(), -2);
    first->findChild<QLineEdit*>()->end(false);
    QTest::keyClicks(first, "5");
    QCOMPARE(chooser.firstFrame(), -25);
  }

  void spinEditsTakeDigitsOnlyAndReadEmptyAsZero() {
    intake::FrameRateChooser chooser(true);
    chooser.setFrameRange(-5, 120);
    QCOMPARE(chooser.firstFrame(), -5);
    QCOMPARE(chooser.lastFrame(), 120);

    QSpinBox* first = SpinAt(&chooser, 16);
    first->selectAll();
    QTest::keyClicks(first, "1x2.-3");
    QCOMPARE(chooser.firstFrame(), 123);
    QTest::keyClick(first, Qt::Key_Up);
    QCOMPARE(chooser.firstFrame(), 124);

    QSpinBox* last = SpinAt(&chooser, 160);
    last->selectAll();
    QTest::keyClick(last, Qt::Key_Backspace);
    QCOMPARE(last->text(), QString());
    QCOMPARE(chooser.lastFrame(), 0);
  }

  void spinEditsHaveNoBounds() {
    intake::FrameRateChooser chooser(true);
    chooser.setFrameRange(2000000000, -2000000000);
    QCOMPARE(chooser.firstFrame(), 2000000000);
    QCOMPARE(chooser.lastFrame(), -2000000000);
  }

  void okRefusesZeroAndAcceptsAnythingElse() {
    intake::FrameRateChooser chooser(true);
    QStringList messages;
    desktop::SetMessageHandler([&](const desktop::MessageRequest& request) {
      messages << request.text;
      return QMessageBox::Ok;
    });
    auto* ok = chooser.findChild<QPushButton*>();
    QComboBox* rate = RateBox(&chooser);

    rate->setEditText("0");
    chooser.setResult(-1);
    ok->click();
    QCOMPARE(messages, QStringList{"fps can not be - 0"});
    QCOMPARE(chooser.result(), -1);

    for (const QString& text : {QString("00"), QString("25"), QString()}) {
      rate->setEditText(text);
      chooser.setResult(-1);
      ok->click();
      QCOMPARE(chooser.result(), int(QDialog::Accepted));
      QCOMPARE(chooser.frameRateText(), text);
    }
    QCOMPARE(messages.size(), 1);
  }

  void escapeDoesNotCloseTheWindow() {
    intake::FrameRateChooser chooser(true);
    QTimer::singleShot(0, &chooser, [&] {
      QTest::keyClick(&chooser, Qt::Key_Escape);
      QVERIFY(chooser.isVisible());
      chooser.findChild<QPushButton*>()->click();
    });
    QCOMPARE(chooser.execCentredOn(nullptr), int(QDialog::Accepted));
  }

  void pickingAWavKeepsTheOldOneOnCancelOrOtherTypes() {
    ScriptedChooser chooser(true);
    QLineEdit* wav = WavEdit(&chooser);
    chooser.answers = {"/music/Voice Over.WAV", "", "/music/track.mp3"};

    QTest::mouseClick(wav, Qt::LeftButton);
    QCOMPARE(chooser.wavName(), QString("Voice Over.WAV"));
    QCOMPARE(chooser.wavPath(), QString("/music/Voice Over.WAV"));
    QCOMPARE(wav->toolTip(), QString("/music/Voice Over.WAV"));

    QTest::mouseClick(wav, Qt::LeftButton);  // cancelled
    QTest::mouseClick(wav, Qt::LeftButton);  // not a WAV
    QCOMPARE(chooser.dialogsShown, 3);
    QCOMPARE(chooser.wavPath(), QString("/music/Voice Over.WAV"));

    QTest::mouseClick(wav, Qt::RightButton);
    QCOMPARE(chooser.dialogsShown, 3);
  }

  // From the keyboard: Enter or Space opens the sound field as a click
  // does; OK is the default button, so Enter elsewhere presses it.
  void keysOpenTheSoundFieldAndPressOk() {
    ScriptedChooser chooser(true);
    QLineEdit* wav = WavEdit(&chooser);
    chooser.answers = {"/music/a.wav", "/music/b.wav", "/music/c.wav"};
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) QTest::keyClick(wav, key);
    QCOMPARE(chooser.dialogsShown, 3);
    QCOMPARE(chooser.wavPath(), QString("/music/c.wav"));
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
    QCoreApplication::sendEvent(wav, &held);
    QCOMPARE(chooser.dialogsShown, 3);

    QVERIFY(chooser.findChild<QPushButton*>()->isDefault());
    QTimer::singleShot(0, &chooser, [&] {
      RateBox(&chooser)->setEditText("30");
      QTest::keyClick(RateBox(&chooser)->lineEdit(), Qt::Key_Return);
      if (chooser.isVisible()) chooser.done(QDialog::Rejected);
    });
    QCOMPARE(chooser.execCentredOn(nullptr), int(QDialog::Accepted));
    QCOMPARE(chooser.frameRateText(), QString("30"));
  }

  void deleteOrBackspaceDetachesTheWav() {
    for (Qt::Key key : {Qt::Key_Delete, Qt::Key_Backspace}) {
      intake::FrameRateChooser chooser(true);
      QVERIFY(chooser.attachWav("/a/b.wav"));
      QTest::keyClick(WavEdit(&chooser), key);
      QCOMPARE(chooser.wavName(), QString());
      QCOMPARE(chooser.wavPath(), QString());
      QCOMPARE(WavEdit(&chooser)->toolTip(), QString());
    }
  }

  void dropsAttachOnlyTheFirstLocalWav() {
    QTemporaryDir dir;
    const QString first = dir.filePath("first.wav"), second = dir.filePath("second.wav");
    intake::FrameRateChooser chooser(true);

    DropFiles(&chooser, {QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
    QCOMPARE(chooser.wavPath(), first);
    QCOMPARE(chooser.wavName(), QString("first.wav"));

    DropFiles(&chooser, {QUrl::fromLocalFile(dir.filePath("song.mp3")), QUrl::fromLocalFile(second)});
    QCOMPARE(chooser.wavPath(), first);

    DropFiles(&chooser, {QUrl("https://example.org/x.wav"), QUrl::fromLocalFile(second)});
    QCOMPARE(chooser.wavPath(), second);
  }

  void valuesSurviveBetweenShowings() {
    intake::FrameRateChooser chooser(false);
    RateBox(&chooser)->setEditText("23.976");
    chooser.attachWav("/a/voice.wav");
    for (int round = 0; round < 2; ++round) {
      chooser.setFrameRange(round, 10 + round);
      QTimer::singleShot(0, &chooser, [&] { chooser.findChild<QPushButton*>()->click(); });
      chooser.execCentredOn(nullptr);
      QCOMPARE(chooser.frameRateText(), QString("23.976"));
      QCOMPARE(chooser.wavPath(), QString("/a/voice.wav"));
      QCOMPARE(chooser.firstFrame(), round);
      QCOMPARE(chooser.lastFrame(), 10 + round);
    }
  }

  void centresOnTheMainWindow() {
    QWidget mainWindow;
    mainWindow.setGeometry(100, 50, 331, 397);
    mainWindow.show();
    intake::FrameRateChooser chooser(true, &mainWindow);
    QRect shownAt;
    QTimer::singleShot(0, &chooser, [&] {
      shownAt = chooser.frameGeometry();
      chooser.findChild<QPushButton*>()->click();
    });
    chooser.execCentredOn(&mainWindow);
    const QRect outer = mainWindow.frameGeometry();
    QVERIFY(qAbs(shownAt.center().x() - outer.center().x()) <= 1);
    QVERIFY(qAbs(shownAt.center().y() - outer.center().y()) <= 1);
  }
};

QTEST_MAIN(FrameRateChooserTest)
#include "frame_rate_chooser_test.moc"
