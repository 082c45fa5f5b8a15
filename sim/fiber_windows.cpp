// The script fiber on Windows: a real fiber, as the hook itself uses. The host side becomes a
// fiber only for the length of each resume, so the calling thread is left as it was found.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "sim/fiber.h"

namespace sim {
namespace {

// The header's GetCurrentFiber reads the thread block through the gs segment, which g++ 12 takes
// for an out-of-bounds access of address 0; the read is fine.
void* currentFiber() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
  return GetCurrentFiber();
#pragma GCC diagnostic pop
}

}  // namespace

struct ScriptFiber::Impl {
  static constexpr SIZE_T kStackSize = 1 << 20;

  ScriptFiber* owner = nullptr;
  Entry entry = nullptr;
  void* script = nullptr;
  void* host = nullptr;

  static void CALLBACK start(void* parameter) {
    auto* self = static_cast<Impl*>(parameter);
    self->entry();
    self->owner->finished_ = true;
    self->owner->running_ = false;
    // A fiber routine that returned would end the whole thread: leave for good instead.
    SwitchToFiber(self->host);
  }
};

ScriptFiber::ScriptFiber(Entry entry) : impl_(std::make_unique<Impl>()) {
  impl_->owner = this;
  impl_->entry = entry;
  impl_->script = CreateFiber(Impl::kStackSize, &Impl::start, impl_.get());
  if (impl_->script == nullptr) {
    // Without its fiber the simulated hook cannot run a script at all.
    std::fprintf(stderr, "sim: CreateFiber failed (error %lu)\n", GetLastError());
    std::abort();
  }
}

ScriptFiber::~ScriptFiber() {
  DeleteFiber(impl_->script);
}

void ScriptFiber::resume() {
  if (finished_ || running_) return;
  running_ = true;
  const bool wasFiber = IsThreadAFiber() != FALSE;
  impl_->host = wasFiber ? currentFiber() : ConvertThreadToFiber(nullptr);
  if (impl_->host == nullptr) {
    std::fprintf(stderr, "sim: ConvertThreadToFiber failed (error %lu)\n", GetLastError());
    std::abort();
  }
  SwitchToFiber(impl_->script);
  if (!wasFiber) ConvertFiberToThread();
}

void ScriptFiber::yield() {
  if (!running_) return;
  running_ = false;
  SwitchToFiber(impl_->host);
}

}  // namespace sim
