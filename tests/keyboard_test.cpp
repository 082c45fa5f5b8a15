// The keyboard recorder keeps, per key code, the time and three flags of the last message.
#include "plugin/keyboard.h"

#include <gtest/gtest.h>

#include "sim/host.h"

namespace fraywick {
namespace {

struct Stored {
  std::uint32_t tick, altDown, wasDown, keyUp;
  bool operator==(const Stored&) const = default;
};

Stored slot(std::size_t key) {
  const KeyState& s = keyStateTable[key];
  return {s.tick.load(), s.altDown.load(), s.wasDown.load(), s.keyUp.load()};
}

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::resetWorld();
    for (KeyState& s : keyStateTable) {
      s.tick = 0, s.altDown = 0, s.wasDown = 0, s.keyUp = 0;
    }
  }
};

TEST_F(KeyboardTest, RecordsCodesBelow255Only) {
  struct Row {
    DWORD key;
    bool kept;
  };
  for (const Row row :
       {Row{0, true}, Row{254, true}, Row{255, false}, Row{256, false}, Row{0xFFFFFFFF, false}}) {
    sim::world().clockMs = 0x100000000ull + row.key + 1;  // GetTickCount: the low half
    RecordKeyMessage(row.key, 1, 0, 0, 1, 1, 1);
    if (row.kept) {
      EXPECT_EQ(slot(row.key), (Stored{row.key + 1, 1, 1, 1})) << row.key;
    }
  }
  // Nothing but the two kept codes changed: 255 and above have no slot to spill into.
  for (std::size_t key = 1; key < 254; ++key) ASSERT_EQ(slot(key), Stored{}) << key;
}

TEST_F(KeyboardTest, StoresFlagsAsDeliveredAndIgnoresRepeatScanAndExtended) {
  sim::world().clockMs = 42;
  RecordKeyMessage(0x41, 0xFFFF, 0xFF, 7, 2, -1, 0x7FFFFFFF);
  EXPECT_EQ(slot(0x41), (Stored{42, 2, 0xFFFFFFFF, 0x7FFFFFFF}));
}

TEST_F(KeyboardTest, ALaterMessageOverwritesAllFourFieldsOfItsKeyOnly) {
  sim::world().clockMs = 10;
  RecordKeyMessage(0x20, 1, 0, 0, 1, 0, 0);
  RecordKeyMessage(0x21, 1, 0, 0, 1, 1, 1);
  sim::world().clockMs = 20;
  RecordKeyMessage(0x20, 1, 0, 0, 0, 1, 1);
  EXPECT_EQ(slot(0x20), (Stored{20, 0, 1, 1}));
  EXPECT_EQ(slot(0x21), (Stored{10, 1, 1, 1}));
}

}  // namespace
}  // namespace fraywick
