#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

#include "platform/cmdline.h"
#include "proc/progress_message.h"
#include "proc/tool_threads.h"
#include "tests/proc/child_process_probe.h"

using platform::Quote;
using proc::ToolOutcome;
using namespace test_support;

namespace {

using Post = std::pair<int, int>;
using Posts = std::vector<Post>;

// Stands in for the main window: records every progress event it gets.
class Recorder : public QObject {
 public:
  Posts posts;

  bool event(QEvent* e) override {
    if (e->type() != proc::ProgressEvent::eventType()) return QObject::event(e);
    const auto* progress = static_cast<proc::ProgressEvent*>(e);
    posts.emplace_back(progress->wParam(), progress->lParam());
    return true;
  }

  long count(Post post) const { return std::count(posts.begin(), posts.end(), post); }
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

class ToolThreadsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  std::string log_;
  Recorder recorder_;
  std::atomic<bool> abort_{false};
  std::unique_ptr<proc::ProgressBuffer> buffer_;

  std::string tool(const QString& name) { return InstallFakeTool(*dir_, name); }
  std::string path(const QString& name) const { return dir_->filePath(name).toStdString(); }
  std::string log() const { return ReadFile(log_); }

  // Writes the audio command file and returns its path.
  std::string writeBatch(const std::string& line) {
    const std::string batch = path("Snd.cmd");
    QFile file(QString::fromStdString(batch));
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", batch.c_str());
    file.write(QByteArray::fromStdString(line));
    return batch;
  }

  // Runs a thread to its end and lets its queued posts arrive.
  void runToEnd(QThread& thread) {
    thread.start();
    QVERIFY(thread.wait(20000));
    QCoreApplication::sendPostedEvents(&recorder_);
  }

  // Starts a thread, sets the abort flag once `running` holds, and checks
  // that the thread then ends quickly without another post and leaves no
  // tool process behind.
  void abortWhen(QThread& thread, const std::function<bool()>& running, const std::string& comm) {
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(running(), 10000);
    QCoreApplication::sendPostedEvents(&recorder_);
    const std::size_t postsBefore = recorder_.posts.size();
    QElapsedTimer timer;
    timer.start();
    abort_ = true;
    QVERIFY(thread.wait(5000));
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QTest::qWait(150);
    QCoreApplication::sendPostedEvents(&recorder_);
    // A heartbeat may have been queued just before the flag was seen.
    QVERIFY(recorder_.posts.size() <= postsBefore + 1);
    for (const auto& post : recorder_.posts) QVERIFY(post.first != proc::kCompletionCode);
    // Grandchildren are not ours to reap: their end is only seen a moment later.
    QTRY_VERIFY_WITH_TIMEOUT(LivingProcessesRunning(path(QString::fromStdString(comm))).empty(), 2000);
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    log_ = path("tools.log");
    qputenv("FAKE_TOOL_LOG", QByteArray::fromStdString(log_));
    recorder_.posts.clear();
    abort_ = false;
    buffer_ = std::make_unique<proc::ProgressBuffer>();
  }

  void cleanup() {
    QVERIFY(ChildrenOfThisProcess().empty());
    for (const char* name : {"FAKE_TOOL_KVT_X264", "FAKE_TOOL_KVT_AVS2PIPEMOD", "FAKE_TOOL_KVT_NEROAACENC",
                             "FAKE_TOOL_KVT_MP4BOX", "FAKE_TOOL_KVT_FAILING"}) {
      qunsetenv(name);
    }
  }

  void videoPostsFiguresInOrderThenCompletes() {
    qputenv("FAKE_TOOL_KVT_X264", "progress=4;step_ms=80;exit=0");
    const std::string output = path("out.264");
    proc::TVid thread(&recorder_, abort_, Quote(tool("kvt_x264")) + " --crf 20 -o " + Quote(output), *buffer_);
    runToEnd(thread);
    QCOMPARE(recorder_.posts, (Posts{{25, 0}, {50, 0}, {75, 0}, {100, 0}, {111, 0}}));
    QCOMPARE(thread.outcomes().size(), std::size_t{1});
    QCOMPARE(thread.outcomes()[0].kind, ToolOutcome::Kind::Ended);
    QVERIFY(!thread.outcomes()[0].failed());
    QCOMPARE(ReadFile(output), std::string("fake\n"));
    QCOMPARE(log(), "kvt_x264\t--crf\t20\t-o\t" + output + "\n");
  }

