// The script fiber on Windows: a real fiber, as the hook itself uses. The host side becomes a
// fiber only for the length of each resume, so the calling thread is left as it was found.
//
// The fiber's stack is committed whole when it is made, so that all of it can be filled with a
// pattern before the entry starts; where it lies is read from inside the fiber.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "sim/fiber.h"
#include "sim/host.h"

namespace sim {
namespace {

// The header's GetCurrentFiber and NtCurrentTeb read the thread block through the gs segment,
// which g++ 12 takes for an out-of-bounds access of address 0; the reads are fine.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
void* currentFiber() {
  return GetCurrentFiber();
}

// On a fiber, the thread block's stack bounds are the fiber's: SwitchToFiber swaps them in.
const NT_TIB& currentThreadBlock() {
  return *reinterpret_cast<const NT_TIB*>(NtCurrentTeb());
}
#pragma GCC diagnostic pop

// Room left unfilled below the frame that fills, for that frame itself: far more than it takes.
constexpr std::size_t kFillerFrameRoom = 512;

}  // namespace

struct ScriptFiber::Impl {
  ScriptFiber* owner = nullptr;
  Entry entry = nullptr;
  void* script = nullptr;
  void* host = nullptr;
  // The stack's committed range, as found from inside; null until the fiber first runs.
  const unsigned char* stackLow = nullptr;
  const unsigned char* stackHigh = nullptr;

  // Notes the bounds of the stack it runs on and fills it with the pattern from its lowest byte
  // up to just below its own frame. The stores are volatile so that no call to memset, whose
  // frame would lie in the very range being filled, takes their place.
  [[gnu::noinline]] void fillUnusedStack() {
    const NT_TIB& tib = currentThreadBlock();
    stackLow = static_cast<const unsigned char*>(tib.StackLimit);
    stackHigh = static_cast<const unsigned char*>(tib.StackBase);
    volatile unsigned char here = 0;
    // Addresses as numbers: the range lies below every object of this frame.
    const auto end = reinterpret_cast<std::uintptr_t>(&here) - kFillerFrameRoom;
    for (auto at = reinterpret_cast<std::uintptr_t>(tib.StackLimit); at + sizeof kStackFill <= end;
         at += sizeof kStackFill) {
      *reinterpret_cast<volatile std::uint64_t*>(at) = kStackFill;
    }
  }

  static void CALLBACK start(void* parameter) {
    auto* self = static_cast<Impl*>(parameter);
    self->fillUnusedStack();
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
  // Committed as large as it is reserved: no guard page moves down it as it grows, and the
  // fill reaches its lowest byte.
  impl_->script = CreateFiberEx(kScriptStackBytes, kScriptStackBytes, 0, &Impl::start, impl_.get());
  if (impl_->script == nullptr) {
    // Without its fiber the simulated hook cannot run a script at all.
    std::fprintf(stderr, "sim: CreateFiberEx failed (error %lu)\n", GetLastError());
    std::abort();
  }
}

ScriptFiber::~ScriptFiber() {
  DeleteFiber(impl_->script);
}

std::size_t ScriptFiber::stackUsed() const {
  if (impl_->stackLow == nullptr) return 0;
  return depthBelowFill(impl_->stackLow, impl_->stackHigh);
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
