#include "proc/tool_threads.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace

ToolThread::ToolThread(QObject* target, const std::atomic<bool>& abort)
    : target_(target), abort_(abort) {}

void ToolThread::post(int wParam, int lParam) {
  // Once the main thread has asked for the end it waits for this thread and
  // must find nothing more in its queue, the completion code least of all.
  if (!aborted()) PostProgress(target_, wParam, lParam);
}

ToolOutcome ToolThread::followByPolling(platform::ChildProcess& child, int lParam) {
  while (!child.HasEnded()) {
    if (aborted()) return KillAndReap(child);
    post(1, lParam);
    QThread::msleep(kPollMs);
  }
  return Outcome(ToolOutcome::Kind::Ended, child.status());
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
    outcomes_.push_back(Outcome(ToolOutcome::Kind::NotStarted));
    post(kCompletionCode, kStageVideo);
    return;
  }

  // Reads until every writer of the pipe has closed it. The poll time-out
  // lets an abort take effect while the encoder prints nothing.
  pollfd output{child->outputFd(), POLLIN, 0};
  char chunk[ProgressBuffer::kSize];
  while (true) {
    if (aborted()) {
      outcomes_.push_back(KillAndReap(*child));
      return;
    }
    const int ready = ::poll(&output, 1, kPollMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    if (ready < 0) break;
    const ssize_t got = ::read(output.fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (aborted()) continue;
    if (const auto figure = buffer_.Feed(chunk, static_cast<std::size_t>(got))) {
      post(*figure, kStageVideo);
    }
  }

  // The output has closed; the encoder may still be finishing.
  while (!child->HasEnded()) {
    if (aborted()) {
      outcomes_.push_back(KillAndReap(*child));
      return;
    }
    QThread::msleep(kPollMs);
  }
  outcomes_.push_back(Outcome(ToolOutcome::Kind::Ended, child->status()));
  post(kCompletionCode, kStageVideo);
}

TAud::TAud(QObject* target, const std::atomic<bool>& abort, std::string commandFile)
    : ToolThread(target, abort), commandFile_(std::move(commandFile)) {}

void TAud::run() {
  auto child = platform::ChildProcess::StartCommandFile(commandFile_, platform::ChildOutput::Discard);
  if (!child) {
    outcomes_.push_back(Outcome(ToolOutcome::Kind::NotStarted));
    post(kCompletionCode, kStageAudio);
    return;
  }
  outcomes_.push_back(followByPolling(*child, kStageAudio));
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
    auto child = platform::ChildProcess::Start(command, platform::ChildOutput::Discard);
    if (!child) {
      outcomes_.push_back(Outcome(ToolOutcome::Kind::NotStarted));
      continue;
    }
    outcomes_.push_back(followByPolling(*child, kStageMux));
    if (outcomes_.back().kind == ToolOutcome::Kind::Aborted) return;
  }
  post(kCompletionCode, kStageMux);
}

ToolOutcome ExecRaw(const std::string& commandLine) {
  if (commandLine.empty()) return Outcome(ToolOutcome::Kind::NotRun);
  auto child = platform::ChildProcess::Start(commandLine, platform::ChildOutput::Discard);
  if (!child) return Outcome(ToolOutcome::Kind::NotStarted);
  return Outcome(ToolOutcome::Kind::Ended, child->Wait());
}

}  // namespace proc
