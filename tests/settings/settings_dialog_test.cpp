// The mode settings dialog: the figures it shows, the reactions of its check
// boxes, switching between Preview and Standard, and what Accept, Cancel and
// Defaults leave in the mode's values.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>

#include "desktop/window_placement.h"
#include "settings/settings_dialog.h"

using settings::kPreviewMode;
using settings::kStandardMode;
using settings::ModeSettings;
using settings::SettingsDialog;

namespace {

template <typename T>
T* Find(QWidget* dialog, const char* name) {
  T* found = dialog->findChild<T*>(name);
  if (found == nullptr) qFatal("no control %s", name);
  return found;
}

struct Shown {
  QString size, video, audio, total;
};

Shown Figures(QWidget* dialog) {
  return {Find<QLineEdit>(dialog, "sizeText")->text(), Find<QLineEdit>(dialog, "videoRate")->text(),
          Find<QLineEdit>(dialog, "audioRate")->text(), Find<QLineEdit>(dialog, "totalRate")->text()};
}

bool Shows(QWidget* dialog, QWidget* control) { return control->isVisibleTo(dialog); }

QGroupBox* GroupHolding(QWidget* dialog, const char* childName) {
  return qobject_cast<QGroupBox*>(Find<QWidget>(dialog, childName)->parentWidget());
}

// Opens the dialog, lets `act` work on it while it is shown, then presses
// the button named `closeWith`; returns what editMode returned.
bool Edit(SettingsDialog& dialog, int mode, ModeSettings& values, const std::function<void()>& act,
          const char* closeWith = "accept") {
  QTimer::singleShot(0, &dialog, [&] {
    act();
    Find<QPushButton>(&dialog, closeWith)->click();
  });
  return dialog.editMode(mode, values, mode == kPreviewMode ? "Preview" : "Standard", nullptr);
}

void StepLevel(SettingsDialog& dialog, int steps) {
  QToolButton* button = Find<QToolButton>(&dialog, steps > 0 ? "levelUp" : "levelDown");
  for (int i = 0; i < std::abs(steps); ++i) button->click();
}

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void shownRatesTable_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("size");
    QTest::addColumn<int>("total");
    QTest::addColumn<QList<int>>("videoByBalance");
    QTest::newRow("preview 10") << int(kPreviewMode) << 10 << "1.0" << 137 << QList<int>{82, 77, 72, 67, 62};
    QTest::newRow("preview 15") << int(kPreviewMode) << 15 << "1.5" << 205 << QList<int>{150, 145, 140, 135, 130};
    QTest::newRow("preview 40") << int(kPreviewMode) << 40 << "4.0" << 546 << QList<int>{491, 486, 481, 476, 471};
    QTest::newRow("preview 50") << int(kPreviewMode) << 50 << "5.0" << 683 << QList<int>{628, 623, 618, 613, 608};
    QTest::newRow("standard 5") << int(kStandardMode) << 5 << "5" << 683 << QList<int>{578, 558, 538, 518, 498};
    QTest::newRow("standard 15") << int(kStandardMode) << 15 << "15" << 2048 << QList<int>{1943, 1923, 1903, 1883, 1863};
    QTest::newRow("standard 50") << int(kStandardMode) << 50 << "50" << 6827 << QList<int>{6722, 6702, 6682, 6662, 6642};
  }
  void shownRatesTable() {
    QFETCH(int, mode);
    QFETCH(int, level);
    QFETCH(QString, size);
    QFETCH(int, total);
    QFETCH(QList<int>, videoByBalance);
    for (int balance = 1; balance <= 5; ++balance) {
      const settings::ShownRates rates = settings::ShownRatesFor(mode, level, balance);
      QCOMPARE(rates.sizeText, size);
      QCOMPARE(rates.total, total);
      QCOMPARE(rates.audio, mode == kPreviewMode ? 35 + 5 * balance : 70 + 20 * balance);
      QCOMPARE(rates.video, videoByBalance[balance - 1]);
    }
  }

  void formatIgnoresTheLocale() {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Russian));
    const std::string cLocale = setlocale(LC_NUMERIC, nullptr);
    setlocale(LC_NUMERIC, "ru_RU.UTF-8");  // may be missing; then the C locale stays
    const settings::ShownRates rates = settings::ShownRatesFor(kPreviewMode, 15, 3);
    setlocale(LC_NUMERIC, cLocale.c_str());
    QLocale::setDefault(before);
    QCOMPARE(rates.sizeText, QString("1.5"));
    QCOMPARE(rates.total, 205);
  }

  void previewFiguresFollowTheControls() {
    SettingsDialog dialog(true);
    ModeSettings values = settings::PreviewDefaults();
    values.rateLevel = 11;
    values.balance = 4;
    QVERIFY(Edit(dialog, kPreviewMode, values, [&] {
      StepLevel(dialog, -5);  // stops at the minimum 10
      Find<QSlider>(&dialog, "balance")->setValue(5);
      const Shown shown = Figures(&dialog);
      QCOMPARE(shown.size, QString("1.0"));
      QCOMPARE(shown.total, QString("137"));
      QCOMPARE(shown.audio, QString("60"));
      QCOMPARE(shown.video, QString("62"));
      StepLevel(dialog, 45);  // stops at 50
      QCOMPARE(Figures(&dialog).size, QString("5.0"));
    }));
    QCOMPARE(values.rateLevel, uint8_t(50));
    QCOMPARE(values.balance, uint8_t(5));
  }

  // The arrows take the focus as one control: Up and Down step the level,
  // PgUp and PgDn step it by ten, within the mode's range.
  void levelArrowsAnswerTheKeyboard() {
    SettingsDialog dialog(true);
    ModeSettings values = settings::StandardDefaults();
    QVERIFY(Edit(dialog, kStandardMode, values, [&] {
      QWidget* arrows = Find<QToolButton>(&dialog, "levelUp")->parentWidget();
      QCOMPARE(arrows->focusPolicy(), Qt::StrongFocus);
      arrows->setFocus();
      struct Step {
        Qt::Key key;
        QString size;
      };
      for (const Step& step : {Step{Qt::Key_Up, "16"}, Step{Qt::Key_PageUp, "26"}, Step{Qt::Key_PageUp, "36"},
                               Step{Qt::Key_PageUp, "46"}, Step{Qt::Key_PageUp, "50"}, Step{Qt::Key_Down, "49"},
                               Step{Qt::Key_PageDown, "39"}}) {
        QTest::keyClick(arrows, step.key);
        QCOMPARE(Figures(&dialog).size, step.size);
      }
      for (int i = 0; i < 5; ++i) QTest::keyClick(arrows, Qt::Key_PageDown);
      QCOMPARE(Figures(&dialog).size, QString("5"));
    }));
    QCOMPARE(values.rateLevel, uint8_t(5));
  }

  void textsAndLayout() {
    SettingsDialog english(false);
    QCOMPARE(english.size(), QSize(273, 331));
    QCOMPARE(Find<QPushButton>(&english, "accept")->text(), QString("Accept"));
    QCOMPARE(Find<QPushButton>(&english, "defaults")->text(), QString("Defaults"));
    QCOMPARE(Find<QCheckBox>(&english, "sdDeluxe")->text(), QString("SD deluxe mode"));
    QCOMPARE(GroupHolding(&english, "videoRate")->title(), QString("Individual bitrates, Kbit/sec"));
    QCOMPARE(Find<QCheckBox>(&english, "deluxeSound")->geometry(), QRect(144, 56, 97, 17));

    SettingsDialog russian(true);
    QCOMPARE(Find<QPushButton>(&russian, "cancel")->text(), QString::fromUtf8("Отменить"));
    QCOMPARE(Find<QCheckBox>(&russian, "newWidth")->text(), QString::fromUtf8("Новая горизонталь"));
    ModeSettings values = settings::StandardDefaults();
    Edit(russian, kStandardMode, values, [&] {
      QCOMPARE(russian.windowTitle(), QString("Standard"));
    }, "cancel");
  }

  void standardAfterPreviewAndBack() {
    SettingsDialog dialog(true);
    ModeSettings preview = settings::PreviewDefaults();
    ModeSettings standard = settings::StandardDefaults();
    standard.rateLevel = 5;
    QComboBox* widths = Find<QComboBox>(&dialog, "widthList");

    Edit(dialog, kPreviewMode, preview, [&] {
      QCOMPARE(widths->count(), 2);
      QVERIFY(!Shows(&dialog, Find<QCheckBox>(&dialog, "sdDeluxe")));
    }, "cancel");
    Edit(dialog, kStandardMode, standard, [&] {
      QCOMPARE(widths->count(), 5);
      QCOMPARE(widths->currentText(), QString("768"));
      QCOMPARE(Figures(&dialog).size, QString("5"));  // minimum 5 now reachable
      StepLevel(dialog, -1);
      QCOMPARE(Figures(&dialog).size, QString("5"));
      QVERIFY(Shows(&dialog, Find<QCheckBox>(&dialog, "sdDeluxe")));
      QVERIFY(Shows(&dialog, Find<QCheckBox>(&dialog, "deluxeSound")));
    }, "cancel");
    preview.rateLevel = 10;
    Edit(dialog, kPreviewMode, preview, [&] {
      QCOMPARE(widths->count(), 2);
      StepLevel(dialog, -1);
      QCOMPARE(Figures(&dialog).size, QString("1.0"));
      QCOMPARE(Figures(&dialog).total, QString("137"));
    }, "cancel");
  }

  void newWidthOffDisablesAndClearsSdDeluxe() {
    SettingsDialog dialog(false);
    ModeSettings values = settings::StandardDefaults();
    values.sdDeluxe = true;
    values.deluxeSound = true;
    QVERIFY(Edit(dialog, kStandardMode, values, [&] {
      auto* sd = Find<QCheckBox>(&dialog, "sdDeluxe");
      auto* sound = Find<QCheckBox>(&dialog, "deluxeSound");
      QVERIFY(sd->isChecked());
      QVERIFY(!Shows(&dialog, GroupHolding(&dialog, "videoRate")));  // sized by quality
      QTest::mouseClick(Find<QCheckBox>(&dialog, "newWidth"), Qt::LeftButton);
      QVERIFY(!sd->isChecked());
      QVERIFY(!sd->isEnabled());
      QVERIFY(!Find<QComboBox>(&dialog, "widthList")->isEnabled());
      QVERIFY(Shows(&dialog, GroupHolding(&dialog, "videoRate")));
      QVERIFY(sound->isEnabled());
      QVERIFY(sound->isChecked());
    }));
    QVERIFY(!values.newWidth);
    QVERIFY(!values.sdDeluxe);
    QVERIFY(values.deluxeSound);
  }

  void storedSdDeluxeWithoutNewWidthIsDropped() {
    SettingsDialog dialog(true);
    ModeSettings values = settings::StandardDefaults();
    values.sdDeluxe = true;
    values.newWidth = false;
    QVERIFY(Edit(dialog, kStandardMode, values, [&] {
      QVERIFY(!Find<QCheckBox>(&dialog, "sdDeluxe")->isChecked());
      QVERIFY(!Find<QCheckBox>(&dialog, "sdDeluxe")->isEnabled());
      QVERIFY(Shows(&dialog, GroupHolding(&dialog, "balance")));
    }));
    QVERIFY(!values.sdDeluxe);
  }

  void deluxeSoundHidesTheAudioFigures() {
    SettingsDialog dialog(true);
    ModeSettings values = settings::StandardDefaults();
    QVERIFY(Edit(dialog, kStandardMode, values, [&] {
      const char* hidden[] = {"audioLabel", "totalLabel", "audioRate", "totalRate"};
      QTest::mouseClick(Find<QCheckBox>(&dialog, "deluxeSound"), Qt::LeftButton);
      for (const char* name : hidden) QVERIFY(!Shows(&dialog, Find<QWidget>(&dialog, name)));
      QVERIFY(Shows(&dialog, Find<QWidget>(&dialog, "videoRate")));
      QTest::mouseClick(Find<QCheckBox>(&dialog, "deluxeSound"), Qt::LeftButton);
      for (const char* name : hidden) QVERIFY(Shows(&dialog, Find<QWidget>(&dialog, name)));
    }));
    QVERIFY(!values.deluxeSound);
  }

  void previewShowsAudioFiguresEvenAfterStandardHidThem() {
    SettingsDialog dialog(true);
    ModeSettings standard = settings::StandardDefaults();
    standard.deluxeSound = true;
    standard.sdDeluxe = true;
    Edit(dialog, kStandardMode, standard, [] {}, "cancel");
    ModeSettings preview = settings::PreviewDefaults();
    Edit(dialog, kPreviewMode, preview, [&] {
      QVERIFY(Shows(&dialog, Find<QWidget>(&dialog, "audioRate")));
      QVERIFY(Shows(&dialog, Find<QWidget>(&dialog, "totalLabel")));
      QVERIFY(Shows(&dialog, GroupHolding(&dialog, "balance")));  // SD deluxe unticked
    }, "cancel");
  }

  // Standard with Deluxe sound accepted, then Preview, then Standard again:
  // the sound box is ticked again, so its figures must stay hidden.
  void deluxeSoundStillHidesTheFiguresAfterPreview() {
    SettingsDialog dialog(true);
    ModeSettings standard = settings::StandardDefaults();
    ModeSettings preview = settings::PreviewDefaults();
    QVERIFY(Edit(dialog, kStandardMode, standard, [&] {
      QTest::mouseClick(Find<QCheckBox>(&dialog, "deluxeSound"), Qt::LeftButton);
    }));
    QVERIFY(standard.deluxeSound);
    Edit(dialog, kPreviewMode, preview, [&] { QVERIFY(Shows(&dialog, Find<QWidget>(&dialog, "audioRate"))); });
    Edit(dialog, kStandardMode, standard, [&] {
      QVERIFY(Find<QCheckBox>(&dialog, "deluxeSound")->isChecked());
      for (const char* name : {"audioLabel", "totalLabel", "audioRate", "totalRate"})
        QVERIFY2(!Shows(&dialog, Find<QWidget>(&dialog, name)), name);
    }, "cancel");
  }

  // Whatever the order of openings, clicks, acceptances and cancellations:
  // the audio and total figures show exactly when Deluxe sound is unticked,
  // the bitrate groups exactly when SD deluxe is, and Preview shows neither box.
  void boxesRuleTheFiguresAfterAnySequence() {
    SettingsDialog dialog(false);
    ModeSettings stored[] = {{}, settings::PreviewDefaults(), settings::StandardDefaults()};
    QRandomGenerator random(0x4b56);
    auto* sdDeluxe = Find<QCheckBox>(&dialog, "sdDeluxe");
    auto* deluxeSound = Find<QCheckBox>(&dialog, "deluxeSound");
    const QList<QWidget*> figures = {Find<QWidget>(&dialog, "audioLabel"), Find<QWidget>(&dialog, "totalLabel"),
                                     Find<QWidget>(&dialog, "audioRate"), Find<QWidget>(&dialog, "totalRate")};
    const QList<QWidget*> groups = {GroupHolding(&dialog, "balance"), GroupHolding(&dialog, "sizeText"),
                                    GroupHolding(&dialog, "videoRate")};
    const QList<QWidget*> clickable = {Find<QWidget>(&dialog, "newWidth"), sdDeluxe, deluxeSound,
                                       Find<QWidget>(&dialog, "defaults")};
    QString steps;
    const auto rulesHold = [&](int mode) {
      const bool standard = mode == kStandardMode;
      bool hold = Shows(&dialog, sdDeluxe) == standard && Shows(&dialog, deluxeSound) == standard;
      // The figures sit in a group that SD deluxe may hide as a whole.
      for (QWidget* figure : figures) hold = hold && figure->isHidden() == deluxeSound->isChecked();
      for (QWidget* group : groups) hold = hold && Shows(&dialog, group) == !sdDeluxe->isChecked();
      return hold;
    };
    for (int round = 0; round < 150 && !QTest::currentTestFailed(); ++round) {
      const int mode = random.bounded(2) == 0 ? kPreviewMode : kStandardMode;
      ModeSettings& values = stored[mode];
      if (random.bounded(4) == 0) {  // as an edited settings file may hold them
        values.newWidth = random.bounded(2) == 1;
        values.sdDeluxe = random.bounded(2) == 1;
        values.deluxeSound = random.bounded(2) == 1;
      }
      const char* closeWith = random.bounded(3) == 0 ? "cancel" : "accept";
      steps += QString("\nopen %1").arg(mode == kPreviewMode ? "Preview" : "Standard");
      Edit(dialog, mode, values, [&] {
        QVERIFY2(rulesHold(mode), qPrintable(steps));
        for (int clicks = random.bounded(4); clicks > 0; --clicks) {
          QWidget* target = clickable[random.bounded(clickable.size())];
          if (!target->isVisibleTo(&dialog) || !target->isEnabled()) continue;
          steps += " click " + target->objectName();
          QTest::mouseClick(target, Qt::LeftButton);
          QVERIFY2(rulesHold(mode), qPrintable(steps));
        }
        steps += QString(" ") + closeWith;
      }, closeWith);
    }
  }

  void defaultsButtonInStandard() {
    SettingsDialog dialog(true);
    ModeSettings values = settings::StandardDefaults();
    values.rateLevel = 42;
    values.balance = 1;
    values.widthIndex = 4;
    values.newWidth = true;
    values.sdDeluxe = true;
    values.deluxeSound = true;
    QVERIFY(Edit(dialog, kStandardMode, values, [&] {
      Find<QPushButton>(&dialog, "defaults")->click();
      QCOMPARE(Find<QSlider>(&dialog, "balance")->value(), 3);
      QCOMPARE(Find<QComboBox>(&dialog, "widthList")->currentText(), QString("768"));
      QVERIFY(Find<QCheckBox>(&dialog, "newWidth")->isChecked());
      QVERIFY(!Find<QCheckBox>(&dialog, "sdDeluxe")->isChecked());
      QVERIFY(!Find<QCheckBox>(&dialog, "deluxeSound")->isChecked());
      const Shown shown = Figures(&dialog);
      QCOMPARE(shown.size, QString("15"));
      QCOMPARE(shown.total, QString("2048"));
      QCOMPARE(shown.audio, QString("130"));
      QCOMPARE(shown.video, QString("1903"));
      QVERIFY(Shows(&dialog, Find<QWidget>(&dialog, "audioRate")));
    }));
    QCOMPARE(values.rateLevel, uint8_t(15));
    QCOMPARE(values.widthIndex, 1);
    QVERIFY(!values.sdDeluxe);
  }

  void cancelAndEscapeChangeNothing() {
    for (bool escape : {false, true}) {
      SettingsDialog dialog(true);
      ModeSettings values = settings::StandardDefaults();
      const ModeSettings before = values;
      QTimer::singleShot(0, &dialog, [&] {
        StepLevel(dialog, 3);
        QTest::mouseClick(Find<QCheckBox>(&dialog, "newWidth"), Qt::LeftButton);
        Find<QPushButton>(&dialog, "defaults")->click();
        QTest::mouseClick(Find<QCheckBox>(&dialog, "deluxeSound"), Qt::LeftButton);
        if (escape) QTest::keyClick(&dialog, Qt::Key_Escape);
        else Find<QPushButton>(&dialog, "cancel")->click();
      });
      QVERIFY(!dialog.editMode(kStandardMode, values, "x", nullptr));
      QCOMPARE(values.rateLevel, before.rateLevel);
      QCOMPARE(values.newWidth, before.newWidth);
      QCOMPARE(values.deluxeSound, before.deluxeSound);
      QCOMPARE(values.widthIndex, before.widthIndex);
      QCOMPARE(values.widths, before.widths);
    }
  }

  void storedValuesOutsideTheRangesAreClamped() {
    SettingsDialog dialog(true);
    ModeSettings values = settings::StandardDefaults();
    values.rateLevel = 2;
    values.balance = 9;
    values.widthIndex = 17;
    QVERIFY(Edit(dialog, kStandardMode, values, [&] {
      QCOMPARE(Find<QComboBox>(&dialog, "widthList")->currentText(), QString("1280"));
      QCOMPARE(Figures(&dialog).size, QString("5"));
    }));
    QCOMPARE(values.rateLevel, uint8_t(5));
    QCOMPARE(values.balance, uint8_t(5));
    QCOMPARE(values.widthIndex, 4);

    ModeSettings preview = settings::PreviewDefaults();
    preview.rateLevel = 200;
    preview.widthIndex = -3;
    QVERIFY(Edit(dialog, kPreviewMode, preview, [] {}));
    QCOMPARE(preview.rateLevel, uint8_t(50));
    QCOMPARE(preview.widthIndex, 0);
  }

  void centringRoundsHalvesToEven() {
    // Main window frame 335 × 401; the dialog's 279 × 357 leaves 28 × 22 on each side.
    QCOMPARE(desktop::CentredTopLeft(QRect(100, 50, 335, 401), QSize(279, 357)), QPoint(128, 72));
    // 27.5 → 28 and 26.5 → 26 (halves go to the even neighbour)
    QCOMPARE(desktop::CentredTopLeft(QRect(0, 0, 335, 401), QSize(280, 348)), QPoint(28, 26));
    // Left of the screen's origin: -3.5 → -4 and -2.5 → -2
    QCOMPARE(desktop::CentredTopLeft(QRect(-3, -2, 100, 100), QSize(101, 101)), QPoint(-4, -2));
  }

  void previewAcceptLeavesTheStandardFlagsAlone() {
    SettingsDialog dialog(true);
    ModeSettings values = settings::PreviewDefaults();
    values.sdDeluxe = true;  // not Preview's to change
    QVERIFY(Edit(dialog, kPreviewMode, values, [&] {
      Find<QComboBox>(&dialog, "widthList")->setCurrentIndex(0);
    }));
    QCOMPARE(values.widthIndex, 0);
    QVERIFY(values.sdDeluxe);
  }
};

QTEST_MAIN(SettingsDialogTest)
#include "settings_dialog_test.moc"
