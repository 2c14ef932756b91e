// Which files may be a source, and where the open dialog starts.
#include <QtTest>

#include <set>

#include "intake/source_selection.h"

class SourceSelectionTest : public QObject {
  Q_OBJECT

 private slots:
  void acceptanceRule() {
    for (const char* ok : {"/a/clip.avi", "/a/CLIP.AVI", "/a/s.avs", "/a/s.vpy", "/a/i.png", "/a/i.JPG", "/a/m.wav"}) {
      QVERIFY2(intake::IsAcceptedSource(ok), ok);
    }
    for (const char* no : {"/a/clip.mp4", "/a/i.jpeg", "/a/noext", "/a.avi/noext", "/a/x.xavi", ""}) {
      QVERIFY2(!intake::IsAcceptedSource(no), no);
    }
  }

  void nearestDir() {
    const std::set<std::string> folders = {"/clips/", "/clips", "/opt", "/opt/app/", "/opt/app"};
    const auto exists = [&](const std::string& d) { return folders.count(d) > 0; };
    // An existing folder comes back unchanged, trailing slash included.
    QCOMPARE(intake::GetNearestDir("/clips/", "/opt/app/", exists), std::string("/clips/"));
    QCOMPARE(intake::GetNearestDir("/clips/old/", "/opt/app/", exists), std::string("/clips"));
    // Nothing left: the folder that holds the program folder.
    QCOMPARE(intake::GetNearestDir("", "/opt/app/", exists), std::string("/opt"));
    QCOMPARE(intake::GetNearestDir("/gone/deeper/", "/opt/app/", exists), std::string("/opt"));
    // A text without any slash that names no folder is returned as it is.
    QCOMPARE(intake::GetNearestDir("relative", "/opt/app/", exists), std::string("relative"));
    // A program at the root: the search still ends.
    QCOMPARE(intake::GetNearestDir("", "/", [](const std::string&) { return false; }), std::string("/"));
  }
};

QTEST_APPLESS_MAIN(SourceSelectionTest)
#include "source_selection_test.moc"