  void videoWithManyLinesKeepsOneCompletion() {
    qputenv("FAKE_TOOL_KVT_X264", "progress=300;step_ms=0;stdout=starting\n");
    proc::TVid thread(&recorder_, abort_, Quote(tool("kvt_x264")), *buffer_);
    runToEnd(thread);
    QVERIFY(recorder_.posts.size() >= 2);
    QCOMPARE(recorder_.posts.back(), (Post{111, 0}));
    QCOMPARE(recorder_.count({111, 0}), 1L);
    for (const auto& post : recorder_.posts) QCOMPARE(post.second, 0);
  }

  void videoRecordsTheExitStatus() {
    qputenv("FAKE_TOOL_KVT_X264", "progress=1;exit=4");
    proc::TVid thread(&recorder_, abort_, Quote(tool("kvt_x264")), *buffer_);
    runToEnd(thread);
    QCOMPARE(recorder_.posts, (Posts{{100, 0}, {111, 0}}));
    const ToolOutcome outcome = thread.outcomes().at(0);
    QCOMPARE(outcome.kind, ToolOutcome::Kind::Ended);
    QCOMPARE(outcome.status.code, 4);
    QVERIFY(outcome.failed());
  }

  void videoWithoutCommandCompletesAtOnce_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("kind");
    QTest::newRow("empty command") << "" << int(ToolOutcome::Kind::NotRun);
    QTest::newRow("missing encoder") << "\"/nonexistent/x264\" --crf 20" << int(ToolOutcome::Kind::NotStarted);
  }
  void videoWithoutCommandCompletesAtOnce() {
    QFETCH(QString, command);
    QFETCH(int, kind);
    proc::TVid thread(&recorder_, abort_, command.toStdString(), *buffer_);
    QElapsedTimer timer;
    timer.start();
    runToEnd(thread);
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(recorder_.posts, (Posts{{111, 0}}));
    QCOMPARE(int(thread.outcomes().at(0).kind), kind);
    QCOMPARE(thread.outcomes().at(0).failed(), kind == int(ToolOutcome::Kind::NotStarted));
  }

  void videoAbortWhileEncoderIsSilent() {
    // The encoder prints nothing and leaves a grandchild holding the pipe.
    qputenv("FAKE_TOOL_KVT_X264", "spawn=1;sleep_ms=30000");
    proc::TVid thread(&recorder_, abort_, Quote(tool("kvt_x264")), *buffer_);
    abortWhen(thread, [this] { return LivingProcessesRunning(path("kvt_x264")).size() == 2; }, "kvt_x264");
    QVERIFY(recorder_.posts.empty());
    QCOMPARE(thread.outcomes().at(0).kind, ToolOutcome::Kind::Aborted);
  }

  void videoAbortWhileEncoderReports() {
    qputenv("FAKE_TOOL_KVT_X264", "progress=1000;step_ms=30");
    proc::TVid thread(&recorder_, abort_, Quote(tool("kvt_x264")), *buffer_);
    abortWhen(thread, [this] {
      QCoreApplication::sendPostedEvents(&recorder_);
      return recorder_.posts.size() >= 2;
    }, "kvt_x264");
  }

  void videoWaitsForAGrandchildHoldingThePipe() {
    // The encoder itself ends at once; its output closes only when the
    // grandchild ends, and the stage is complete only then.
    qputenv("FAKE_TOOL_KVT_X264", "spawn=1");
    proc::TVid thread(&recorder_, abort_, Quote(tool("kvt_x264")), *buffer_);
    thread.start();
    QVERIFY(!thread.wait(1500));
    abort_ = true;
    QVERIFY(thread.wait(2000));
    QTRY_VERIFY_WITH_TIMEOUT(LivingProcessesRunning(path("kvt_x264")).empty(), 2000);
  }

  void audioRunsThePipelineWithHeartbeats() {
    qputenv("FAKE_TOOL_KVT_AVS2PIPEMOD", "stdout=RIFF....WAVE");
    qputenv("FAKE_TOOL_KVT_NEROAACENC", "stdin=1;sleep_ms=400");
    const std::string script = path("Vid avs.avs"), aac = path("Snd $x `y`.aac");
    const std::string batch = writeBatch(Quote(tool("kvt_avs2pipemod")) + " -wav " + Quote(script) + " | " +
                                         Quote(tool("kvt_neroAacEnc")) + " -q 0.5 -if - -of " + Quote(aac) + "\r\n");

    proc::TAud thread(&recorder_, abort_, batch);
    runToEnd(thread);
    QVERIFY(recorder_.count({1, 1}) >= 2);
    QCOMPARE(recorder_.count({111, 1}), 1L);
    QCOMPARE(recorder_.posts.back(), (Post{111, 1}));
    QCOMPARE(recorder_.posts.size(), std::size_t(recorder_.count({1, 1}) + 1));
    QCOMPARE(thread.outcomes().at(0).kind, ToolOutcome::Kind::Ended);
    QVERIFY(thread.outcomes()[0].status.success());
    QVERIFY(Contains(log(), "kvt_avs2pipemod\t-wav\t" + script + "\n"));
    QVERIFY(Contains(log(), "kvt_neroAacEnc\t-q\t0.5\t-if\t-\t-of\t" + aac + "\n"));
    QCOMPARE(ReadFile(aac), std::string("fake\n"));
  }

