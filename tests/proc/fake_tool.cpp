// A stand-in for the console tools in tests. Copied or linked under a
// tool's name, it behaves as the environment tells it:
//
//   FAKE_TOOL_LOG=<file>   append "<name>\t<arg1>\t<arg2>...\n" at start
//   FAKE_TOOL_ALL=...      settings for every name
//   FAKE_TOOL_<NAME>=...   settings for this name (upper case, other
//                          characters than letters and digits as '_'),
//                          overriding FAKE_TOOL_ALL key by key
//
// Settings are "key=value;key=value": progress=N (N encoder progress lines
// on standard error, step_ms apart, default 20), sleep_ms=M (before
// exiting), exit=C, ignore_term=1 (ignore SIGTERM, SIGINT, SIGHUP), write=0
// (leave outputs unwritten; otherwise "fake\n" goes to the path after each
// -o, -of, -new or --output), stdin=1 (read standard input to its end
// first), spawn=1 (leave a grandchild sleeping 60 s in the same process
// group), stdout=TEXT (written to standard output), fail_on=TEXT (exit 1
// when an argument contains TEXT, so that one command of several fails),
// stderr=TEXT (a line written to standard error just before exiting, as a
// tool says why it failed).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

namespace {

using Settings = std::map<std::string, std::string>;

void WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n <= 0) return;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

void MergeSettings(const char* text, Settings& settings) {
  if (text == nullptr) return;
  std::string_view rest(text);
  while (!rest.empty()) {
    const auto end = rest.find(';');
    const std::string_view item = rest.substr(0, end);
    const auto equals = item.find('=');
    if (equals != std::string_view::npos) {
      settings[std::string(item.substr(0, equals))] = std::string(item.substr(equals + 1));
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
}

int Number(const Settings& settings, const std::string& key, int fallback) {
  const auto it = settings.find(key);
  return it == settings.end() ? fallback : std::atoi(it->second.c_str());
}

void SleepMs(int ms) {
  if (ms > 0) ::usleep(static_cast<useconds_t>(ms) * 1000);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = argv[0];
  const std::string name = self.substr(self.rfind('/') + 1);

  if (const char* log = std::getenv("FAKE_TOOL_LOG")) {
    std::string line = name;
    for (int i = 1; i < argc; ++i) line += std::string("\t") + argv[i];
    line += '\n';
    const int fd = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
      // One write, so that lines of tools running at once never interleave.
      [[maybe_unused]] auto written = ::write(fd, line.data(), line.size());
      ::close(fd);
    }
  }

  std::string variable = "FAKE_TOOL_";
  for (unsigned char c : name) variable += std::isalnum(c) ? static_cast<char>(std::toupper(c)) : '_';
  Settings settings;
  MergeSettings(std::getenv("FAKE_TOOL_ALL"), settings);
  MergeSettings(std::getenv(variable.c_str()), settings);

  if (Number(settings, "ignore_term", 0) == 1) {
    ::signal(SIGTERM, SIG_IGN);
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
  }
  if (Number(settings, "spawn", 0) == 1 && ::fork() == 0) {
    ::sleep(60);
    ::_exit(0);
  }
  if (Number(settings, "stdin", 0) == 1) {
    char buffer[4096];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
  }
  if (const auto it = settings.find("stdout"); it != settings.end()) {
    WriteAll(STDOUT_FILENO, it->second);
  }

  const int frames = Number(settings, "progress", 0);
  const int stepMs = Number(settings, "step_ms", 20);
  for (int i = 1; i <= frames; ++i) {
    char line[128];
    const int length = std::snprintf(line, sizeof line,
                                     "[%.1f%%] %d/%d frames, 25.00 fps, 100.00 kb/s, eta 0:00:01\n",
                                     i * 100.0 / frames, i, frames);
    WriteAll(STDERR_FILENO, std::string_view(line, static_cast<std::size_t>(length)));
    SleepMs(stepMs);
  }

  if (Number(settings, "write", 1) != 0) {
    for (int i = 1; i + 1 < argc; ++i) {
      const std::string_view option = argv[i];
      if (option != "-o" && option != "-of" && option != "-new" && option != "--output") continue;
      const int fd = ::open(argv[i + 1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd >= 0) {
        WriteAll(fd, "fake\n");
        ::close(fd);
      }
    }
  }

  SleepMs(Number(settings, "sleep_ms", 0));
  if (const auto it = settings.find("stderr"); it != settings.end()) {
    WriteAll(STDERR_FILENO, it->second + "\n");
  }
  if (const auto it = settings.find("fail_on"); it != settings.end()) {
    for (int i = 1; i < argc; ++i) {
      if (std::string_view(argv[i]).find(it->second) != std::string_view::npos) return 1;
    }
  }
  return Number(settings, "exit", 0);
}
