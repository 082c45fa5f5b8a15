// The brawl director: watches the saloons and starts their brawls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "brawl/saloons.h"
#include "host/natives.h"

namespace fraywick {

inline constexpr std::size_t kSnapshotCapacity = 256;

// The peds of one scan, as worldGetAllPeds delivered them. Every saloon of the scan shares it.
struct PedSnapshot {
  std::array<int, kSnapshotCapacity> handles{};
  std::size_t count = 0;
};

// One pass of the director, made once per script tick while the guard allows it. At most once a
// second it scans: each saloon that has not brawled yet is tested for the trigger events, and a
// hit starts its brawl.
void runBrawlDirector();

// Turns the peds around saloon `row` into a brawl and sends its bartender fleeing.
void startBrawl(std::size_t row, const PedSnapshot& snapshot, Ped player,
                const BartenderModelSet& bartenders);

}  // namespace fraywick
