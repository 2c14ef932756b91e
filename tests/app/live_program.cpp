#include "live_program.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Starts `argv` as a child that ends with the test, however the test ends;
// `environment` replaces the child's environment when not empty.
pid_t SpawnTied(const QStringList& argv, const QProcessEnvironment& environment = {}, int keepFd = -1) {
  QList<QByteArray> args, env;
  for (const QString& arg : argv) args << arg.toLocal8Bit();
  for (const QString& entry : environment.toStringList()) env << entry.toLocal8Bit();
  std::vector<char*> argp, envp;
  for (QByteArray& arg : args) argp.push_back(arg.data());
  argp.push_back(nullptr);
  for (QByteArray& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
    if (environment.isEmpty()) execvp(argp[0], argp.data());
    else execvpe(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  return pid;
}

void EndChild(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace

VirtualDisplay::~VirtualDisplay() {
  EndChild(windowManager_);
  EndChild(pid_);
}

bool VirtualDisplay::StartWindowManager() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", name_);
  windowManager_ = SpawnTied({"openbox", "--sm-disable"}, environment);
  if (windowManager_ <= 0) return false;
  // It is ready once it names itself on the root window.
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 10000) {
    QProcess xprop;
    QProcessEnvironment shown = QProcessEnvironment::systemEnvironment();
    shown.insert("DISPLAY", name_);
    xprop.setProcessEnvironment(shown);
    xprop.start("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
    if (xprop.waitForFinished(5000) && xprop.readAllStandardOutput().contains("window id")) return true;
    QThread::msleep(50);
  }
  return false;
}

bool VirtualDisplay::Start(int width, int height) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_ = SpawnTied({"Xvfb", "-displayfd", QString::number(fds[1]), "-screen", "0",
                    QString("%1x%2x24").arg(width).arg(height), "-nolisten", "tcp", "-noreset"},
                   {}, fds[1]);
  close(fds[1]);
  QByteArray number;
  char c = 0;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (pid_ <= 0 || number.isEmpty()) return false;
  name_ = ":" + QString::fromLatin1(number);
  return true;
}

LiveProgram::LiveProgram(const VirtualDisplay& display, QString programDir)
    : display_(display.name()), programDir_(std::move(programDir)) {
  environment_ = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"XDG_RUNTIME_DIR", "HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                           "XDG_STATE_HOME"}) {
    const QString folder = home_.filePath(name);
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment_.insert(name, folder);
  }
  environment_.insert("DISPLAY", display_);
  environment_.insert("QT_QPA_PLATFORM", "xcb");
  environment_.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home_.filePath("no-bus"));
  environment_.remove("KELVARION_MESSAGE_LOG");
  environment_.remove("QT_QPA_PLATFORMTHEME");
}

LiveProgram::~LiveProgram() { EndChild(pid_); }

bool LiveProgram::CopyProgramInto(const QString& programDir) {
  const QString built = qEnvironmentVariable("KELVARION_BUILD_DIR") + "/kelvarion";
  const QString copy = programDir + "/kelvarion";
  return QFile::copy(built, copy) && QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);
}

bool LiveProgram::LinkBuiltToolsInto(const QString& programDir) {
  const QString built = qEnvironmentVariable("KELVARION_BUILD_DIR") + "/tools/";
  if (!QDir(programDir).mkpath("tools/temp")) return false;
  for (const char* tool : {"x264", "x264_64", "avs4x264mod", "avs2pipemod", "neroAacEnc", "MP4Box"}) {
    const QString copy = programDir + "/tools/" + tool;
    if (::link(QFile::encodeName(built + tool).constData(), QFile::encodeName(copy).constData()) != 0 &&
        !QFile::copy(built + tool, copy))
      return false;
  }
  return true;
}

void LiveProgram::SetEnvironment(const QString& name, const QString& value) { environment_.insert(name, value); }

void LiveProgram::DropPermissionOverride() {
  // setpriv replaces itself with the program, whose process this stays.
  launcher_ = {"setpriv", "--bounding-set", "-dac_override,-dac_read_search", "--"};
}

