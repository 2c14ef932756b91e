// The interface language from the environment, the text table, and the
// version in the titles.
#include <QtTest>

#include <map>

#include "desktop/language.h"
#include "desktop/ui_texts.h"
#include "desktop/version.h"

namespace {

desktop::EnvLookup Env(std::map<std::string, std::string> values) {
  auto shared = std::make_shared<std::map<std::string, std::string>>(std::move(values));
  return [shared](const char* name) -> const char* {
    const auto it = shared->find(name);
    return it == shared->end() ? nullptr : it->second.c_str();
  };
}

}  // namespace

class LanguageTest : public QObject {
  Q_OBJECT

 private slots:
  void languageRule() {
    QVERIFY(desktop::IsRussianUi(Env({{"LANG", "ru_RU.UTF-8"}})));
    QVERIFY(!desktop::IsRussianUi(Env({{"LANG", "en_US.UTF-8"}})));
    QVERIFY(!desktop::IsRussianUi(Env({{"LANG", "C"}})));
    QVERIFY(!desktop::IsRussianUi(Env({})));
    // A Russian interface on a German locale, and the other way round.
    QVERIFY(!desktop::IsRussianUi(Env({{"LC_MESSAGES", "ru_RU.UTF-8"}, {"LANG", "de_DE.UTF-8"}})));
    QVERIFY(!desktop::IsRussianUi(Env({{"LANGUAGE", "en_GB:ru"}, {"LANG", "ru_RU.UTF-8"}})));
    QVERIFY(desktop::IsRussianUi(Env({{"LANGUAGE", "ru:en"}, {"LC_CTYPE", "ru_RU.UTF-8"}, {"LANG", "en_US"}})));
    // LC_ALL overrides both sides; an empty variable counts as unset.
    QVERIFY(desktop::IsRussianUi(Env({{"LC_ALL", "ru_RU.UTF-8"}, {"LANG", "en_US.UTF-8"}})));
    QVERIFY(!desktop::IsRussianUi(Env({{"LC_ALL", "C"}, {"LANG", "ru_RU.UTF-8"}})));
    QVERIFY(desktop::IsRussianUi(Env({{"LC_ALL", ""}, {"LANGUAGE", ""}, {"LANG", "ru_RU.UTF-8"}})));
  }

  void everySlotIsFilledInBothLanguages() {
    for (const desktop::UiTexts* t : {&desktop::RussianTexts(), &desktop::EnglishTexts()}) {
      for (const QString* s : {&t->start, &t->halt, &t->standby, &t->done, &t->selectFile, &t->selectMode,
                               &t->allDone, &t->video, &t->pass, &t->of, &t->audio, &t->muxing, &t->modeNames[0],
                               &t->modeNames[1], &t->modeNames[2], &t->quitQuery, &t->prevSettings,
                               &t->stdSettings, &t->noHelp, &t->unsupported, &t->modesFailed, &t->noHelpViewer}) {
        QVERIFY(!s->isEmpty());
      }
      QCOMPARE(t->afterJobItems.size(), 5);
      QCOMPARE(t->openFilter.size(), 5);
    }
    QCOMPARE(desktop::RussianTexts().offsetMain, 50);
    QCOMPARE(desktop::EnglishTexts().offsetQuit, 45);
    QCOMPARE(desktop::EnglishTexts().offsetHelp, 80);
    // The sound filter starts with a Latin capital A.
    QCOMPARE(desktop::RussianTexts().openFilter[3].at(0), QChar('A'));
  }

  void versionTitles() {
    QCOMPARE(desktop::GetVer(), QString("4.0.0.0"));
    QCOMPARE(desktop::IdleAppTitle("4.0.0.0"), QString("KVR 4.0.0"));
    QCOMPARE(desktop::Version3("4.0.0.0"), QString("4.0"));
    QCOMPARE(desktop::Version5("10.2.3.4"), QString("10.2."));
  }
};

QTEST_APPLESS_MAIN(LanguageTest)
#include "language_test.moc"
