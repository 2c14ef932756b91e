// Progress on the taskbar button or launcher entry, through the Unity
// launcher entry API on the session bus that KDE Plasma and common docks
// follow. Without a session bus every operation does nothing and says so.
#pragma once

#include <cstdint>

namespace desktop {

enum class TaskbarState { None = 0, Indeterminate = 1, Normal = 2, Error = 3, Paused = 4 };

class TaskbarProgress {
 public:
  // Holds the launcher entry once the session bus answers; later calls only report.
  bool Init();
  bool Ready() const { return held_; }
  bool SetState(TaskbarState state);
  bool SetValue(uint64_t completed, uint64_t total);

 private:
  bool Update(double progress, bool progressVisible, bool urgent);

  bool held_ = false;
  // The run's last value, shown since the first value after a None state;
  // an idle launcher entry shows no progress.
  double lastProgress_ = 0.0;
  bool progressShown_ = false;
};

}  // namespace desktop