bool LiveProgram::Start(const QStringList& arguments) {
  pid_ = SpawnTied(launcher_ + QStringList{programDir_ + "/kelvarion"} + arguments, environment_);
  return pid_ > 0;
}

void LiveProgram::Kill() { EndChild(pid_); }

bool LiveProgram::running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

bool LiveProgram::WaitForExit(int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (pid_ > 0 && timer.elapsed() < timeoutMs) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return true;
    }
    QThread::msleep(20);
  }
  return pid_ <= 0;
}

bool LiveProgram::Run(const QString& program, const QStringList& arguments, QByteArray* output,
                      int timeoutMs) const {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", display_);
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.start(program, arguments);
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    return false;
  }
  if (output != nullptr) *output = process.readAllStandardOutput();
  return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QList<std::pair<QString, QString>> LiveProgram::VisibleWindows() const {
  QList<std::pair<QString, QString>> windows;
  QByteArray found;
  Run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid_)}, &found);
  for (const QByteArray& id : found.split('\n')) {
    QByteArray property;
    if (id.isEmpty() || !Run("xprop", {"-id", QString::fromLatin1(id), "-notype", "_NET_WM_NAME"}, &property))
      continue;
    // _NET_WM_NAME = "the title", with quotes and backslashes escaped.
    const qsizetype open = property.indexOf('"'), close = property.lastIndexOf('"');
    if (open < 0 || close <= open) continue;
    QString title = QString::fromUtf8(property.mid(open + 1, close - open - 1));
    title.replace("\\\"", "\"").replace("\\\\", "\\");
    windows.append({QString::fromLatin1(id), title});
  }
  return windows;
}

QString LiveProgram::WaitForWindow(const QString& title, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  do {
    for (const auto& [id, shown] : VisibleWindows())
      if (shown == title) return id;
    QThread::msleep(50);
  } while (timer.elapsed() < timeoutMs);
  return {};
}

bool LiveProgram::WaitUntilGone(const QString& title, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  do {
    bool shown = false;
    for (const auto& window : VisibleWindows()) shown = shown || window.second == title;
    if (!shown) return true;
    QThread::msleep(50);
  } while (timer.elapsed() < timeoutMs);
  return false;
}

QRect LiveProgram::Geometry(const QString& window) {
  // xwininfo's absolute corner is the window's own also inside a window
  // manager's frame, where xdotool adds the window's place in the frame.
  QByteArray info;
  if (!Run("xwininfo", {"-id", window}, &info)) return {};
  QMap<QString, int> values;
  for (const QByteArray& line : info.split('\n')) {
    const qsizetype colon = line.indexOf(':');
    if (colon > 0) values[QString::fromLatin1(line.left(colon).trimmed())] = line.mid(colon + 1).trimmed().toInt();
  }
  return {values.value("Absolute upper-left X"), values.value("Absolute upper-left Y"), values.value("Width"),
          values.value("Height")};
}

QRect LiveProgram::FrameGeometry(const QString& window) {
  const QRect client = Geometry(window);
  QByteArray extents;
  if (!client.isValid() || !Run("xprop", {"-id", window, "-notype", "_NET_FRAME_EXTENTS"}, &extents)) return client;
  // _NET_FRAME_EXTENTS = left, right, top, bottom
  const QList<QByteArray> parts = extents.mid(extents.indexOf('=') + 1).split(',');
  if (parts.size() != 4) return client;
  return client.adjusted(-parts[0].trimmed().toInt(), -parts[2].trimmed().toInt(), parts[1].trimmed().toInt(),
                         parts[3].trimmed().toInt());
}

bool LiveProgram::Maximise(const QString& window) {
  const QRect frame = FrameGeometry(window);
  const QRect client = Geometry(window);
  if (!frame.isValid() || frame.top() >= client.top()) return false;
  const QPoint title(frame.center().x(), (frame.top() + client.top()) / 2);
  return Run("xdotool", {"mousemove", QString::number(title.x()), QString::number(title.y()), "click", "--repeat", "2",
                         "--delay", "80", "1"});
}

