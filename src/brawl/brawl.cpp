// What happens at a saloon when a trigger event is detected there.
#include <array>

#include "brawl/director.h"
#include "settings/settings.h"

namespace fraywick {
namespace {

constexpr float kRecruitRadius = 20.0f;  // a ped at exactly 20 m is in

// setConfigFlag is the game's SET_PED_COMBAT_ATTRIBUTES: the numbers a brawler gets are combat
// attributes, named here as the game's public lists name them, set in this order.
constexpr int kAlwaysFight = 5;
constexpr int kCanFightArmedPedsWhenNotArmed = 46;
constexpr int kUnnamedAttribute96 = 96;  // the public lists give it no name
constexpr int kCanCharge = 50;
constexpr int kDisableFleeFromCombat = 58;
constexpr int kPreferMelee = 93;
constexpr int kBrawlerCombatAttributes[] = {kAlwaysFight,           kCanFightArmedPedsWhenNotArmed,
                                            kUnnamedAttribute96,    kCanCharge,
                                            kDisableFleeFromCombat, kPreferMelee};

constexpr int kGroupHashLow = 4096;
constexpr int kGroupHashHigh = 65535;  // exclusive: groups range from 4096 to 65534

// The relationship level every brawler group gets towards every other one. The game's public
// lists of relationship levels call 5 "wanted" (and 6 "hate"); the brawl was designed with 5 and
// keeps it.
constexpr int kBrawlerRelationship = 5;
constexpr int kOpponentTries = 5;
constexpr char kUnarmed[] = "WEAPON_UNARMED";

// The brawlers recruited in one call, in recruitment order; entry k of both lists is the same
// brawler. There can be no more brawlers than peds in the snapshot, so no heap is needed.
struct Brawlers {
  std::array<Hash, kSnapshotCapacity> brawlerGroups{};
  std::array<Ped, kSnapshotCapacity> brawlerPeds{};
  std::size_t count = 0;

  void append(Hash group, Ped ped) {
    brawlerGroups[count] = group;
    brawlerPeds[count] = ped;
    ++count;
  }
};

void sendBartenderFleeing(Ped bartender, Ped player) {
  setEntityInvincible(bartender, false);
  clearTasks(bartender, 1, 1);
  setEventBlocking(bartender, false);
  fleeFromPed(bartender, player, 100.0f, 10000, 0, 3.0f, 0);
}

void recruit(Ped ped, Brawlers& brawlers) {
  removeAllWeapons(ped, 1, 1);
  equipWeapon(ped, hashOfName(Text{kUnarmed}), 1, 0, 1, 1);
  for (const int attribute : kBrawlerCombatAttributes) setConfigFlag(ped, attribute, true);
  const auto group = static_cast<Hash>(randomInRange(kGroupHashLow, kGroupHashHigh));
  setRelationshipGroup(ped, group);
  brawlers.append(group, ped);
}

bool withinRecruitRadius(Ped ped, const PaddedVector3& point) {
  const PaddedVector3 at = entityPosition(ped, 0, 1);
  const float distance = distanceBetweenPoints(at.x, at.y, at.z, point.x, point.y, point.z, 1);
  // Written so that a NaN distance keeps the ped out rather than pulling it in from anywhere.
  return distance <= kRecruitRadius;
}

// Every ordered pair of brawlers' groups, each direction its own call.
void setBrawlerRelationships(const Brawlers& brawlers) {
  for (std::size_t i = 0; i < brawlers.count; ++i) {
    for (std::size_t j = 0; j < brawlers.count; ++j) {
      if (i == j) continue;
      setGroupRelationship(kBrawlerRelationship, brawlers.brawlerGroups[i],
                           brawlers.brawlerGroups[j]);
    }
  }
}

// Each brawler gets a few draws for an opponent other than itself. A draw outside [0, N) from a
// misbehaving game uses up a try instead of indexing past the list.
void pairFights(const Brawlers& brawlers) {
  const int n = static_cast<int>(brawlers.count);
  for (int k = 0; k < n; ++k) {
    for (int attempt = 0; attempt < kOpponentTries; ++attempt) {
      const int r = randomInRange(0, n);
      if (r < 0 || r >= n || r == k) continue;
      fightPed(brawlers.brawlerPeds[k], brawlers.brawlerPeds[r], 0, 16);
      break;
    }
  }
}

}  // namespace

void startBrawl(std::size_t row, const PedSnapshot& snapshot, Ped player,
                const BartenderModelSet& bartenders) {
  const Saloon& saloon = saloonTable()[row];
  Brawlers brawlers;

  for (std::size_t i = 0; i < snapshot.count; ++i) {
    const Ped ped = snapshot.handles[i];
    if (!entityExists(ped)) continue;
    if (isPlayerPed(ped)) continue;
    if (!isHumanPed(ped)) continue;
    if (!settings.femaleBrawlers && !isMalePed(ped)) continue;
    if (!withinRecruitRadius(ped, saloon.triggerPoint)) continue;

    const Hash model = entityModel(ped);
    if (!brawlState.bartenderHandled[row] && model == saloon.bartenderModel) {
      sendBartenderFleeing(ped, player);
      brawlState.bartenderHandled[row] = true;
      continue;  // the bartender never brawls
    }
    // A second bartender of this saloon's model, and every other saloon's bartender.
    if (bartenders.contains(model)) continue;

    recruit(ped, brawlers);
  }

  setBrawlerRelationships(brawlers);
  pairFights(brawlers);
}

}  // namespace fraywick
