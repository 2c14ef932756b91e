#include "tool_folder.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QTextStream>

ToolFolder::ToolFolder() {
  QDir(dir_.path()).mkpath("tools/temp");
  const QString fakeTool = qEnvironmentVariable("KELVARION_TEST_DIR") + "/fake_tool";
  for (const char* name : {"x264", "x264_64", "avs4x264mod", "neroAacEnc", "MP4Box"}) {
    QFile::copy(fakeTool, path(QString("tools/") + name));
  }
  // The probe tool writes what the probe script would measure; for sound it
  // writes a little noise. FAKE_PROBE_FAIL=1 makes it fail, saying
  // FAKE_PROBE_MESSAGE when that is set. FAKE_PROBE_SLEEP (seconds) makes the probe slow;
  // with FAKE_PROBE_READS=1 it reads the AVI source its script names (in
  // whatever letter case the script spells AviSource) and fails as the real
  // probe does when it cannot. FAKE_PIPE_SLEEP (seconds)
  // makes it slow to pipe the sound.
  const QString probe = path("tools/avs2pipemod");
  QFile script(probe);
  script.open(QIODevice::WriteOnly);
  script.write("#!/bin/sh\n"
               "[ -n \"$FAKE_TOOL_LOG\" ] && printf 'avs2pipemod\\t%s\\t%s\\n' \"$1\" \"$2\" >> \"$FAKE_TOOL_LOG\"\n"
               "if [ \"$1\" = -info ]; then\n"
               "  [ -n \"$FAKE_PROBE_SLEEP\" ] && sleep \"$FAKE_PROBE_SLEEP\"\n"
               "  if [ \"${FAKE_PROBE_FAIL:-0}\" = 1 ]; then\n"
               "    [ -n \"$FAKE_PROBE_MESSAGE\" ] && echo \"$FAKE_PROBE_MESSAGE\" >&2\n"
               "    exit 1\n"
               "  fi\n"
               "  if [ \"${FAKE_PROBE_READS:-0}\" = 1 ]; then\n"
               "    src=$(sed -n 's/^v = avisource(\"\\(.*\\)\")\\r*$/\\1/Ip' \"$2\")\n"
               "    cat -- \"$src\" > /dev/null 2>&1 || { echo \"cannot open $src\" >&2; exit 1; }\n"
               "  fi\n"
               "  dir=$(dirname \"$2\")\n"
               "  printf '%s\\n' \"${FAKE_PROBE_FPS:-25.000000}\" > \"$dir/fps.txt\"\n"
               "  printf '%s\\n' \"${FAKE_PROBE_AUDIO:-true}\" > \"$dir/audio.txt\"\n"
               "else\n"
               "  [ -n \"$FAKE_PIPE_SLEEP\" ] && sleep \"$FAKE_PIPE_SLEEP\"\n"
               "  printf 'RIFFWAVEdata'\n"
               "fi\n");
  script.close();
  QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("FAKE_TOOL_LOG", logPath().toUtf8());
}

std::vector<QStringList> ToolFolder::invocations() const {
  std::vector<QStringList> result;
  QFile log(logPath());
  if (!log.open(QIODevice::ReadOnly)) return result;
  for (const QByteArray& line : log.readAll().split('\n')) {
    if (!line.isEmpty()) result.push_back(QString::fromUtf8(line).split('\t'));
  }
  return result;
}

QStringList ToolFolder::toolNames() const {
  QStringList names;
  for (const QStringList& call : invocations()) names << call.first();
  return names;
}

int ToolFolder::runningTools() const {
  const QString tools = QFileInfo(path("tools")).canonicalFilePath();
  int count = 0;
  QDirIterator proc("/proc", QDir::Dirs | QDir::NoDotAndDotDot);
  while (proc.hasNext()) {
    const QString pidDir = proc.next();
    bool numeric = false;
    QFileInfo(pidDir).fileName().toInt(&numeric);
    if (!numeric) continue;
    const QString exe = QFileInfo(pidDir + "/exe").symLinkTarget();
    // A process may end while it is looked at.
    QFile cmdline(pidDir + "/cmdline");
    QFile stat(pidDir + "/stat");
    if (!cmdline.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray args = cmdline.readAll();
    // A zombie has no executable left; it is gone for good once reaped.
    const QByteArray state = stat.readAll();
    const bool zombie = state.contains(") Z ");
    if (!zombie && (exe.startsWith(tools) || args.contains(tools.toUtf8()))) ++count;
  }
  return count;
}

QString ToolFolder::touch(const QString& relative, const QByteArray& content) const {
  QFile file(path(relative));
  file.open(QIODevice::WriteOnly);
  file.write(content);
  return file.fileName();
}
