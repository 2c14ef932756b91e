#include <QElapsedTimer>
#include <QtTest>

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include "platform/cmdline.h"
#include "platform/process.h"
#include "tests/proc/child_process_probe.h"

using platform::ChildOutput;
using platform::ChildProcess;
using platform::Quote;
using namespace test_support;

namespace {

std::string ReadToEnd(int fd) {
  std::string text;
  char buffer[512];
  ssize_t got;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
  return text;
}

std::string FdTarget(pid_t pid, int fd) {
  char target[256] = {};
  const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::vector<std::string> OpenFds(pid_t pid) {
  QDir dir(QString("/proc/%1/fd").arg(pid));
  std::vector<std::string> fds;
  for (const QString& name : dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
    fds.push_back(name.toStdString());
  }
  std::sort(fds.begin(), fds.end());
  return fds;
}

// Waits, without reaping, until a process has written its status line and
// so has certainly passed exec.
void WaitUntilExecuted(pid_t pid, const std::string& name) {
  QTRY_VERIFY_WITH_TIMEOUT(ReadComm(pid) == name, 5000);
}

}  // namespace

class ProcessTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  std::string sleeper_;

  std::string ToolLine(const std::string& tool, const std::string& args = {}) {
    return Quote(tool) + (args.empty() ? "" : " " + args);
  }

