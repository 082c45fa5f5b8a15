#include "brawl/saloons.h"

#include <atomic>

namespace fraywick {

// Each coordinate is the shortest decimal that rounds to the intended float.
// clang-format off
constinit const std::array<SaloonSource, kSaloonCount> kSaloonSources = {{
    {"Valentine",    "U_M_M_VALBARTENDER_01", 0,          -309.5f,    808.69f,  121.3f},
    {"Valentine2",   "U_M_O_VALBARTENDER_01", 0,          -241.5f,    769.64f,  118.3f},
    {"Rhodes",       "U_M_M_RHDBARTENDER_01", 0,          1335.6f,   -1374.0f,   81.9f},
    {"Annesburg",    nullptr,                 0xB807927B, 2957.56f,   1350.25f,  47.13f},
    {"VanHorn",      "U_F_M_VHTBARTENDER_01", 0,          2946.0f,    523.33f,   45.34f},
    {"SaintDenis",   "U_M_M_NBXBARTENDER_01", 0,          2633.99f,  -1227.03f,  53.38f},
    {"SaintDenis2",  "U_M_M_NBXBARTENDER_02", 0,          2795.99f,  -1168.52f,  47.93f},
    {"Blackwater",   "U_M_O_BLWBARTENDER_01", 0,          -815.43f,  -1317.43f,  43.69f},
    {"Armadillo",    "U_M_O_ARMBARTENDER_01", 0,          -3702.72f, -2595.68f, -13.32f},
    {"Tumbleweed",   "U_M_M_TUMBARTENDER_01", 0,          -5512.86f, -2912.41f,  -1.75f},
    {"Strawberry",   nullptr,                 0x627F30B5, -1776.79f,  -370.35f,  156.96f},
    // The same model as Valentine2's bartender: each saloon still handles its own.
    {"EmeraldRanch", nullptr,                 0x904CC489, 1448.67f,   373.01f,   89.89f},
    {"Morningstar",  nullptr,                 0xC05D40F3, -675.08f,  -1273.12f,  41.91f},
}};
// clang-format on

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
enum TableState : int { kEmpty, kFilling, kFilled };
SaloonTable filledTable;  // zero until filled
std::atomic<int> tableState{kEmpty};

}  // namespace

BrawlState brawlState;

const SaloonTable& saloonTable() {
  if (tableState.load(std::memory_order_acquire) != kFilled) {
    int expected = kEmpty;
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
