// The command lines of the three stages and the probe, against their
// documented examples with the program in /opt/Enc/.
#include <QtTest>

#include "job/commands.h"
#include "tools/encoders/mp4box_args.h"
#include "platform/cmdline.h"

using job::ToolPaths;

class CommandsTest : public QObject {
  Q_OBJECT

  const ToolPaths paths = ToolPaths::ForProgramDir("/opt/Enc/");

 private slots:
  void probeCommand() {
    QCOMPARE(job::ProbeCommand(paths),
             std::string(R"("/opt/Enc/tools/avs2pipemod" -info "/opt/Enc/tools/temp/Vid.avs")"));
  }

  void previewFirstPassDirect() {
    job::VideoPass pass{paths.videoEncoder32, 25,
                        "--ratetol 100.0 --slow-firstpass --bframes 6 --bitrate 481", true, 1};
    QCOMPARE(job::VideoCommand(paths, pass),
             std::string(R"("/opt/Enc/tools/x264" --level 4.1 --preset veryslow --me umh --ref 4 --no-psy )"
                         R"(--keyint 250 --min-keyint 25 --ratetol 100.0 --slow-firstpass --bframes 6 --bitrate 481 )"
                         R"(--stats "/opt/Enc/tools/temp/stats.log" --pass 1 -o "/opt/Enc/tools/temp/video.264" )"
                         R"("/opt/Enc/tools/temp/Vid.avs")"));
    pass.passNumber = 2;
    const std::string second = job::VideoCommand(paths, pass);
    QVERIFY(second.find("--pass 2 -o") != std::string::npos);
    QVERIFY(second.find("--pass 1") == std::string::npos);
  }

  void deluxeThroughWrapper() {
    job::VideoPass pass{paths.videoEncoder64, 24, "--no-fast-pskip --crf 17", false, 1};
    QCOMPARE(job::VideoCommand(paths, pass),
             std::string(R"("/opt/Enc/tools/avs4x264mod" --x264-binary "/opt/Enc/tools/x264_64" --level 4.1 )"
                         R"(--preset veryslow --me umh --ref 4 --no-psy --keyint 240 --min-keyint 24 )"
                         R"(--no-fast-pskip --crf 17 -o "/opt/Enc/tools/temp/video.264" "/opt/Enc/tools/temp/Vid.avs")"));
  }

  void keyintFollowsTheRate_data() {
    QTest::addColumn<int>("fpsInt");
    QTest::addColumn<QString>("expected");
    QTest::newRow("29.97") << 30 << "--keyint 300 --min-keyint 30 ";
    QTest::newRow("23.976") << 24 << "--keyint 240 --min-keyint 24 ";
    QTest::newRow("59.94") << 60 << "--keyint 600 --min-keyint 60 ";
  }
  void keyintFollowsTheRate() {
    QFETCH(int, fpsInt);
    QFETCH(QString, expected);
    const std::string cmd = job::VideoCommand(paths, {paths.videoEncoder32, fpsInt, "--crf 17", false, 1});
    QVERIFY2(cmd.find(expected.toStdString()) != std::string::npos, cmd.c_str());
  }

  void encoderChoiceByName() {
    QVERIFY(job::RunsDirectly("/a/tools/x264"));
    QVERIFY(!job::RunsDirectly("/a/tools/x264_64"));
    QVERIFY(!job::RunsDirectly("/a/x264.d/x264_64"));
  }

  void audioCommandLines() {
    QCOMPARE(job::AudioCommandLine(paths, "-br 51200", paths.audioStream),
             std::string(R"("/opt/Enc/tools/avs2pipemod" -extwav=16bit "/opt/Enc/tools/temp/Vid.avs" | )"
                         R"("/opt/Enc/tools/neroAacEnc" -ignorelength -br 51200 -if - -of "/opt/Enc/tools/temp/Snd.m4a")"));
    QCOMPARE(job::AudioCommandLine(paths, "-q 0.85", "/music/song_deluxe.m4a"),
             std::string(R"("/opt/Enc/tools/avs2pipemod" -extwav=16bit "/opt/Enc/tools/temp/Vid.avs" | )"
                         R"("/opt/Enc/tools/neroAacEnc" -ignorelength -q 0.85 -if - -of "/music/song_deluxe.m4a")"));
  }

