// What the director knows about the thirteen saloons, and what it remembers about them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "host/natives.h"

namespace fraywick {

inline constexpr std::size_t kSaloonCount = 13;

struct Saloon {
  const char* name = nullptr;  // a label for people reading the table; nothing compares it
  Hash bartenderModel = 0;
  PaddedVector3 triggerPoint;  // both the event sphere and the recruitment sphere centre here
};

// The row index is a saloon's identity: it indexes BrawlState and fixes the scan order.
using SaloonTable = std::array<Saloon, kSaloonCount>;

// A saloon as written down: its bartender either by model name, hashed by the game when the
// table is filled, or by a literal hash kept as it is.
struct SaloonSource {
  const char* name;
  const char* bartenderName;  // nullptr: use bartenderHash
  Hash bartenderHash;
  float x, y, z;
};

// The thirteen saloons, in row order: the one place they are written down. The table below is
// filled from them; the demo's atlas, the benchmarks and the tests' helpers read them too, so
// what those show of a saloon is what the plug-in watches.
extern const std::array<SaloonSource, kSaloonCount> kSaloonSources;

// The table, filled on first use. Filling asks the game for the bartender model hashes, so the
// first use must come from the script fiber; a once-only guard makes a racing second caller
// wait for the fill rather than see half a table.
const SaloonTable& saloonTable();

// The bartender models of every saloon, in a fixed array: the director builds the set on every
// pass. An insert only appends, so a model shared by two saloons is held twice.
class BartenderModelSet {
 public:
  // Holds up to one model per saloon; an insert beyond that is dropped.
  void insert(Hash model);
  bool contains(Hash model) const;

 private:
  std::array<Hash, kSaloonCount> entries_{};
  std::size_t count_ = 0;
};

// Asks the game for the nine named models again (the literals are kept as they are) and
// collects all thirteen rows' models.
BartenderModelSet buildBartenderModelSet();

// The director's process-wide memory, zero at load. Flags only ever go from false to true, so
// each saloon brawls, and its bartender flees, at most once per load.
struct BrawlState {
  std::array<bool, kSaloonCount> brawlStarted;
  std::array<bool, kSaloonCount> bartenderHandled;
  std::uint32_t lastScanTime;  // low 32 bits of the tick count at the last scan
};

extern BrawlState brawlState;

}  // namespace fraywick