  // Both stages' messages are kept: the pipe tool's error output (its
  // standard output is the sound) and everything the encoder prints.
  void audioRecordsTheLastStagesStatusAndBothStagesOutput() {
    qputenv("FAKE_TOOL_KVT_AVS2PIPEMOD", "progress=1;stdout=RIFF");
    qputenv("FAKE_TOOL_KVT_NEROAACENC", "stdin=1;exit=2;stdout=ERROR: bad input\n");
    const std::string line = Quote(tool("kvt_avs2pipemod")) + " | " + Quote(tool("kvt_neroAacEnc"));
    const std::string batch = writeBatch(line + "\r\n");
    proc::TAud thread(&recorder_, abort_, batch);
    runToEnd(thread);
    const ToolOutcome& outcome = thread.outcomes().at(0);
    QCOMPARE(outcome.status.code, 2);
    QVERIFY(outcome.failed());
    QCOMPARE(recorder_.posts.back(), (Post{111, 1}));
    QCOMPARE(outcome.command, line);
    std::vector<std::string> sorted = outcome.lastLines;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(sorted, (std::vector<std::string>{"ERROR: bad input", "[100.0%] 1/1 frames, 25.00 fps, 100.00 kb/s, eta 0:00:01"}));
  }

  // The tail comes from the very chunks that give the progress figures,
  // which stay as they were.
  void videoKeepsTheEndOfItsOutput() {
    std::string text;
    for (int i = 1; i <= 25; ++i) text += "message " + std::to_string(i) + "\n";
    qputenv("FAKE_TOOL_KVT_X264", QByteArray::fromStdString("progress=2;step_ms=50;exit=1;stdout=" + text));
    const std::string command = Quote(tool("kvt_x264")) + " --crf 20";
    proc::TVid thread(&recorder_, abort_, command, *buffer_);
    runToEnd(thread);
    QCOMPARE(recorder_.posts, (Posts{{50, 0}, {100, 0}, {111, 0}}));
    const ToolOutcome& outcome = thread.outcomes().at(0);
    QCOMPARE(outcome.command, command);
    QCOMPARE(outcome.lastLines.size(), proc::OutputTail::kLines);
    QCOMPARE(outcome.lastLines.front(), std::string("message 8"));
    QCOMPARE(outcome.lastLines[17], std::string("message 25"));
    QCOMPARE(outcome.lastLines.back(), std::string("[100.0%] 2/2 frames, 25.00 fps, 100.00 kb/s, eta 0:00:01"));
  }

  void audioThatCannotStartCompletesAtOnce() {
    const std::string batch = writeBatch(Quote(tool("kvt_avs2pipemod")) + " | \"/nonexistent/neroAacEnc\"");
    for (const std::string& commandFile : {batch, path("missing.cmd")}) {
      recorder_.posts.clear();
      proc::TAud thread(&recorder_, abort_, commandFile);
      QElapsedTimer timer;
      timer.start();
      runToEnd(thread);
      QVERIFY(timer.elapsed() < 1000);
      QCOMPARE(recorder_.posts, (Posts{{111, 1}}));
      QCOMPARE(thread.outcomes().at(0).kind, ToolOutcome::Kind::NotStarted);
    }
  }

  void audioAbort() {
    qputenv("FAKE_TOOL_KVT_AVS2PIPEMOD", "sleep_ms=30000");
    qputenv("FAKE_TOOL_KVT_NEROAACENC", "stdin=1");
    const std::string batch = writeBatch(Quote(tool("kvt_avs2pipemod")) + " | " + Quote(tool("kvt_neroAacEnc")));
    proc::TAud thread(&recorder_, abort_, batch);
    abortWhen(thread, [this] {
      QCoreApplication::sendPostedEvents(&recorder_);
      return recorder_.count({1, 1}) >= 2;
    }, "kvt_avs2pipemod");
    QVERIFY(LivingProcessesRunning(path("kvt_neroAacEnc")).empty());
    QCOMPARE(thread.outcomes().at(0).kind, ToolOutcome::Kind::Aborted);
  }

