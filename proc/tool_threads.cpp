#include "proc/tool_threads.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "platform/read_file.h"
#include "proc/progress_message.h"

namespace proc {

namespace {

constexpr int kPollMs = 100;

ToolOutcome Outcome(ToolOutcome::Kind kind, platform::ExitStatus status = {}) {
  ToolOutcome outcome;
  outcome.kind = kind;
  outcome.status = status;
  return outcome;
}

ToolOutcome KillAndReap(platform::ChildProcess& child) {
  child.KillGroup();
  return Outcome(ToolOutcome::Kind::Aborted, child.Wait());
}

ToolOutcome WithOutput(ToolOutcome outcome, const std::string& command, const OutputTail& tail) {
  outcome.command = command;
  outcome.lastLines = tail.Lines();
  return outcome;
}

// Reads a child's output into the tail for `ms` milliseconds, or, when `ms`
// is 0, what is waiting, at most a pipe's worth (a process left behind may
// go on writing). Returns false once every writer has closed the pipe; the
// caller then stops reading it.
bool ReadOutputFor(int fd, int ms, OutputTail& tail) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::size_t budget = ms == 0 ? 65536 : SIZE_MAX;
  while (budget > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd output{fd, POLLIN, 0};
    const int ready = ::poll(&output, 1, std::max<int>(0, static_cast<int>(left.count())));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return ready == 0;
    char chunk[4096];
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (left.count() > 0) QThread::msleep(static_cast<unsigned long>(left.count()));
      return false;
    }
    tail.Feed(chunk, static_cast<std::size_t>(got));
    budget -= std::min(budget, static_cast<std::size_t>(got));
  }
  return true;
}

}  // namespace

ToolThread::ToolThread(QObject* target, const std::atomic<bool>& abort)
    : target_(target), abort_(abort) {}

void ToolThread::post(int wParam, int lParam) {
  // Once the main thread has asked for the end it waits for this thread and
  // must find nothing more in its queue, the completion code least of all.
  if (!aborted()) PostProgress(target_, wParam, lParam);
}

ToolOutcome ToolThread::followByPolling(platform::ChildProcess& child, int lParam, const std::string& command) {
  OutputTail tail;
  bool open = true;
  while (!child.HasEnded()) {
    if (aborted()) return WithOutput(KillAndReap(child), command, tail);
    post(1, lParam);
    if (open) {
      open = ReadOutputFor(child.outputFd(), kPollMs, tail);
    } else {
      QThread::msleep(kPollMs);
    }
  }
  // What the child wrote just before it ended; a process it left behind may
  // hold the pipe open, so nothing more is waited for.
  if (open) ReadOutputFor(child.outputFd(), 0, tail);
  if (!watched_.empty()) {
    if (const auto written = platform::IdOf(watched_)) written_.push_back(*written);
  }
  return WithOutput(Outcome(ToolOutcome::Kind::Ended, child.status()), command, tail);
}

TVid::TVid(QObject* target, const std::atomic<bool>& abort, std::string command,
           ProgressBuffer& buffer)
    : ToolThread(target, abort), command_(std::move(command)), buffer_(buffer) {}

void TVid::run() {
  if (command_.empty()) {
    outcomes_.push_back(Outcome(ToolOutcome::Kind::NotRun));
    post(kCompletionCode, kStageVideo);
    return;
  }
  auto child = platform::ChildProcess::Start(command_, platform::ChildOutput::Pipe);
  if (!child) {
    outcomes_.push_back(WithOutput(Outcome(ToolOutcome::Kind::NotStarted), command_, {}));
    post(kCompletionCode, kStageVideo);
    return;
  }

  // Reads until every writer of the pipe has closed it. The poll time-out
  // lets an abort take effect while the encoder prints nothing.
  pollfd output{child->outputFd(), POLLIN, 0};
  char chunk[ProgressBuffer::kSize];
  OutputTail tail;
  while (true) {
    if (aborted()) {
      outcomes_.push_back(WithOutput(KillAndReap(*child), command_, tail));
      return;
    }
    const int ready = ::poll(&output, 1, kPollMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    if (ready < 0) break;
    const ssize_t got = ::read(output.fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    tail.Feed(chunk, static_cast<std::size_t>(got));
    if (aborted()) continue;
    if (const auto figure = buffer_.Feed(chunk, static_cast<std::size_t>(got))) {
      post(*figure, kStageVideo);
    }
  }

  // The output has closed; the encoder may still be finishing.
  while (!child->HasEnded()) {
    if (aborted()) {
      outcomes_.push_back(WithOutput(KillAndReap(*child), command_, tail));
      return;
    }
    QThread::msleep(kPollMs);
  }
  outcomes_.push_back(WithOutput(Outcome(ToolOutcome::Kind::Ended, child->status()), command_, tail));
  post(kCompletionCode, kStageVideo);
}

TAud::TAud(QObject* target, const std::atomic<bool>& abort, std::string commandFile)
    : ToolThread(target, abort), commandFile_(std::move(commandFile)) {}

void TAud::run() {
  const std::string command = platform::ReadFirstLine(commandFile_).value_or(commandFile_);
  auto child = platform::ChildProcess::StartCommandFile(commandFile_, platform::ChildOutput::Pipe);
  if (!child) {
    outcomes_.push_back(WithOutput(Outcome(ToolOutcome::Kind::NotStarted), command, {}));
    post(kCompletionCode, kStageAudio);
    return;
  }
  outcomes_.push_back(followByPolling(*child, kStageAudio, command));
  if (outcomes_.back().kind != ToolOutcome::Kind::Aborted) post(kCompletionCode, kStageAudio);
}

TMux::TMux(QObject* target, const std::atomic<bool>& abort, std::string videoCommand,
           std::string fullCommand, std::string tagCommand)
    : ToolThread(target, abort),
      commands_{std::move(videoCommand), std::move(fullCommand), std::move(tagCommand)} {}

void TMux::run() {
  for (const std::string& command : commands_) {
    if (aborted()) return;
    if (command.empty()) {
      outcomes_.push_back(Outcome(ToolOutcome::Kind::NotRun));
      continue;
    }
    auto child = platform::ChildProcess::Start(command, platform::ChildOutput::Pipe);
    if (!child) {
      outcomes_.push_back(WithOutput(Outcome(ToolOutcome::Kind::NotStarted), command, {}));
      continue;
    }
    outcomes_.push_back(followByPolling(*child, kStageMux, command));
    if (outcomes_.back().kind == ToolOutcome::Kind::Aborted) return;
  }
  post(kCompletionCode, kStageMux);
}

ToolOutcome ExecRaw(const std::string& commandLine, const std::atomic<bool>* abort) {
  if (commandLine.empty()) return Outcome(ToolOutcome::Kind::NotRun);
  auto child = platform::ChildProcess::Start(commandLine, platform::ChildOutput::Pipe);
  if (!child) return WithOutput(Outcome(ToolOutcome::Kind::NotStarted), commandLine, {});
  // The output is kept for the reason of a failure, read as it comes so
  // that the tool never blocks on a full pipe.
  OutputTail tail;
  bool open = true;
  while (!child->HasEnded()) {
    if (abort != nullptr && abort->load()) return WithOutput(KillAndReap(*child), commandLine, tail);
    if (open) {
      open = ReadOutputFor(child->outputFd(), kPollMs, tail);
    } else {
      QThread::msleep(kPollMs);
    }
  }
  if (open) ReadOutputFor(child->outputFd(), 0, tail);
  return WithOutput(Outcome(ToolOutcome::Kind::Ended, child->status()), commandLine, tail);
}

}  // namespace proc
