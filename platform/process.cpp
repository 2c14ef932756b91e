#include "platform/process.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/cmdline.h"
#include "platform/read_file.h"

namespace platform {

namespace {

constexpr int kIdleNice = 19;

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

// Where one child's standard streams come from and go to.
struct ChildFds {
  int in = -1;
  int out = -1;
  int err = -1;
};

// Runs in the child between fork and exec; only async-signal-safe calls.
[[noreturn]] void ExecChild(char* const argv[], const ChildFds& fds, int statusFd, pid_t parent) {
  // The tool ends with the program that started it, however that ends, and
  // writes nothing after it: a killed window leaves no encoder behind. The
  // signal follows the starting thread, which waits for its tool to end.
  // A parent that died before the request was made is seen by the pid.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
  // A new session: no controlling terminal, and a process group of its own
  // that KillGroup can end together with whatever the tool starts.
  ::setsid();
  // Nice 19 in the normal class: the tool yields to the user's work but is
  // never starved by it. A thread started at idle priority is SCHED_IDLE,
  // which children inherit and which stops an encode under any other load;
  // lowering the nice value first lets an unprivileged child leave it.
  ::setpriority(PRIO_PROCESS, 0, kIdleNice);
  const sched_param normal{};
  ::sched_setscheduler(0, SCHED_OTHER, &normal);

  // Signal state survives exec where it is "ignored" or blocked; the tool
  // must start with the defaults whatever the parent thread had set.
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dfl, nullptr);

  // dup2 clears close-on-exec on the copies; the originals close on exec.
  if (::dup2(fds.in, STDIN_FILENO) < 0 || ::dup2(fds.out, STDOUT_FILENO) < 0 ||
      ::dup2(fds.err, STDERR_FILENO) < 0) {
    const int error = errno;
    [[maybe_unused]] auto ignored = ::write(statusFd, &error, sizeof error);
    ::_exit(127);
  }
  // Descriptors that other threads opened without close-on-exec must not
  // leak into the tool (a leaked pipe end would keep a reader waiting).
  const auto status = static_cast<unsigned>(statusFd);
  const bool closed = (status == 3 || ::syscall(SYS_close_range, 3U, status - 1, 0U) == 0) &&
                      ::syscall(SYS_close_range, status + 1, ~0U, 0U) == 0;
  if (!closed) {
    const long maxFd = ::sysconf(_SC_OPEN_MAX);
    for (long fd = 3; fd < maxFd; ++fd) {
      if (fd != statusFd) ::close(static_cast<int>(fd));
    }
  }
  ::execv(argv[0], argv);
  const int error = errno;
  [[maybe_unused]] auto ignored = ::write(statusFd, &error, sizeof error);
  ::_exit(127);
}

// Forks and execs one program. Returns its pid, or -1 when the fork or the
// exec failed (the failed child is reaped before returning).
pid_t SpawnChild(std::vector<std::string>& args, const ChildFds& fds) {
  // Built before fork: the child may only make async-signal-safe calls.
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int status[2];
  if (::pipe2(status, O_CLOEXEC) != 0) return -1;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(status[0]);
    ExecChild(argv.data(), fds, status[1], parent);
  }
  ::close(status[1]);
  if (pid < 0) {
    ::close(status[0]);
    return -1;
  }
  // The status pipe closes on a successful exec; otherwise it carries errno.
  int childErrno = 0;
  ssize_t got;
  do {
    got = ::read(status[0], &childErrno, sizeof childErrno);
  } while (got < 0 && errno == EINTR);
  ::close(status[0]);
  if (got > 0) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return -1;
  }
  return pid;
}

int OpenDevNull(int flags) { return ::open("/dev/null", flags | O_CLOEXEC); }

ExitStatus DecodeStatus(int raw) {
  ExitStatus s;
  if (WIFEXITED(raw)) {
    s.exited = true;
    s.code = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    s.signal = WTERMSIG(raw);
  }
  return s;
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Release();
    pids_ = std::move(other.pids_);
    reaped_ = std::move(other.reaped_);
    outputFd_ = std::exchange(other.outputFd_, -1);
    stdinWriteFd_ = std::exchange(other.stdinWriteFd_, -1);
    status_ = other.status_;
    lastStatus_ = other.lastStatus_;
    earlierFailure_ = other.earlierFailure_;
    other.pids_.clear();
    other.reaped_.clear();
  }
  return *this;
}

ChildProcess::~ChildProcess() { Release(); }

