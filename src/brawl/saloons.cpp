#include "brawl/saloons.h"

#include <atomic>

namespace fraywick {
namespace {

Hash bartenderModelOf(const SaloonSource& source) {
  return source.bartenderName != nullptr ? hashOfName(Text{source.bartenderName})
                                         : source.bartenderHash;
}

SaloonTable fillSaloonTable() {
  SaloonTable table{};
  for (std::size_t row = 0; row < kSaloonCount; ++row) {
    const SaloonSource& source = kSaloonSources[row];
    Saloon& saloon = table[row];
    saloon.name = source.name;
    saloon.bartenderModel = bartenderModelOf(source);
    saloon.triggerPoint.x = source.x;
    saloon.triggerPoint.y = source.y;
    saloon.triggerPoint.z = source.z;
  }
  return table;
}

// The once-only guard of the table's fill is written out rather than left to a function-local
// static: the runtime the Windows module links guards those with a lock that it creates in each
// module and never closes, a handle left in the game per load.
enum TableState : std::uint8_t { kEmpty, kFilling, kFilled };
SaloonTable filledTable;  // zero until filled
std::atomic<std::uint8_t> tableState{kEmpty};

}  // namespace

BrawlState brawlState;

const SaloonTable& saloonTable() {
  if (tableState.load(std::memory_order_acquire) != kFilled) {
    std::uint8_t expected = kEmpty;
    if (tableState.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) {
      filledTable = fillSaloonTable();
      tableState.store(kFilled, std::memory_order_release);
    } else {
      // Another thread is filling it: wait for the whole table rather than see half of it.
      while (tableState.load(std::memory_order_acquire) != kFilled) {
      }
    }
  }
  return filledTable;
}

void BartenderModelSet::insert(Hash model) {
  if (count_ < entries_.size()) entries_[count_++] = model;
}

bool BartenderModelSet::contains(Hash model) const {
  for (std::size_t i = 0; i < count_; ++i) {
    if (entries_[i] == model) return true;
  }
  return false;
}

BartenderModelSet buildBartenderModelSet() {
  BartenderModelSet set;
  for (const SaloonSource& source : kSaloonSources) set.insert(bartenderModelOf(source));
  return set;
}

}  // namespace fraywick
