// Starting, watching and ending the child processes of the tool stages.
// Every child runs at nice 19 in a session of its own (no terminal), so that
// ending its process group ends whatever it started too, and dies with the
// program that started it. A program ends only the tools it started itself:
// several instances share one tool folder, so a tool is never sought by its
// name or path.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class ChildOutput {
  Discard,  // standard output and error go to /dev/null
  Pipe,     // both go to one pipe whose read end is ChildProcess::outputFd
};

struct ExitStatus {
  bool exited = false;   // ended by exit() rather than by a signal
  int code = -1;         // exit code when exited
  int signal = 0;        // terminating signal otherwise
  bool success() const { return exited && code == 0; }
};

// A started child: one process, or the stages of a command-file pipeline.
// Every stage leads a session and process group of its own (a process can
// only join a group of its own session, and a new session is what frees the
// tools from the terminal); KillGroup ends every stage's group. The exit
// status is that of the last process, unless an earlier stage failed: a
// reader fed by a stage that was killed or gave up meets the end of its
// input early and may well succeed on what it got, which is no success of
// the pipeline. A stage ended by SIGPIPE was cut off by the stage after it,
// whose own status then counts.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ~ChildProcess();  // kills the group if still running, reaps, closes fds

  // Starts a command line (split by SplitCommandLine; the first argument is
  // the program, started directly: no shell, no PATH search). Standard input
  // is an open, empty pipe that is never written. Returns nothing when the
  // line is empty or the program cannot be executed.
  static std::optional<ChildProcess> Start(const std::string& commandLine,
                                           ChildOutput output);

  // Runs a command file: its first line is split at '|' outside quotes, each
  // side is split as a command line, and the stages are connected by pipes.
  // The first stage reads /dev/null; the last writes to /dev/null (or to the
  // pipe when asked). Returns nothing when the file cannot be read, its line
  // is empty, or any stage cannot be executed (stages already started are
  // killed and reaped).
  static std::optional<ChildProcess> StartCommandFile(const std::string& path,
                                                      ChildOutput output);

  // -1 unless started with ChildOutput::Pipe.
  int outputFd() const { return outputFd_; }
  pid_t pid() const;  // the last stage's process id

  // Non-blocking: true once the last stage has ended (the status is then
  // available through status(), and takes in the failure of any earlier
  // stage that has ended); the other stages are reaped as they end.
  bool HasEnded();
  // Blocks until every stage has ended; returns the last stage's status.
  ExitStatus Wait();
  // SIGKILL to the process group of every stage. Safe to call after the end.
  void KillGroup();
  const ExitStatus& status() const { return status_; }

 private:
  static std::optional<ChildProcess> StartStages(const std::vector<std::string>& commands,
                                                 ChildOutput output, bool firstReadsDevNull);
  // Collects a stage's exit if it has ended (blocking: once it ends).
  void Reap(std::size_t stage, bool block);
  void Release();

  std::vector<pid_t> pids_;
  int outputFd_ = -1;
  int stdinWriteFd_ = -1;
  std::vector<bool> reaped_;
  ExitStatus status_;
  ExitStatus lastStatus_;
  std::optional<ExitStatus> earlierFailure_;
};

}  // namespace platform