void ChildProcess::Release() {
  for (bool reaped : reaped_) {
    if (!reaped) {
      KillGroup();
      Wait();
      break;
    }
  }
  CloseFd(outputFd_);
  CloseFd(stdinWriteFd_);
  pids_.clear();
  reaped_.clear();
}

pid_t ChildProcess::pid() const { return pids_.empty() ? -1 : pids_.back(); }

std::optional<ChildProcess> ChildProcess::Start(const std::string& commandLine,
                                                ChildOutput output) {
  return StartStages({commandLine}, output, false);
}

std::optional<ChildProcess> ChildProcess::StartCommandFile(const std::string& path,
                                                           ChildOutput output) {
  const auto line = ReadFirstLine(path);
  if (!line) return std::nullopt;
  return StartStages(SplitPipeline(*line), output, true);
}

std::optional<ChildProcess> ChildProcess::StartStages(const std::vector<std::string>& commands,
                                                      ChildOutput output,
                                                      bool firstReadsDevNull) {
  std::vector<std::vector<std::string>> stages;
  for (const auto& command : commands) {
    stages.push_back(SplitCommandLine(command));
    if (stages.back().empty()) return std::nullopt;
  }
  if (stages.empty()) return std::nullopt;

  ChildProcess child;
  // The last stage's output and every stage's error output share one
  // destination: the pipe when asked for, else /dev/null.
  int outWrite = -1;
  if (output == ChildOutput::Pipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    child.outputFd_ = fds[0];
    outWrite = fds[1];
  } else {
    outWrite = OpenDevNull(O_WRONLY);
    if (outWrite < 0) return std::nullopt;
  }

  int nextIn = -1;
  if (firstReadsDevNull) {
    nextIn = OpenDevNull(O_RDONLY);
  } else {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
      nextIn = fds[0];
      child.stdinWriteFd_ = fds[1];  // held open, never written
    }
  }

  bool started = nextIn >= 0;
  for (std::size_t i = 0; started && i < stages.size(); ++i) {
    ChildFds fds{nextIn, outWrite, outWrite};
    int linkRead = -1;
    const bool last = i + 1 == stages.size();
    if (!last) {
      int link[2];
      if (::pipe2(link, O_CLOEXEC) != 0) {
        started = false;
        break;
      }
      linkRead = link[0];
      fds.out = link[1];
    }
    const pid_t pid = SpawnChild(stages[i], fds);
    if (!last) ::close(fds.out);
    CloseFd(nextIn);
    nextIn = linkRead;
    if (pid < 0) {
      started = false;
      break;
    }
    child.pids_.push_back(pid);
    child.reaped_.push_back(false);
  }
  CloseFd(nextIn);
  ::close(outWrite);  // so that reading ends once the children have closed theirs

  // Stages already running when a later one fails are killed and reaped
  // by the destructor.
  if (!started) return std::nullopt;
  return child;
}

void ChildProcess::Reap(std::size_t stage, bool block) {
  if (reaped_[stage]) return;
  int raw = 0;
  pid_t got;
  do {
    got = ::waitpid(pids_[stage], &raw, block ? 0 : WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got == 0) return;
  // ECHILD: someone else reaped it; its status is lost.
  reaped_[stage] = true;
  const ExitStatus ended = got > 0 ? DecodeStatus(raw) : ExitStatus{};
  if (stage + 1 == pids_.size()) {
    lastStatus_ = ended;
  } else if (got > 0 && !ended.success() && ended.signal != SIGPIPE && !earlierFailure_) {
    earlierFailure_ = ended;
  }
  if (reaped_.back()) status_ = lastStatus_.success() && earlierFailure_ ? *earlierFailure_ : lastStatus_;
}

bool ChildProcess::HasEnded() {
  for (std::size_t i = 0; i < pids_.size(); ++i) Reap(i, false);
  if (pids_.empty() || !reaped_.back()) return false;
  // A stage that ended before the last one did is found now, however the
  // ends fell between the calls above.
  for (std::size_t i = 0; i + 1 < pids_.size(); ++i) Reap(i, false);
  return true;
}

ExitStatus ChildProcess::Wait() {
  for (std::size_t i = 0; i < pids_.size(); ++i) Reap(i, true);
  return status_;
}

void ChildProcess::KillGroup() {
  // Each stage leads a session and group of its own; the groups outlive a
  // stage that has ended as long as something it started still runs.
  for (pid_t pid : pids_) ::kill(-pid, SIGKILL);
}

}  // namespace platform
