// The real program, started as a process of its own on a virtual display of
// the test's own, driven with keys and clicks through the X server and
// pictured window by window. Tests build a program folder (the executable
// beside its tools and settings file), choose the environment, then press,
// wait for windows and capture them.
#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

// An Xvfb server on a display number that the server picks itself, so that
// suites running side by side never share one. It ends with the test.
class VirtualDisplay {
 public:
  VirtualDisplay() = default;
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  ~VirtualDisplay();

  bool Start(int width = 1024, int height = 768);
  // Runs a window manager (openbox) on the display, as a desktop has one:
  // windows get frames, and are placed and maximised by it.
  bool StartWindowManager();
  const QString& name() const { return name_; }  // ":N"

 private:
  QString name_;
  pid_t pid_ = -1;
  pid_t windowManager_ = -1;
};

class LiveProgram {
 public:
  // `programDir` holds the executable "kelvarion" and its tools/.
  LiveProgram(const VirtualDisplay& display, QString programDir);
  LiveProgram(const LiveProgram&) = delete;
  LiveProgram& operator=(const LiveProgram&) = delete;
  ~LiveProgram();  // ends the program if it still runs

  // Copies the program built beside the tests into `programDir`.
  static bool CopyProgramInto(const QString& programDir);
  // Gives `programDir`/tools/ the console tools of this build, as hard links
  // where it can: a tool started through one is known by the link's own
  // path, so ending this program's tools never touches another test's.
  static bool LinkBuiltToolsInto(const QString& programDir);

  // The program gets a home, runtime and configuration folders of its own,
  // no session bus unless one is given here, and real message boxes.
  void SetEnvironment(const QString& name, const QString& value);
  // Runs the program without the capabilities that let the superuser read
  // and write past a file's permissions, so that it meets them as any user.
  void DropPermissionOverride();
  bool Start(const QStringList& arguments = {});
  bool WaitForExit(int timeoutMs);
  // Ends the program at once with SIGKILL, as a crash or a power cut would;
  // its children are left running.
  void Kill();
  bool running() const;

  // The X window of a visible window whose title is exactly `title`, once
  // there is one; an empty text when none shows within the time.
  QString WaitForWindow(const QString& title, int timeoutMs = 10000);
  // The program's mapped windows: X id and title.
  QList<std::pair<QString, QString>> VisibleWindows() const;
  bool WaitUntilGone(const QString& title, int timeoutMs = 10000);
  QRect Geometry(const QString& window);
  // The window with the frame a window manager put around it.
  QRect FrameGeometry(const QString& window);
  // Maximises the window as a user does: a double click on its title bar.
  bool Maximise(const QString& window);
  // Brings the window to the front through the window manager.
  bool Activate(const QString& window);
  // The value of one property of the window as xprop shows it, after its "= ".
  QString Property(const QString& window, const QString& name);

  // Keys in xdotool's names ("Return", "ctrl+a", "F2"), typed text, and
  // clicks at a point of the window, each given to `window` first.
  bool Key(const QString& window, const QString& keys);
  bool Type(const QString& window, const QString& text);
  bool Click(const QString& window, QPoint where, int button = 1);
  // Moves a window out of the way of others.
  bool Move(const QString& window, QPoint topLeft);

  // Writes a PNG of the window, with its frame, as it stands once its
  // picture has settled; a window that keeps changing (a running batch) is
  // taken at once when `settle` is false.
  bool Capture(const QString& window, const QString& pngPath, bool settle = true);

 private:
  bool Run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
           int timeoutMs = 10000) const;
  bool Focus(const QString& window);

  QString display_;
  QString programDir_;
  QTemporaryDir home_;
  QProcessEnvironment environment_;
  QStringList launcher_;  // runs the program in its place when not empty
  pid_t pid_ = -1;
};

// The processes whose environment holds `name`=`value`: a program started
// with that marker and everything it started, whatever became of their
// parents or their names.
struct MarkedProcess {
  pid_t pid;
  QString exe;
  QByteArray cmdline;
};
QList<MarkedProcess> MarkedProcesses(const char* name, const QByteArray& value);
QString Describe(const QList<MarkedProcess>& processes);

// Runs a command to its end; true when it succeeded.
bool RunQuietly(const QString& program, const QStringList& arguments);

// A mount on a folder made for one case, undone however the case ends.
class MountGuard {
 public:
  explicit MountGuard(QString folder) : folder_(std::move(folder)) {}
  MountGuard(const MountGuard&) = delete;
  MountGuard& operator=(const MountGuard&) = delete;
  ~MountGuard();
  bool Mount(const QStringList& arguments);
  // The folder bound on itself, read-only: even the superuser, who writes
  // through a folder's permissions, can write nothing there.
  bool MountReadOnly();

 private:
  QString folder_;
  bool mounted_ = false;
};