QString LiveProgram::Property(const QString& window, const QString& name) {
  QByteArray shown;
  if (!Run("xprop", {"-id", window, name}, &shown)) return {};
  return QString::fromUtf8(shown.mid(shown.indexOf("= ") + 2)).trimmed();
}

bool LiveProgram::Activate(const QString& window) { return Run("xdotool", {"windowactivate", "--sync", window}); }

bool LiveProgram::Focus(const QString& window) {
  // Without a window manager the keyboard follows the pointer; the pointer
  // rests inside the window and the window takes the focus.
  const QRect area = Geometry(window);
  return area.isValid() && Run("xdotool", {"mousemove", QString::number(area.x() + 1), QString::number(area.y() + 1)}) &&
         Run("xdotool", {"windowfocus", "--sync", window});
}

bool LiveProgram::Key(const QString& window, const QString& keys) {
  return Focus(window) && Run("xdotool", {"key", "--clearmodifiers", keys});
}

bool LiveProgram::Type(const QString& window, const QString& text) {
  return Focus(window) && Run("xdotool", {"type", "--delay", "20", text});
}

bool LiveProgram::Click(const QString& window, QPoint where, int button) {
  return Focus(window) && Run("xdotool", {"mousemove", "--window", window, QString::number(where.x()),
                                          QString::number(where.y()), "click", QString::number(button)});
}

bool LiveProgram::Move(const QString& window, QPoint topLeft) {
  return Run("xdotool", {"windowmove", "--sync", window, QString::number(topLeft.x()), QString::number(topLeft.y())});
}

bool LiveProgram::Capture(const QString& window, const QString& pngPath, bool settle) {
  // The window as it is seen: with the frame a window manager put around it.
  const QRect area = FrameGeometry(window);
  if (!area.isValid()) return false;
  const auto grab = [&](const QString& path) {
    QFile::remove(path);
    return Run("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "x11grab", "-draw_mouse", "0", "-video_size",
                          QString("%1x%2").arg(area.width()).arg(area.height()), "-i",
                          QString("%1+%2,%3").arg(display_).arg(area.x()).arg(area.y()), "-frames:v", "1", "-y",
                          path});
  };
  // A window paints a moment after it maps, and a text cursor blinks: the
  // picture counts once a grab repeats any earlier one, so a dialog whose
  // cursor flips between two states at the pace of our grabs still settles.
  if (!settle) return grab(pngPath);
  QList<QByteArray> seen;
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (!grab(pngPath)) return false;
    QFile file(pngPath);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray picture = file.readAll();
    if (seen.contains(picture)) return true;
    seen.append(picture);
    QThread::msleep(100);
  }
  return false;
}

QList<MarkedProcess> MarkedProcesses(const char* name, const QByteArray& value) {
  const auto readAll = [](const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  };
  QList<MarkedProcess> found;
  const QByteArray entry = QByteArray(name) + "=" + value;
  QDirIterator proc("/proc", QDir::Dirs | QDir::NoDotAndDotDot);
  while (proc.hasNext()) {
    const QString dir = proc.next();
    bool numeric = false;
    const pid_t pid = QFileInfo(dir).fileName().toInt(&numeric);
    if (!numeric || pid == ::getpid()) continue;
    if (!readAll(dir + "/environ").split('\0').contains(entry)) continue;
    found.append({pid, QFileInfo(dir + "/exe").symLinkTarget(), readAll(dir + "/cmdline").replace('\0', ' ')});
  }
  return found;
}

QString Describe(const QList<MarkedProcess>& processes) {
  QStringList lines;
  for (const MarkedProcess& p : processes) lines << QString("%1 %2").arg(p.pid).arg(QString::fromLocal8Bit(p.cmdline));
  return lines.join("; ");
}

bool RunQuietly(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

MountGuard::~MountGuard() {
  if (mounted_) RunQuietly("umount", {"-l", folder_});
}

bool MountGuard::Mount(const QStringList& arguments) {
  return mounted_ = RunQuietly("mount", arguments + QStringList{folder_});
}

bool MountGuard::MountReadOnly() { return Mount({"--bind", folder_}) && RunQuietly("mount", {"-o", "remount,bind,ro", folder_}); }
