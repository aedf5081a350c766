#pragma once

#include <string_view>

namespace plk {

// How a tool run reports its progress and learns that the user wants it stopped. Both calls are
// made from the thread that started the run, between units of work (never from a worker of the
// parallel loop), so an implementation may touch its user interface.
class RunControl {
 public:
  virtual ~RunControl() = default;
  // `done` of `total` units are finished; `what` names the unit under way ("Polygone 2/5").
  virtual void step(int done, int total, std::string_view what) = 0;
  [[nodiscard]] virtual bool cancelled() const = 0;
};

// A run nobody watches: no display, never cancelled.
class UnattendedRun final : public RunControl {
 public:
  void step(int /*done*/, int /*total*/, std::string_view /*what*/) override {}
  [[nodiscard]] bool cancelled() const override { return false; }
};

}  // namespace plk
