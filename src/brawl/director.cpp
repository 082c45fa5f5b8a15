#include "brawl/director.h"

#include <algorithm>

namespace fraywick {
namespace {

constexpr std::uint32_t kScanIntervalMs = 1000;
constexpr float kEventRadius = 8.0f;

// The events that start a brawl, tested in this order. isEventInSphere is the game's
// IS_SHOCKING_EVENT_IN_SPHERE, and each type is the game's hash of an event's name.
constexpr Hash kInterestingMeleeFight = 0x2CA3408A;  // EVENT_SHOCKING_INTERESTING_MELEE_FIGHT
constexpr Hash kBarBrawlAction = 0x86D43C6C;         // EVENT_SHOCKING_BAR_BRAWL_ACTION
constexpr Hash kMeleeFight = 0x73DBE22C;             // EVENT_SHOCKING_MELEE_FIGHT
constexpr Hash kSeenMeleeAction = 0xF5C6180C;        // EVENT_SHOCKING_SEEN_MELEE_ACTION
// EVENT_MELEE_ACTION is not one of the game's shocking events: whether the shocking-event query
// ever reports it is not known. It is asked all the same, as the brawl was designed.
constexpr Hash kMeleeAction = 0x71B212BD;
constexpr Hash kTriggerEvents[] = {kInterestingMeleeFight, kBarBrawlAction, kMeleeFight,
                                   kSeenMeleeAction, kMeleeAction};

bool triggerEventNear(const Saloon& saloon) {
  const PaddedVector3& at = saloon.triggerPoint;
  for (const Hash event : kTriggerEvents) {
    if (isEventInSphere(event, at.x, at.y, at.z, kEventRadius)) return true;
  }
  return false;
}

void scan(const SaloonTable& saloons, const BartenderModelSet& bartenders) {
  const Ped player = playerPed();
  if (!entityExists(player)) return;

  PedSnapshot snapshot;
  constexpr int kCapacity = static_cast<int>(kSnapshotCapacity);
  const int count = worldGetAllPeds(snapshot.handles.data(), kCapacity);
  // The hook promises a count between 0 and the capacity; one outside that range must not send
  // the director reading past its buffer.
  snapshot.count = static_cast<std::size_t>(std::clamp(count, 0, kCapacity));

  for (std::size_t row = 0; row < kSaloonCount; ++row) {
    if (brawlState.brawlStarted[row]) continue;
    if (!triggerEventNear(saloons[row])) continue;
    startBrawl(row, snapshot, player, bartenders);
    // Marked whatever startBrawl found: a saloon gets one chance per load.
    brawlState.brawlStarted[row] = true;
  }
}

}  // namespace

void runBrawlDirector() {
  const SaloonTable& saloons = saloonTable();
  const BartenderModelSet bartenders = buildBartenderModelSet();

  // Only the low 32 bits count; unsigned subtraction keeps the spacing right across their wrap.
  const auto now = static_cast<std::uint32_t>(GetTickCount64());
  if (now - brawlState.lastScanTime < kScanIntervalMs) return;
  // Stored before the player check: a scan that finds no player still waits a full second.
  brawlState.lastScanTime = now;

  scan(saloons, bartenders);
}

}  // namespace fraywick