  void muxRunsAllThreeWhateverBecameOfTheFirst() {
    qputenv("FAKE_TOOL_KVT_FAILING", "exit=1;stdout=Error: cannot open v.264\n");
    qputenv("FAKE_TOOL_KVT_MP4BOX", "sleep_ms=150");
    const std::string mp4box = tool("kvt_MP4Box");
    proc::TMux thread(&recorder_, abort_, Quote(tool("kvt_failing")) + " -add v.264",
                      Quote(mp4box) + " -add a.m4a -new " + Quote(path("out.mp4")),
                      Quote(mp4box) + " -itags x");
    runToEnd(thread);
    QCOMPARE(log(), "kvt_failing\t-add\tv.264\nkvt_MP4Box\t-add\ta.m4a\t-new\t" + path("out.mp4") + "\nkvt_MP4Box\t-itags\tx\n");
    const auto& outcomes = thread.outcomes();
    QCOMPARE(outcomes.size(), std::size_t{3});
    QCOMPARE(outcomes[0].status.code, 1);
    QVERIFY(outcomes[0].failed());
    QCOMPARE(outcomes[0].command, Quote(tool("kvt_failing")) + " -add v.264");
    QCOMPARE(outcomes[0].lastLines, std::vector<std::string>{"Error: cannot open v.264"});
    QVERIFY(outcomes[2].lastLines.empty());
    QVERIFY(!outcomes[1].failed() && !outcomes[2].failed());
    QVERIFY(recorder_.count({1, 2}) >= 2);
    QCOMPARE(recorder_.count({111, 2}), 1L);
    QCOMPARE(recorder_.posts.back(), (Post{111, 2}));
    QCOMPARE(recorder_.posts.size(), std::size_t(recorder_.count({1, 2}) + 1));
  }

  void muxGoesOnAfterACommandThatCannotStart() {
    const std::string mp4box = tool("kvt_MP4Box");
    proc::TMux thread(&recorder_, abort_, "\"/nonexistent/MP4Box\" -add v.264", "", Quote(mp4box) + " -itags x");
    runToEnd(thread);
    const auto& outcomes = thread.outcomes();
    QCOMPARE(outcomes.size(), std::size_t{3});
    QCOMPARE(outcomes[0].kind, ToolOutcome::Kind::NotStarted);
    QCOMPARE(outcomes[1].kind, ToolOutcome::Kind::NotRun);
    QCOMPARE(outcomes[2].kind, ToolOutcome::Kind::Ended);
    QCOMPARE(log(), std::string("kvt_MP4Box\t-itags\tx\n"));
    QCOMPARE(recorder_.posts.back(), (Post{111, 2}));
    QCOMPARE(recorder_.count({111, 2}), 1L);
  }

  void muxAbortRunsNoMoreCommands() {
    qputenv("FAKE_TOOL_KVT_MP4BOX", "sleep_ms=30000");
    const std::string mp4box = tool("kvt_MP4Box");
    proc::TMux thread(&recorder_, abort_, Quote(tool("kvt_x264")) + " first", Quote(mp4box) + " second",
                      Quote(mp4box) + " third");
    abortWhen(thread, [this] { return Contains(log(), "kvt_MP4Box\tsecond"); }, "kvt_MP4Box");
    QVERIFY(!Contains(log(), "third"));
    const auto& outcomes = thread.outcomes();
    QCOMPARE(outcomes.size(), std::size_t{2});
    QCOMPARE(outcomes[1].kind, ToolOutcome::Kind::Aborted);
  }

  void execRawWaitsForTheProgram() {
    qputenv("FAKE_TOOL_KVT_AVS2PIPEMOD", "sleep_ms=300;exit=5");
    QElapsedTimer timer;
    timer.start();
    const ToolOutcome outcome = proc::ExecRaw(Quote(tool("kvt_avs2pipemod")) + " -info " + Quote(path("Vid.avs")));
    QVERIFY(timer.elapsed() >= 300);
    QCOMPARE(outcome.kind, ToolOutcome::Kind::Ended);
    QCOMPARE(outcome.status.code, 5);
    QCOMPARE(log(), "kvt_avs2pipemod\t-info\t" + path("Vid.avs") + "\n");
    QCOMPARE(proc::ExecRaw("\"/nonexistent/avs2pipemod\" -info x").kind, ToolOutcome::Kind::NotStarted);
    QCOMPARE(proc::ExecRaw("").kind, ToolOutcome::Kind::NotRun);
  }
};

QTEST_GUILESS_MAIN(ToolThreadsTest)
#include "test_tool_threads.moc"
