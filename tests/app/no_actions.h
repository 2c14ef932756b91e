// After-job actions for tests that run whole jobs: ones that do nothing, and
// ones that record what was asked of them.
#pragma once

#include "desktop/after_job.h"

#include <QStringList>

class NoActions : public desktop::AfterJobActions {
 public:
  void PowerOff() override {}
  void Sleep() override {}
  void Hibernate() override {}
  void PlaySound(const QString&) override {}
};

class RecordedActions : public desktop::AfterJobActions {
 public:
  QStringList calls;
  void PowerOff() override { calls << "poweroff"; }
  void Sleep() override { calls << "sleep"; }
  void Hibernate() override { calls << "hibernate"; }
  void PlaySound(const QString& file) override { calls << "sound " + file; }
};
