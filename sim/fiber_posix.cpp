// The script fiber natively: a ucontext on a stack buffer of the hook's own. The sanitizers are
// told about every switch, or they would take the jump between stacks for stack corruption.
#include <ucontext.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "sim/fiber.h"
#include "sim/host.h"

#if defined(__SANITIZE_ADDRESS__)
#define SIM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_ASAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define SIM_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SIM_TSAN 1
#endif
#endif

#if defined(SIM_ASAN)
#include <sanitizer/asan_interface.h>
#endif
#if defined(SIM_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

namespace sim {

struct ScriptFiber::Impl {
  static constexpr std::size_t kStackSize = kScriptStackBytes;
  static constexpr std::size_t kWords = kStackSize / sizeof(std::uint64_t);

  ScriptFiber* owner = nullptr;
  Entry entry = nullptr;
  // Words, so that the stack is aligned for any frame and the fill is whole words.
  std::unique_ptr<std::uint64_t[]> stack{new std::uint64_t[kWords]};
  bool started = false;
  ucontext_t host{};
  ucontext_t script{};
  // The host's stack, as the address sanitizer reports it when the fiber is first entered.
  const void* hostStackBottom = nullptr;
  std::size_t hostStackSize = 0;
  void* hostFakeStack = nullptr;
  void* scriptFakeStack = nullptr;
#if defined(SIM_TSAN)
  void* hostTsanFiber = nullptr;
  void* scriptTsanFiber = nullptr;
#endif

  void beginSwitch(void** fakeStack, const void* bottom, std::size_t size) {
#if defined(SIM_ASAN)
    __sanitizer_start_switch_fiber(fakeStack, bottom, size);
#else
    (void)fakeStack, (void)bottom, (void)size;
#endif
  }
  void endSwitch(void* fakeStack, const void** bottom, std::size_t* size) {
#if defined(SIM_ASAN)
    __sanitizer_finish_switch_fiber(fakeStack, bottom, size);
#else
    (void)fakeStack, (void)bottom, (void)size;
#endif
  }

  static void trampoline(unsigned int high, unsigned int low) {
    auto* self = reinterpret_cast<Impl*>((static_cast<std::uintptr_t>(high) << 32) | low);
    self->endSwitch(nullptr, &self->hostStackBottom, &self->hostStackSize);
    self->entry();
    self->owner->finished_ = true;
    self->owner->running_ = false;
    // Leaving for good: the fiber's fake stack may go.
    self->beginSwitch(nullptr, self->hostStackBottom, self->hostStackSize);
#if defined(SIM_TSAN)
    __tsan_switch_to_fiber(self->hostTsanFiber, 0);
#endif
    setcontext(&self->host);
  }
};

ScriptFiber::ScriptFiber(Entry entry) : impl_(std::make_unique<Impl>()) {
  impl_->owner = this;
  impl_->entry = entry;
  // Nothing has run on the stack yet, so all of it is unused.
  std::fill_n(impl_->stack.get(), Impl::kWords, kStackFill);
  getcontext(&impl_->script);
  impl_->script.uc_stack.ss_sp = impl_->stack.get();
  impl_->script.uc_stack.ss_size = Impl::kStackSize;
  impl_->script.uc_link = nullptr;
  const auto self = reinterpret_cast<std::uintptr_t>(impl_.get());
  makecontext(&impl_->script, reinterpret_cast<void (*)()>(&Impl::trampoline), 2,
              static_cast<unsigned int>(self >> 32), static_cast<unsigned int>(self));
#if defined(SIM_TSAN)
  impl_->scriptTsanFiber = __tsan_create_fiber(0);
#endif
}

ScriptFiber::~ScriptFiber() {
#if defined(SIM_TSAN)
  __tsan_destroy_fiber(impl_->scriptTsanFiber);
#endif
}

std::size_t ScriptFiber::stackUsed() const {
  if (!impl_->started) return 0;
  const auto* low = reinterpret_cast<const unsigned char*>(impl_->stack.get());
  return depthBelowFill(low, low + Impl::kStackSize);
}

void ScriptFiber::resume() {
  if (finished_ || running_) return;
  running_ = true;
  impl_->started = true;
  impl_->beginSwitch(&impl_->hostFakeStack, impl_->stack.get(), Impl::kStackSize);
#if defined(SIM_TSAN)
  impl_->hostTsanFiber = __tsan_get_current_fiber();
  __tsan_switch_to_fiber(impl_->scriptTsanFiber, 0);
#endif
  swapcontext(&impl_->host, &impl_->script);
  impl_->endSwitch(impl_->hostFakeStack, nullptr, nullptr);
}

void ScriptFiber::yield() {
  if (!running_) return;
  running_ = false;
  impl_->beginSwitch(&impl_->scriptFakeStack, impl_->hostStackBottom, impl_->hostStackSize);
#if defined(SIM_TSAN)
  __tsan_switch_to_fiber(impl_->hostTsanFiber, 0);
#endif
  swapcontext(&impl_->script, &impl_->host);
  impl_->endSwitch(impl_->scriptFakeStack, &impl_->hostStackBottom, &impl_->hostStackSize);
}

}  // namespace sim
