// The script's coroutine. The real hook runs every script on a fiber of its own and switches to
// it once per tick; scriptWait switches back. Windows has fibers; natively ucontext serves.
#pragma once

#include <memory>

namespace sim {

class ScriptFiber {
 public:
  using Entry = void (*)();

  explicit ScriptFiber(Entry entry);
  // Frees the fiber without resuming it: a script stuck in its endless loop simply stops.
  ~ScriptFiber();
  ScriptFiber(const ScriptFiber&) = delete;
  ScriptFiber& operator=(const ScriptFiber&) = delete;

  // From the host: runs the script until it yields or its entry returns.
  void resume();
  // From inside the script: back to the host.
  void yield();

  bool running() const { return running_; }
  bool finished() const { return finished_; }

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
  bool running_ = false;
  bool finished_ = false;
  friend struct Impl;
};

}  // namespace sim
