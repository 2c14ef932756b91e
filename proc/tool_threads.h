// The threads that run one tool stage each. None of them decides anything
// about the job: each runs what it is given, posts progress and completion
// to its target, and records what became of its children.
#pragma once

#include <QThread>

#include <atomic>
#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "platform/process.h"
#include "proc/output_tail.h"
#include "proc/progress_parser.h"

namespace proc {

// What became of one command of a stage.
struct ToolOutcome {
  enum class Kind {
    NotRun,      // nothing to run (an empty command)
    NotStarted,  // the program could not be started
    Ended,       // the program ran and ended; see status
    Aborted,     // ended by an abort
  };
  Kind kind = Kind::NotRun;
  platform::ExitStatus status;
  std::string command;                 // the command line run
  std::vector<std::string> lastLines;  // the end of its output, oldest first

  bool failed() const {
    return kind == Kind::NotStarted || (kind == Kind::Ended && !status.success());
  }
};

class ToolThread : public QThread {
 public:
  // `abort` is set once by the main thread when the user quits during a job.
  ToolThread(QObject* target, const std::atomic<bool>& abort);

  // Valid once the thread has finished: one entry per command run.
  const std::vector<ToolOutcome>& outcomes() const { return outcomes_; }

  // The output file the stage's commands write, set before the start:
  // after each command that ends, the file then under that name is noted as
  // one of theirs, so that the job knows every file its tools put there.
  void watchOutput(std::string path) { watched_ = std::move(path); }
  const std::string& watchedOutput() const { return watched_; }
  // Valid once the thread has finished.
  const std::vector<platform::FileId>& writtenOutputs() const { return written_; }

 protected:
  bool aborted() const { return abort_.load(std::memory_order_relaxed); }
  void post(int wParam, int lParam);
  // Follows a child started with its output piped until it ends, posting
  // the heartbeat (1, lParam) every 100 ms and keeping the end of its
  // output; on abort kills its group and returns Aborted.
  ToolOutcome followByPolling(platform::ChildProcess& child, int lParam, const std::string& command);

  std::vector<ToolOutcome> outcomes_;

 private:
  QObject* target_;
  const std::atomic<bool>& abort_;
  std::string watched_;
  std::vector<platform::FileId> written_;
};

// The video stage: runs the encoder command line with its output piped and
// posts the progress figure of every chunk (the same chunks also feed the
// outcome's last lines), then (111, 0) once the output
// has closed and the encoder has ended. An empty command, or one that cannot
// start, posts (111, 0) at once. An abort is seen within 100 ms even while
// the encoder prints nothing.
class TVid : public ToolThread {
 public:
  TVid(QObject* target, const std::atomic<bool>& abort, std::string command,
       ProgressBuffer& buffer);

 protected:
  void run() override;

 private:
  std::string command_;
  ProgressBuffer& buffer_;
};

// The audio stage: runs the command file, posting (1, 1) every 100 ms, then
// (111, 1); at once when the file or one of its programs cannot start.
class TAud : public ToolThread {
 public:
  TAud(QObject* target, const std::atomic<bool>& abort, std::string commandFile);

 protected:
  void run() override;

 private:
  std::string commandFile_;
};

// The mux stage: runs its three command lines one after another, each
// whatever became of the one before (an empty one is skipped), posting
// (1, 2) every 100 ms, then (111, 2).
class TMux : public ToolThread {
 public:
  TMux(QObject* target, const std::atomic<bool>& abort, std::string videoCommand,
       std::string fullCommand, std::string tagCommand);

 protected:
  void run() override;

 private:
  std::string commands_[3];
};

// A synchronous run (the probe, the stand-alone mux): starts the command
// line and blocks until it has ended, keeping the end of its output; once
// `abort` is set, it kills the command and returns Aborted.
ToolOutcome ExecRaw(const std::string& commandLine, const std::atomic<bool>* abort = nullptr);

}  // namespace proc
