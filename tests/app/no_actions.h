// After-job actions that do nothing, for tests that run whole jobs.
#pragma once

#include "desktop/after_job.h"

class NoActions : public desktop::AfterJobActions {
 public:
  void PowerOff() override {}
  void Sleep() override {}
  void Hibernate() override {}
  void PlaySound(const QString&) override {}
};
