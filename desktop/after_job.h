// What the computer does when all work of a run is done.
#pragma once

#include <QString>

namespace desktop {

// By the index of the after-job list: 0 nothing, 1 power off, 2 sleep,
// 3 hibernate, 4 play the sound. Tests substitute their own.
class AfterJobActions {
 public:
  virtual ~AfterJobActions() = default;
  virtual void PowerOff() = 0;
  virtual void Sleep() = 0;
  virtual void Hibernate() = 0;
  virtual void PlaySound(const QString& soundFile) = 0;

  void Perform(int index, const QString& soundFile);
};

// Actions that do nothing: a window-less runner takes none, and a batch
// takes its one action itself after the last source, not after each.
class NoAfterJobActions : public AfterJobActions {
 public:
  void PowerOff() override {}
  void Sleep() override {}
  void Hibernate() override {}
  void PlaySound(const QString&) override {}
};

// The real ones: the login manager on the system bus (non-interactive, so a
// refusal is silent) and a sound player started without waiting.
class DesktopAfterJobActions : public AfterJobActions {
 public:
  void PowerOff() override;
  void Sleep() override;
  void Hibernate() override;
  void PlaySound(const QString& soundFile) override;
};

}  // namespace desktop