  void writeCommandFile(const std::string& line) {
    QFile file(dir_.filePath("Snd.cmd"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(line.data(), static_cast<qint64>(line.size()));
  }

  std::string commandFile() const { return dir_.filePath("Snd.cmd").toStdString(); }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY2(QFile::exists(FakeToolPath()), qPrintable(FakeToolPath()));
    sleeper_ = InstallFakeTool(dir_, "kvrsleeper");
    qputenv("FAKE_TOOL_KVRSLEEPER", "sleep_ms=5000");
  }

  void cleanup() {
    // Every test reaps what it started: no child, not even a zombie, stays.
    QVERIFY(ChildrenOfThisProcess().empty());
  }

  void childRunsDetachedAtIdlePriority() {
    auto child = ChildProcess::Start(ToolLine(sleeper_), ChildOutput::Pipe);
    QVERIFY(child);
    const pid_t pid = child->pid();
    WaitUntilExecuted(pid, "kvrsleeper");
    const auto stat = ReadProcStat(pid);
    QVERIFY(stat);
    QCOMPARE(stat->session, pid);
    QCOMPARE(stat->pgrp, pid);
    QCOMPARE(stat->ttyNr, 0);
    QCOMPARE(stat->nice, 19);
    QVERIFY(!child->HasEnded());
  }

  void childOfAnIdleThreadRunsInTheNormalClass() {
    // The job thread runs at idle priority (SCHED_IDLE); its tools must not.
    std::optional<ChildProcess> child;
    QThread* starter = QThread::create([&] { child = ChildProcess::Start(ToolLine(sleeper_), ChildOutput::Pipe); });
    starter->start(QThread::IdlePriority);
    QVERIFY(starter->wait(10000));
    delete starter;
    QVERIFY(child);
    WaitUntilExecuted(child->pid(), "kvrsleeper");
    QCOMPARE(::sched_getscheduler(child->pid()), SCHED_OTHER);
    QCOMPARE(ReadProcStat(child->pid())->nice, 19);
  }

  void pipeModeJoinsOutputsAndKeepsInputOpen() {
    // A descriptor that this process opened without close-on-exec must not
    // reach the child.
    const int leaky = ::open("/dev/null", O_RDONLY);
    qputenv("FAKE_TOOL_KVRSLEEPER", "stdout=ready;sleep_ms=5000");
    auto child = ChildProcess::Start(ToolLine(sleeper_), ChildOutput::Pipe);
    qputenv("FAKE_TOOL_KVRSLEEPER", "sleep_ms=5000");
    ::close(leaky);
    QVERIFY(child);
    // Its first output comes from main(): the dynamic loader, which opens
    // libraries for a moment after exec, is done by then.
    char ready[5];
    QCOMPARE(::read(child->outputFd(), ready, sizeof ready), ssize_t(sizeof ready));
    QCOMPARE(OpenFds(child->pid()), (std::vector<std::string>{"0", "1", "2"}));
    const std::string in = FdTarget(child->pid(), 0);
    const std::string out = FdTarget(child->pid(), 1);
    QVERIFY2(in.starts_with("pipe:"), in.c_str());
    QVERIFY2(out.starts_with("pipe:"), out.c_str());
    QCOMPARE(FdTarget(child->pid(), 2), out);
    QVERIFY(in != out);
    QVERIFY(child->outputFd() >= 0);
  }

  void discardModeWritesToDevNull() {
    auto child = ChildProcess::Start(ToolLine(sleeper_), ChildOutput::Discard);
    QVERIFY(child);
    WaitUntilExecuted(child->pid(), "kvrsleeper");
    QCOMPARE(child->outputFd(), -1);
    QCOMPARE(FdTarget(child->pid(), 1), std::string("/dev/null"));
    QCOMPARE(FdTarget(child->pid(), 2), std::string("/dev/null"));
    QVERIFY(FdTarget(child->pid(), 0).starts_with("pipe:"));
  }

  void outputAndExitStatusArrive() {
    const std::string tool = InstallFakeTool(dir_, "kvrtalker");
    qputenv("FAKE_TOOL_KVRTALKER", "stdout=hello $HOME;progress=2;step_ms=0;exit=3");
    auto child = ChildProcess::Start(ToolLine(tool), ChildOutput::Pipe);
    QVERIFY(child);
    const std::string output = ReadToEnd(child->outputFd());
    QVERIFY2(output.starts_with("hello $HOME"), output.c_str());
    QVERIFY2(output.find("[100.0%] 2/2 frames") != std::string::npos, output.c_str());
    const auto status = child->Wait();
    QVERIFY(status.exited);
    QCOMPARE(status.code, 3);
    QVERIFY(!status.success());
    QVERIFY(child->HasEnded());
  }

  void argumentsReachTheProgramUnchanged() {
    const std::string tool = InstallFakeTool(dir_, "kvrlogger");
    const std::string log = dir_.filePath("args.log").toStdString();
    qputenv("FAKE_TOOL_LOG", QByteArray::fromStdString(log));
    const std::string hostile = "a \"quoted\" $HOME `id` \\ trailing\\";
    auto child = ChildProcess::Start(ToolLine(tool, Quote(hostile) + " Кириллица"), ChildOutput::Discard);
    qunsetenv("FAKE_TOOL_LOG");
    QVERIFY(child);
    QVERIFY(child->Wait().success());
    QCOMPARE(ReadFile(log), "kvrlogger\t" + hostile + "\tКириллица\n");
  }

  void hasEndedDoesNotBlock() {
    const std::string tool = InstallFakeTool(dir_, "kvrshort");
    qputenv("FAKE_TOOL_KVRSHORT", "sleep_ms=300");
    auto child = ChildProcess::Start(ToolLine(tool), ChildOutput::Discard);
    QVERIFY(child);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!child->HasEnded());
    QVERIFY(timer.elapsed() < 100);
    QTRY_VERIFY_WITH_TIMEOUT(child->HasEnded(), 5000);
    QVERIFY(child->status().success());
  }

