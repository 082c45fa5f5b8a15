// The script's coroutine. The real hook runs every script on a fiber of its own and switches to
// it once per tick; scriptWait switches back. Windows has fibers; natively ucontext serves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace sim {

class ScriptFiber {
 public:
  using Entry = void (*)();

  explicit ScriptFiber(Entry entry);
  // Frees the fiber without resuming it: a script stuck in its endless loop simply stops, and
  // whatever its frames hold is never unwound.
  ~ScriptFiber();
  ScriptFiber(const ScriptFiber&) = delete;
  ScriptFiber& operator=(const ScriptFiber&) = delete;

  // From the host: runs the script until it yields or its entry returns.
  void resume();
  // From inside the script: back to the host.
  void yield();

  bool running() const { return running_; }
  bool finished() const { return finished_; }

  // The deepest the script has reached into its stack so far, in bytes from the top: the
  // unused stack holds a fill pattern from before the entry starts, and this finds the lowest
  // byte that no longer holds it. 0 while the fiber has never run.
  std::size_t stackUsed() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
  bool running_ = false;
  bool finished_ = false;
  friend struct Impl;
};

// What the unused stack is filled with. A word of it that the script wrote unchanged would hide
// that word from the measure; a byte value that is neither 0, -1 nor a small count makes that
// unlikely.
inline constexpr std::uint64_t kStackFill = 0xA5C3A5C3A5C3A5C3ull;

// The lowest word of [low, high) that differs from the fill, as a depth from `high`. Reads the
// stack of a fiber that is not running: the address sanitizer's marks for the frames it left
// there are no concern of ours, so it is kept out of this function.
__attribute__((no_sanitize("address"), noinline)) inline std::size_t depthBelowFill(
    const unsigned char* low, const unsigned char* high) {
  const auto* word = reinterpret_cast<const std::uint64_t*>(low);
  const auto* end = reinterpret_cast<const std::uint64_t*>(high);
  while (word < end && *word == kStackFill) ++word;
  return static_cast<std::size_t>(high - reinterpret_cast<const unsigned char*>(word));
}

}  // namespace sim
