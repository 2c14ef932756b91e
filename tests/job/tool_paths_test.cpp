// Where the program finds its tools and keeps its files, portable and
// installed.
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <set>

#include "job/tool_paths.h"

namespace {

// A file system of named folders, some of them writable.
job::FolderProbe Probe(std::set<std::string> folders, std::set<std::string> writable) {
  return {[folders](const std::string& p) { return folders.count(p) > 0; },
          [writable](const std::string& p) { return writable.count(p) > 0; }};
}

}  // namespace

class ToolPathsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", "/home/u/cfg");
    qputenv("XDG_CACHE_HOME", "/home/u/cache");
    qputenv("XDG_STATE_HOME", "/home/u/state");
  }

  void aWritablePortableFolderKeepsEverythingBesideTheProgram() {
    const auto p = job::ToolPaths::ForExecutable(
        "/opt/kv/kelvarion", Probe({"/opt/kv/tools"}, {"/opt/kv/", "/opt/kv/tools"}));
    QVERIFY(!p.userFolders);
    QCOMPARE(p.programDir, std::string("/opt/kv/"));
    QCOMPARE(p.muxer, std::string("/opt/kv/tools/MP4Box"));
    QCOMPARE(p.sound, std::string("/opt/kv/tools/rnd.wav"));
    QCOMPARE(p.helpFile, std::string("/opt/kv/Help.html"));
    QCOMPARE(p.settingsFile, std::string("/opt/kv/kelvarion.ini"));
    QCOMPARE(p.script, std::string("/opt/kv/tools/temp/Vid.avs"));
    QCOMPARE(p.debugLog, std::string("/opt/kv/tools/temp/DebugInfo.log"));
    QCOMPARE(p.jobLog, std::string("/home/u/state/kelvarion/kelvarion.log"));
    // The settings file follows the executable's name.
    QCOMPARE(job::ToolPaths::ForExecutable("/opt/kv/kvr.bin", Probe({"/opt/kv/tools"}, {"/opt/kv/", "/opt/kv/tools"}))
                 .settingsFile,
             std::string("/opt/kv/kvr.ini"));
  }

  void aReadOnlyPortableFolderUsesTheUsersFolders() {
    for (const auto& writable : {std::set<std::string>{}, std::set<std::string>{"/opt/kv/"},
                                 std::set<std::string>{"/opt/kv/tools"}}) {
      const auto p = job::ToolPaths::ForExecutable("/opt/kv/kelvarion", Probe({"/opt/kv/tools"}, writable));
      QVERIFY(p.userFolders);
      QCOMPARE(p.videoEncoder64, std::string("/opt/kv/tools/x264_64"));
      QCOMPARE(p.helpFile, std::string("/opt/kv/Help.html"));
      QCOMPARE(p.settingsFile, std::string("/home/u/cfg/kelvarion/kelvarion.ini"));
      QCOMPARE(p.tempDir, std::string("/home/u/cache/kelvarion/temp"));
      QCOMPARE(p.videoStream, std::string("/home/u/cache/kelvarion/temp/video.264"));
    }
  }

  void anInstalledProgramFindsItsFilesUnderItsPrefix() {
    // Writable or not: an installed program never writes beside itself.
    for (const auto& writable : {std::set<std::string>{}, std::set<std::string>{"/usr/bin/"}}) {
      const auto p = job::ToolPaths::ForExecutable("/usr/bin/kelvarion", Probe({}, writable));
      QVERIFY(p.userFolders);
      QCOMPARE(p.toolsDir, std::string("/usr/lib/kelvarion/tools"));
      QCOMPARE(p.videoEncoder32, std::string("/usr/lib/kelvarion/tools/x264"));
      QCOMPARE(p.encoderWrapper, std::string("/usr/lib/kelvarion/tools/avs4x264mod"));
      QCOMPARE(p.pipeTool, std::string("/usr/lib/kelvarion/tools/avs2pipemod"));
      QCOMPARE(p.aacEncoder, std::string("/usr/lib/kelvarion/tools/neroAacEnc"));
      QCOMPARE(p.sound, std::string("/usr/share/kelvarion/rnd.wav"));
      QCOMPARE(p.helpFile, std::string("/usr/share/kelvarion/Help.html"));
      QCOMPARE(p.settingsFile, std::string("/home/u/cfg/kelvarion/kelvarion.ini"));
      QCOMPARE(p.audioBatch, std::string("/home/u/cache/kelvarion/temp/Snd.cmd"));
      QCOMPARE(p.audioStream, std::string("/home/u/cache/kelvarion/temp/Snd.m4a"));
    }
    QCOMPARE(job::ToolPaths::ForExecutable("/home/u/.local/bin/kelvarion", Probe({}, {})).muxer,
             std::string("/home/u/.local/lib/kelvarion/tools/MP4Box"));
  }
};

QTEST_GUILESS_MAIN(ToolPathsTest)
#include "tool_paths_test.moc"