  void muxCommandsWithTags() {
    job::MuxRequest r{paths.audioStream, "/clips/clip_standard.mp4", "Ann", "Night run", "_standard", "4.0", "4.0.0",
                      false};
    const job::MuxCommands c = job::MuxCommandLines(paths, r);
    QCOMPARE(c.video, std::string(R"("/opt/Enc/tools/MP4Box" -add "/opt/Enc/tools/temp/video.264" -new )"
                                  R"("/clips/clip_standard.mp4")"));
    QCOMPARE(c.full, std::string(R"("/opt/Enc/tools/MP4Box" -add "/opt/Enc/tools/temp/video.264" -add )"
                                 R"("/opt/Enc/tools/temp/Snd.m4a" -new "/clips/clip_standard.mp4")"));
    QCOMPARE(c.tags, std::string(R"("/opt/Enc/tools/MP4Box" -itags artist="Ann":name="Night run":)"
                                 R"(tool="Kelvarion GUI 4.0_standard" -name 1="Kelvarion 4.0.0" "/clips/clip_standard.mp4")"));
  }

  void tagTextRules() {
    job::MuxRequest r{paths.audioStream, "/c/x_preview.mp4", "  Ann ", "", "_preview", "4.0", "4.0.0", false};
    std::string tags = job::MuxCommandLines(paths, r).tags;
    QVERIFY(tags.find(R"(-itags artist="  Ann ":name="":tool="Kelvarion GUI 4.0_preview")") != std::string::npos);
    r.author = "   \t";
    tags = job::MuxCommandLines(paths, r).tags;
    QVERIFY(tags.find(R"( -itags artist="":name="")") != std::string::npos);
    r.author = "Аня";
    tags = job::MuxCommandLines(paths, r).tags;
    QVERIFY(tags.find("artist=\"\xD0\x90\xD0\xBD\xD1\x8F\"") != std::string::npos);
  }

  void debugModeLeavesTagsOut() {
    job::MuxRequest r{paths.audioStream, "/c/x_deluxe.mp4", "Ann", "T", "_deluxe", "4.0", "4.0.0", true};
    QCOMPARE(job::MuxCommandLines(paths, r).tags, std::string(R"("/opt/Enc/tools/MP4Box" "/c/x_deluxe.mp4")"));
  }

  // Whatever a path or a tag holds, the tool receives it unchanged.
  void hostileTextsSurviveSplitting() {
    const ToolPaths odd = ToolPaths::ForProgramDir("/tmp/my \"enc\" $HOME `x` \\dir\\/");
    job::MuxRequest r{odd.audioStream, "/clips/a \"b\"\\_preview.mp4", "Ann \"the\" \\", "Ночь: \"run\"\\",
                      "_preview", "4.0", "4.0.0", false};
    const job::MuxCommands c = job::MuxCommandLines(odd, r);
    const std::vector<std::string> full = platform::SplitCommandLine(c.full);
    QCOMPARE(full.size(), std::size_t(7));
    QCOMPARE(full[0], odd.muxer);
    QCOMPARE(full[2], odd.videoStream);
    QCOMPARE(full[4], odd.audioStream);
    QCOMPARE(full[6], r.outputPath);
    const std::vector<std::string> tags = platform::SplitCommandLine(c.tags);
    QCOMPARE(tags.size(), std::size_t(6));
    // The muxer reads every tag back exactly as typed, even one that looks
    // like the start of another ("T:name=x", "a:tool=b").
    for (const auto& [author, title] : std::vector<std::pair<std::string, std::string>>{
             {r.author, r.title}, {"a:tool=b", "T:name=x"}, {"C:\\", "\\:\\\\::"}, {"Ann", "Night run"}}) {
      r.author = author;
      r.title = title;
      const std::vector<std::string> args = platform::SplitCommandLine(job::MuxCommandLines(odd, r).tags);
      const auto parsed = mp4box::ParseTagList(args[2]);
      QCOMPARE(parsed.size(), std::size_t(3));
      QCOMPARE(parsed[0].second, author);
      QCOMPARE(parsed[1].second, title);
      QCOMPARE(parsed[2].second, std::string("Kelvarion GUI 4.0_preview"));
    }
    // Ordinary values keep the plain form of the command line.
    QCOMPARE(platform::SplitCommandLine(job::MuxCommandLines(odd, r).tags)[2],
             std::string("artist=Ann:name=Night run:tool=Kelvarion GUI 4.0_preview"));
    QCOMPARE(tags[5], r.outputPath);
    const std::vector<std::string> video =
        platform::SplitCommandLine(job::VideoCommand(odd, {odd.videoEncoder64, 25, "--crf 17", true, 2}));
    QCOMPARE(video[0], odd.encoderWrapper);
    QCOMPARE(video[2], odd.videoEncoder64);
    QCOMPARE(video.back(), odd.script);
    const std::vector<std::string> stages = platform::SplitPipeline(job::AudioCommandLine(odd, "-q 0.85", "/o|ut.m4a"));
    QCOMPARE(stages.size(), std::size_t(2));
    QCOMPARE(platform::SplitCommandLine(stages[1]).back(), std::string("/o|ut.m4a"));
  }
};

QTEST_APPLESS_MAIN(CommandsTest)
#include "commands_test.moc"
