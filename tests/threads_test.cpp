// The keyboard handler runs on whatever thread the hook delivers keys on, while the script runs on
// the hook's fiber on the game's thread. Built with ThreadSanitizer (make test-tsan runs this
// suite there) these tests show that the two share nothing unguarded, the simulated hook
// included; in every build they show that neither side loses anything to the other.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "brawl/saloons.h"
#include "plugin/keyboard.h"
#include "support/director_support.h"
#include "support/plugin_test.h"

namespace fraywick::testing {
namespace {

constexpr int kKeyMessages = 20'000;
constexpr int kMinimumTicks = 2'000;

class Threads : public PluginTest {};

// Delivers keyboard messages on a thread of its own until all are sent, counting those that
// reached a handler.
class KeyThread {
 public:
  KeyThread()
      : thread_([this] {
          for (int i = 0; i < kKeyMessages; ++i) {
            const auto key = static_cast<std::uint32_t>(i % 300);  // 255 and up have no slot
            if (sim::sendKey(key, 1, 0x1E, 0, i & 1, (i >> 1) & 1, (i >> 2) & 1)) ++delivered_;
          }
          done_ = true;
        }) {}
  ~KeyThread() { join(); }

  void join() {
    if (thread_.joinable()) thread_.join();
  }
  bool done() const { return done_; }
  int delivered() const { return delivered_; }

 private:
  std::atomic<int> delivered_{0};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

TEST_F(Threads, KeyboardMessagesFromAnotherThreadWhileTheScriptBrawls) {
  // Two brawlers at Valentine and an event there from the start: the script scans every tick
  // (the clock steps a full second) and brawls on the first, while the keys come in.
  world().clockStepMs = 1000;
  addPlayer(world());
  const sim::Vec3 valentine = triggerPoint(0);
  for (const std::int32_t handle : {2, 3}) {
    addPed(world(), handle, {valentine.x + static_cast<float>(handle), valentine.y, valentine.z});
  }
  addEvent(world(), kTriggerEvents[0], valentine);
  world().recording = false;  // the script's calls are not what is under test; its effects are
  load();

  int ticks = 0;
  {
    KeyThread keys;
    while (!keys.done() || ticks < kMinimumTicks) {
      ASSERT_TRUE(sim::tick());
      ++ticks;
    }
    keys.join();
    EXPECT_EQ(keys.delivered(), kKeyMessages) << "the handler was registered all along";
  }

  EXPECT_GE(ticks, kMinimumTicks);
  for (const std::int32_t handle : {2, 3}) {
    const sim::Ped* ped = world().findPed(handle);
    ASSERT_NE(ped, nullptr);
    EXPECT_TRUE(ped->effects.weaponsRemoved) << "ped " << handle << " was recruited";
    EXPECT_EQ(ped->effects.fightTarget, 5 - handle) << "ped " << handle << " fights the other";
  }
}

// The recorder on its own, linked into this program: one thread writes every key code over and
// over while this one moves the clock that the recorder reads. Each slot ends with the last
// message sent for its key, stamped with a time the clock really showed.
TEST(KeyTableThreads, EachSlotKeepsTheLastMessageWhileTheClockMoves) {
  sim::resetWorld();
  for (KeyState& s : keyStateTable) s.tick = 0, s.altDown = 0, s.wasDown = 0, s.keyUp = 0;
  constexpr int kRounds = 200;
  const std::uint64_t start = sim::world().clockMs;
  std::atomic<bool> clockMoving{false};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    // On a busy machine this thread could otherwise finish before the clock ever moved.
    while (!clockMoving) std::this_thread::yield();
    for (int round = 1; round <= kRounds; ++round) {
      for (DWORD key = 0; key < 256; ++key) {
        RecordKeyMessage(key, 1, 0, 0, static_cast<BOOL>(round), static_cast<BOOL>(key), -round);
      }
    }
    done = true;
  });
  // The clock moves as the hook moves it while another thread may read it: atomically.
  std::atomic_ref<std::uint64_t> clock(sim::world().clockMs);
  while (!done) {
    clock.fetch_add(1, std::memory_order_relaxed);
    clockMoving = true;
  }
  writer.join();
  const std::uint64_t end = sim::world().clockMs;

  for (std::size_t key = 0; key < kKeyCodeCount; ++key) {
    const KeyState& slot = keyStateTable[key];
    EXPECT_EQ(slot.altDown.load(), static_cast<std::uint32_t>(kRounds)) << key;
    EXPECT_EQ(slot.wasDown.load(), static_cast<std::uint32_t>(key)) << key;
    EXPECT_EQ(slot.keyUp.load(), static_cast<std::uint32_t>(-kRounds)) << key;
    EXPECT_GE(slot.tick.load(), static_cast<std::uint32_t>(start)) << key;
    EXPECT_LE(slot.tick.load(), static_cast<std::uint32_t>(end)) << key;
  }
}

// The table's once-only guard, linked into this program: a second thread that enters while the
// first fills the table waits for the whole of it, and the game is asked for the models once.
// (Another test of this program may have filled it already; then neither thread asks at all.)
TEST(SaloonTableThreads, ARacingCallerWaitsForTheOneFill) {
  sim::resetWorld();
  const SaloonTable* seen[2] = {};
  std::thread other([&] { seen[1] = &saloonTable(); });
  seen[0] = &saloonTable();
  other.join();
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_LE(sim::world().countNative(hashOfName.hash), 9u) << "filled more than once";
  for (const Saloon& saloon : *seen[1]) {
    EXPECT_NE(saloon.name, nullptr);
    EXPECT_NE(saloon.bartenderModel, 0u) << saloon.name;
  }
}

}  // namespace
}  // namespace fraywick::testing