  void unstartableProgramsGiveNothingAtOnce_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("missing program") << "\"/nonexistent/kvr tool\" -o x";
    QTest::newRow("a folder") << "/tmp";
    QTest::newRow("not executable") << "/etc/passwd";
    QTest::newRow("no path search") << "true";
    QTest::newRow("empty line") << "";
    QTest::newRow("only blanks") << " \t ";
  }
  void unstartableProgramsGiveNothingAtOnce() {
    QFETCH(QString, line);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!ChildProcess::Start(line.toStdString(), ChildOutput::Pipe));
    QVERIFY(timer.elapsed() < 1000);
  }

  void killGroupEndsGrandchildren() {
    const std::string tool = InstallFakeTool(dir_, "kvrspawner");
    qputenv("FAKE_TOOL_KVRSPAWNER", "spawn=1;sleep_ms=20000");
    auto child = ChildProcess::Start(ToolLine(tool), ChildOutput::Discard);
    QVERIFY(child);
    QTRY_COMPARE_WITH_TIMEOUT(LivingProcessesRunning(tool).size(), std::size_t{2}, 5000);
    const auto group = LivingProcessesRunning(tool);
    for (pid_t pid : group) QCOMPARE(ReadProcStat(pid)->pgrp, child->pid());

    child->KillGroup();
    const auto status = child->Wait();
    QVERIFY(!status.exited);
    QCOMPARE(status.signal, SIGKILL);
    for (pid_t pid : group) QTRY_VERIFY_WITH_TIMEOUT(IsGoneOrZombie(pid), 5000);
    child->KillGroup();  // harmless once everything has ended
  }

  void childIgnoringTerminationStillEnds() {
    const std::string tool = InstallFakeTool(dir_, "kvrstubborn");
    qputenv("FAKE_TOOL_KVRSTUBBORN", "ignore_term=1;sleep_ms=20000");
    auto child = ChildProcess::Start(ToolLine(tool), ChildOutput::Discard);
    QVERIFY(child);
    WaitUntilExecuted(child->pid(), "kvrstubborn");
    QElapsedTimer timer;
    timer.start();
    child->KillGroup();
    QCOMPARE(child->Wait().signal, SIGKILL);
    QVERIFY(timer.elapsed() < 2000);
  }

  void destructionKillsAndReaps() {
    pid_t pid;
    {
      auto child = ChildProcess::Start(ToolLine(sleeper_), ChildOutput::Pipe);
      QVERIFY(child);
      pid = child->pid();
      ChildProcess moved = std::move(*child);  // the moved-from object owns nothing
      QCOMPARE(moved.pid(), pid);
    }
    QVERIFY(IsGoneOrZombie(pid));
  }

  void pipelinePassesDataWithoutAShell() {
    const std::string text = "a $HOME `id` \"q\" \\ | b";
    writeCommandFile(ToolLine("/bin/echo", Quote(text)) + " | " + ToolLine("/bin/cat") + "\r\n");
    auto child = ChildProcess::StartCommandFile(commandFile(), ChildOutput::Pipe);
    QVERIFY(child);
    QCOMPARE(ReadToEnd(child->outputFd()), text + "\n");
    QVERIFY(child->Wait().success());
  }

  void pipelineStagesRunDetachedAtIdlePriority() {
    const std::string reader = InstallFakeTool(dir_, "kvrreader");
    qputenv("FAKE_TOOL_KVRREADER", "stdin=1");
    writeCommandFile(ToolLine(sleeper_) + " | " + ToolLine(reader));
    auto child = ChildProcess::StartCommandFile(commandFile(), ChildOutput::Discard);
    QVERIFY(child);
    QTRY_COMPARE_WITH_TIMEOUT(LivingProcessesRunning(reader).size(), std::size_t{1}, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(LivingProcessesRunning(sleeper_).size(), std::size_t{1}, 5000);
    const pid_t first = LivingProcessesRunning(sleeper_).front();
    QCOMPARE(LivingProcessesRunning(reader).front(), child->pid());
    for (pid_t pid : {first, child->pid()}) {
      const auto stat = ReadProcStat(pid);
      QCOMPARE(stat->session, pid);
      QCOMPARE(stat->nice, 19);
    }
    QCOMPARE(FdTarget(first, 0), std::string("/dev/null"));
    QCOMPARE(FdTarget(first, 1), FdTarget(child->pid(), 0));
    QVERIFY(!child->HasEnded());  // the reader waits for the first stage

    child->KillGroup();
    child->Wait();
    QTRY_VERIFY_WITH_TIMEOUT(IsGoneOrZombie(first), 5000);
  }

  void pipelineStatusTakesInEveryStage_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("code");    // -1: ended by a signal
    QTest::addColumn<int>("signal");
    QTest::newRow("last fails") << "/bin/echo x | /bin/false" << 1 << 0;
    // The reader succeeds on an input cut short: the pipeline does not.
    QTest::newRow("first fails") << "/bin/false | /bin/cat" << 1 << 0;
    QTest::newRow("first killed") << "/bin/sh -c \"kill -9 $$\" | /bin/cat" << -1 << 9;
    QTest::newRow("both fail: the last's code") << "/bin/sh -c \"exit 3\" | /bin/false" << 1 << 0;
    // A writer whose reader has finished ends by SIGPIPE; the reader decides.
    QTest::newRow("first cut off by its reader") << "/usr/bin/yes | /bin/true" << 0 << 0;
    QTest::newRow("single stage") << "/bin/false" << 1 << 0;
  }
  void pipelineStatusTakesInEveryStage() {
    QFETCH(QString, line);
    QFETCH(int, code);
    QFETCH(int, signal);
    writeCommandFile(line.toStdString() + "\n/bin/echo ignored second line\n");
    auto child = ChildProcess::StartCommandFile(commandFile(), ChildOutput::Discard);
    QVERIFY(child);
    const auto status = child->Wait();
    QCOMPARE(status.exited, code >= 0);
    if (code >= 0) QCOMPARE(status.code, code);
    QCOMPARE(status.signal, signal);
    QCOMPARE(child->status().success(), code == 0);
  }

  void unstartablePipelinesGiveNothing_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("missing second stage") << "/bin/sleep 30 | /nonexistent/neroAacEnc";
    QTest::newRow("missing first stage") << "/nonexistent/avs2pipemod | /bin/cat";
    QTest::newRow("empty stage") << "/bin/sleep 30 |  ";
    QTest::newRow("empty line") << "";
  }
  void unstartablePipelinesGiveNothing() {
    QFETCH(QString, line);
    writeCommandFile(line.toStdString());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!ChildProcess::StartCommandFile(commandFile(), ChildOutput::Discard));
    QVERIFY(timer.elapsed() < 2000);  // the sleeping first stage was killed, not awaited
  }

  void missingCommandFileGivesNothing() {
    QVERIFY(!ChildProcess::StartCommandFile(dir_.filePath("none.cmd").toStdString(),
                                            ChildOutput::Discard));
  }

  // A tool ends with the program that started it, however the program
  // ends, even by SIGKILL, which no handler sees; so does a pipeline's every
  // stage. The program here is a forked copy of this test that starts the
  // tools, tells their pids and waits to be killed.
  void toolsDieWithTheProgramThatStartedThem_data() {
    QTest::addColumn<bool>("pipeline");
    QTest::newRow("one tool") << false;
    QTest::newRow("pipeline") << true;
  }
  void toolsDieWithTheProgramThatStartedThem() {
    QFETCH(bool, pipeline);
    const std::string tool = InstallFakeTool(dir_, "kvrOrphan");
    qputenv("FAKE_TOOL_KVRORPHAN", "sleep_ms=20000;stdin=1");
    writeCommandFile(ToolLine(tool) + " | " + ToolLine(tool) + "\n");
    int report[2];
    QVERIFY(::pipe(report) == 0);
    const pid_t program = ::fork();
    if (program == 0) {
      ::close(report[0]);
      auto child = pipeline ? ChildProcess::StartCommandFile(commandFile(), ChildOutput::Discard)
                            : ChildProcess::Start(ToolLine(tool), ChildOutput::Discard);
      const pid_t pid = child ? child->pid() : -1;
      [[maybe_unused]] auto written = ::write(report[1], &pid, sizeof pid);
      ::pause();
      ::_exit(0);
    }
    ::close(report[1]);
    pid_t toolPid = -1;
    QCOMPARE(::read(report[0], &toolPid, sizeof toolPid), ssize_t(sizeof toolPid));
    ::close(report[0]);
    QVERIFY(toolPid > 0);
    WaitUntilExecuted(toolPid, "kvrOrphan");
    // Only the forked program's tools: the row before may have left its own ending.
    std::vector<pid_t> tools;
    for (const pid_t pid : LivingProcessesRunning(tool)) {
      if (const auto stat = ReadProcStat(pid); stat && stat->ppid == program) tools.push_back(pid);
    }
    QCOMPARE(int(tools.size()), pipeline ? 2 : 1);

    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    for (const pid_t pid : tools) QTRY_VERIFY_WITH_TIMEOUT(IsGoneOrZombie(pid), 2000);
  }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "test_process.moc"
