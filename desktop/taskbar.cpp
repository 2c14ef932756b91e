#include "desktop/taskbar.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace desktop {

namespace {
const char kAppUri[] = "application://kelvarion.desktop";
const char kObjectPath[] = "/com/canonical/unity/launcherentry/kelvarion";
}  // namespace

bool TaskbarProgress::Init() {
  if (held_) return true;
  QDBusConnection bus = QDBusConnection::sessionBus();
  held_ = bus.isConnected() && bus.interface() != nullptr;
  return held_;
}

bool TaskbarProgress::Update(double progress, bool progressVisible, bool urgent) {
  if (!held_) return false;
  QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, "com.canonical.Unity.LauncherEntry", "Update");
  QVariantMap properties;
  properties.insert("progress", progress);
  properties.insert("progress-visible", progressVisible);
  properties.insert("urgent", urgent);
  signal << QString(kAppUri) << properties;
  return QDBusConnection::sessionBus().send(signal);
}

bool TaskbarProgress::SetState(TaskbarState state) {
  switch (state) {
    case TaskbarState::Normal:
      return Update(lastProgress_, progressShown_, false);
    case TaskbarState::Indeterminate:
      // The launcher entry has no moving bar; a finished run asks for attention.
      return Update(1.0, false, true);
    case TaskbarState::Error:
      return Update(lastProgress_, true, true);
    case TaskbarState::Paused:
      return Update(lastProgress_, true, false);
    case TaskbarState::None:
    default:
      lastProgress_ = 0.0;
      progressShown_ = false;
      return Update(0.0, false, false);
  }
}

bool TaskbarProgress::SetValue(uint64_t completed, uint64_t total) {
  if (!held_) return false;
  lastProgress_ = total == 0 ? 0.0 : static_cast<double>(completed) / static_cast<double>(total);
  progressShown_ = true;
  return Update(lastProgress_, true, false);
}

}  // namespace desktop
