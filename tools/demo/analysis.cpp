#include "demo/analysis.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>

#include "demo/atlas.h"
#include "host/natives.h"

namespace fraywick::demo {
namespace {

std::uint32_t low(std::uint64_t slot) {
  return static_cast<std::uint32_t>(slot);
}
float lowFloat(std::uint64_t slot) {
  return std::bit_cast<float>(low(slot));
}
std::int32_t lowHandle(std::uint64_t slot) {
  return static_cast<std::int32_t>(low(slot));
}
std::uint32_t result(const sim::Call& call) {
  return call.results.empty() ? 0 : low(call.results[0]);
}

// The last thing the plug-in asked or did about one ped while sorting it for one brawl.
enum class Step {
  None,
  Exists,
  IsPlayer,
  IsHuman,
  IsMale,
  Position,
  Distance,
  Model,
  Flee,
  Recruit,
};

struct Verdict {
  Step last = Step::None;
  bool fled = false;
  bool recruited = false;
  float distance = 0;
  bool distanceAsked = false;
  std::uint32_t model = 0;
  std::uint32_t answer = 0;  // the answer to the last query
};

// One brawl: the saloon, and what its sorting did to each ped it looked at.
struct Brawl {
  std::size_t row = 0;
  std::map<std::int32_t, Verdict> verdicts;
};

// Follows the calls of one startBrawl, from just after the hit to the next saloon's test.
void readBrawl(const Run& run, std::size_t first, std::size_t end, Brawl& brawl, bool& askedNoSex) {
  std::int32_t current = 0;
  bool sexAsked = false;
  for (std::size_t i = first; i < end; ++i) {
    const sim::Call& call = run.calls[i];
    if (call.kind != sim::CallKind::Native) continue;
    const auto about = [&]() -> Verdict& {
      current = lowHandle(call.args.at(0));
      return brawl.verdicts[current];
    };
    switch (call.hash) {
      case entityExists.hash: {
        Verdict& v = about();
        v.last = Step::Exists;
        v.answer = result(call);
        sexAsked = false;
        break;
      }
      case isPlayerPed.hash:
      case isHumanPed.hash:
      case isMalePed.hash: {
        Verdict& v = about();
        v.last = call.hash == isPlayerPed.hash  ? Step::IsPlayer
                 : call.hash == isHumanPed.hash ? Step::IsHuman
                                                : Step::IsMale;
        v.answer = result(call);
        if (call.hash == isMalePed.hash) sexAsked = true;
        break;
      }
      case entityPosition.hash:
        about().last = Step::Position;
        if (!sexAsked) askedNoSex = true;
        break;
      case distanceBetweenPoints.hash: {
        // Not about a handle: it measures the position asked for just before.
        Verdict& v = brawl.verdicts[current];
        v.last = Step::Distance;
        v.distance = lowFloat(call.results.at(0));
        v.distanceAsked = true;
        break;
      }
      case entityModel.hash: {
        Verdict& v = about();
        v.last = Step::Model;
        v.model = result(call);
        break;
      }
      case fleeFromPed.hash: {
        Verdict& v = about();
        v.last = Step::Flee;
        v.fled = true;
        break;
      }
      case removeAllWeapons.hash: {
        Verdict& v = about();
        v.last = Step::Recruit;
        v.recruited = true;
        break;
      }
      default:
        break;
    }
  }
}

std::string metres(float distance) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f m", static_cast<double>(distance));
  return text;
}

std::string seconds(std::uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ms) / 1000.0);
  return text;
}

const sim::Ped* effectsOf(const Run& run, std::int32_t handle) {
  for (const sim::Ped& ped : run.peds) {
    if (ped.handle == handle) return &ped;
  }
  return nullptr;
}

std::string nameOf(const Run& run, std::int32_t handle) {
  for (const ScenarioPed& ped : run.scenario.peds) {
    if (ped.ped.handle == handle) return ped.ped.label;
  }
  return "ped " + std::to_string(handle);
}

void judge(const Run& run, const Brawl* brawl, PedFate& fate) {
  const ScenarioPed& ped = run.scenario.peds[fate.ped];
  const std::string saloon = atlasSaloons()[fate.saloon].name;
  if (brawl == nullptr) {
    fate.fate = Fate::NoBrawl;
    fate.why = "untouched: no trigger event at " + saloon;
    return;
  }
  const auto found = brawl->verdicts.find(ped.ped.handle);
  if (found == brawl->verdicts.end()) {
    fate.fate = Fate::Absent;
    fate.why = "untouched: not in the world when " + saloon + " brawled";
    return;
  }
  const Verdict& v = found->second;
  if (v.distanceAsked) {
    fate.distance = v.distance;
    fate.distanceAsked = true;
  }
  if (v.fled) {
    fate.fate = Fate::FledBartender;
    fate.why = "bartender, flees";
    if (fate.fleeingFrom) fate.why += " from " + nameOf(run, *fate.fleeingFrom);
    return;
  }
  if (v.recruited) {
    fate.fate = Fate::Brawler;
    fate.why = fate.fightTarget ? "brawler, fights " + nameOf(run, *fate.fightTarget)
                                : "brawler, but no opponent: all 5 draws picked itself";
    return;
  }
  switch (v.last) {
    case Step::Exists:
      fate.fate = Fate::Gone;
      fate.why = "left out: gone before it was sorted";
      return;
    case Step::IsPlayer:
      fate.fate = Fate::Player;
      fate.why = "left out: the player";
      return;
    case Step::IsHuman:
      fate.fate = Fate::NotHuman;
      fate.why = "left out: not human";
      return;
    case Step::IsMale:
      fate.fate = Fate::Female;
      fate.why = "left out: female, and FemaleBrawlers is off";
      return;
    case Step::Distance:
      fate.fate = Fate::TooFar;
      fate.why = std::isfinite(v.distance)
                     ? "left out: too far, " + metres(v.distance) + " from the trigger point"
                     : std::string("left out: too far, by a distance that is no finite number");
      return;
    case Step::Model: {
      fate.fate = Fate::OtherBartender;
      const std::string of = bartenderOf(v.model);
      if (v.model == atlasSaloons()[fate.saloon].bartenderModel()) {
        fate.why = "left out: a second bartender of " + saloon + ", only one flees";
      } else {
        fate.why = "left out: bartender of " + (of.empty() ? std::string("another saloon") : of);
      }
      return;
    }
    default:
      fate.fate = Fate::Gone;
      fate.why = "left out after sorting";
      return;
  }
}

struct Tally {
  int frames = 0;
  std::size_t minNatives = SIZE_MAX, maxNatives = 0, minHook = SIZE_MAX, maxHook = 0;
  void add(std::size_t natives, std::size_t hook) {
    ++frames;
    minNatives = std::min(minNatives, natives);
    maxNatives = std::max(maxNatives, natives);
    minHook = std::min(minHook, hook);
    maxHook = std::max(maxHook, hook);
  }
};

}  // namespace

const char* fateLabel(Fate fate) {
  switch (fate) {
    case Fate::Brawler:
      return "brawler";
    case Fate::FledBartender:
      return "bartender, flees";
    case Fate::Player:
      return "skipped: the player";
    case Fate::NotHuman:
      return "skipped: not human";
    case Fate::Female:
      return "skipped: female";
    case Fate::TooFar:
      return "skipped: too far";
    case Fate::OtherBartender:
      return "skipped: a bartender";
    case Fate::Gone:
      return "skipped: gone";
    case Fate::Absent:
      return "not there";
    case Fate::NoBrawl:
      return "no brawl";
  }
  return "?";
}

Analysis analyse(const Run& run) {
  Analysis analysis;
  std::vector<Brawl> brawls;
  Tally first, idle, scan, brawlTally, guarded;
  bool directorSeen = false;
  Watch& watch = analysis.watch;
  watch.frames = static_cast<int>(run.frames.size());
  watch.saloons.resize(atlasSaloons().size());
  std::vector<bool> brawled(atlasSaloons().size());

  for (const Frame& frame : run.frames) {
    std::size_t natives = 0;
    std::size_t hook = 0;
    bool guardHeld = false;
    bool director = false;
    bool scanned = false;
    bool listed = false;  // the scan took the ped list: it found the player
    std::vector<bool> tested(atlasSaloons().size());
    bool hit = false;
    std::size_t brawlStart = 0;
    std::size_t brawlRow = 0;
    const auto closeBrawl = [&](std::size_t end) {
      if (!hit) return;
      Brawl brawl;
      brawl.row = brawlRow;
      readBrawl(run, brawlStart, end, brawl, analysis.femaleBrawlersSeen);
      brawls.push_back(std::move(brawl));
      hit = false;
    };
    const std::size_t brawlsBefore = brawls.size();

    for (std::size_t i = frame.firstCall; i < frame.endCall; ++i) {
      const sim::Call& call = run.calls[i];
      if (call.kind != sim::CallKind::Native) {
        ++hook;
        listed = listed || call.kind == sim::CallKind::WorldGetAllPeds;
        continue;
      }
      ++natives;
      if (call.hash == queryByName.hash) {
        guardHeld = result(call) != 0;
        if (const auto text = run.texts.find(i);
            watch.guardName.empty() && text != run.texts.end()) {
          watch.guardName = text->second;
        }
        continue;
      }
      director = true;
      if (call.hash == playerPed.hash) scanned = true;
      if (call.hash == isEventInSphere.hash) {
        closeBrawl(i);
        const sim::Vec3 at{lowFloat(call.args.at(1)), lowFloat(call.args.at(2)),
                           lowFloat(call.args.at(3))};
        const float radius = lowFloat(call.args.at(4));
        if (!watch.eventRadius) watch.eventRadius = radius;
        const auto row = saloonAt(at);
        if (!row) continue;  // a point of no saloon we know: nothing to name
        tested[*row] = true;
        if (result(call) == 0) continue;
        hit = true;
        brawlStart = i + 1;
        brawlRow = *row;
        analysis.detections.push_back({frame.number, frame.clockMs - run.scenario.clockStartMs,
                                       *row, low(call.args.at(0)), radius});
      }
    }
    closeBrawl(frame.endCall);

    if (guardHeld && !director) {
      if (watch.guardedFrames == 0 || watch.lastGuarded != frame.number - 1) ++watch.guardSpans;
      if (watch.guardedFrames == 0) watch.firstGuarded = frame.number;
      watch.lastGuarded = frame.number;
      ++watch.guardedFrames;
    }
    if (scanned) {
      ++watch.scans;
      if (!listed) ++watch.scansWithoutPlayer;
    }
    for (std::size_t row = 0; row < tested.size(); ++row) {
      if (tested[row]) ++watch.saloons[row].scans;
      if (listed && brawled[row] && !tested[row]) ++watch.saloons[row].scansAfterBrawl;
    }
    for (std::size_t b = brawlsBefore; b < brawls.size(); ++b) brawled[brawls[b].row] = true;

    if (guardHeld && !director) {
      guarded.add(natives, hook);
    } else if (brawls.size() > brawlsBefore) {
      brawlTally.add(natives, hook);
      if (analysis.brawlFrameNatives.empty()) {
        for (std::size_t i = frame.firstCall; i < frame.endCall; ++i) {
          const sim::Call& call = run.calls[i];
          if (call.kind != sim::CallKind::Native) continue;
          const NativeInfo* native = nativeInfo(call.hash);
          const std::string key = native != nullptr ? native->name : "unknown";
          auto entry =
              std::find_if(analysis.brawlFrameNatives.begin(), analysis.brawlFrameNatives.end(),
                           [&](const auto& e) { return e.first == key; });
          if (entry == analysis.brawlFrameNatives.end()) {
            analysis.brawlFrameNatives.emplace_back(key, 1);
          } else {
            ++entry->second;
          }
        }
      }
    } else if (director && !directorSeen) {
      first.add(natives, hook);
    } else if (scanned) {
      scan.add(natives, hook);
    } else if (director) {
      idle.add(natives, hook);
    }
    directorSeen = directorSeen || director;
  }

  // Each hit opened the brawl that follows it: one brawl per detection, in the same order.
  for (std::size_t d = 0; d < analysis.detections.size() && d < brawls.size(); ++d) {
    for (const auto& [handle, verdict] : brawls[d].verdicts) {
      analysis.detections[d].brawlers += verdict.recruited;
      analysis.detections[d].bartenderFled = analysis.detections[d].bartenderFled || verdict.fled;
    }
  }

  const auto cost = [&](const char* kind, const char* note, const Tally& t) {
    if (t.frames == 0) return;
    analysis.costs.push_back(
        {kind, note, t.frames, t.minNatives, t.maxNatives, t.minHook, t.maxHook});
  };
  cost("first pass", "fills the saloon table, then scans", first);
  cost("idle", "guard query and bartender models; the scan waits its second", idle);
  cost("scan", "player, ped list, 5 event tests for each saloon still waiting", scan);
  cost("brawl", "a scan with a hit: sorting, recruiting, relationships and fights", brawlTally);
  cost("guarded", "the guard query answered non-zero: the director stays out", guarded);

  for (std::size_t i = 0; i < run.scenario.peds.size(); ++i) {
    const ScenarioPed& ped = run.scenario.peds[i];
    PedFate fate;
    fate.ped = i;
    const sim::Vec3& at = ped.ped.position;
    const bool finite = std::isfinite(at.x) && std::isfinite(at.y) && std::isfinite(at.z);
    if (ped.positionAsked && finite) {
      fate.saloon = nearestSaloon(ped.ped.position);
      fate.distance = worldDistance(ped.ped.position, atlasSaloons()[fate.saloon].point);
    } else {
      // A recorded ped whose position the plug-in never asked, or that the game answered with
      // no number, stands where it was sorted.
      fate.positionKnown = false;
      fate.positionNotFinite = ped.positionAsked;
      for (const Brawl& brawl : brawls) {
        if (brawl.verdicts.contains(ped.ped.handle)) {
          fate.saloon = brawl.row;
          break;
        }
      }
    }
    if (const sim::Ped* after = effectsOf(run, ped.ped.handle)) {
      fate.fightTarget = after->effects.fightTarget;
      fate.group = after->effects.relationshipGroup;
      fate.fleeingFrom = after->effects.fleeingFrom;
    }
    // A ped that brawled or fled anywhere is judged by that brawl; otherwise by its own saloon's.
    const Brawl* judgedBy = nullptr;
    for (const Brawl& brawl : brawls) {
      const auto v = brawl.verdicts.find(ped.ped.handle);
      if (v != brawl.verdicts.end() && (v->second.fled || v->second.recruited)) {
        judgedBy = &brawl;
        fate.saloon = brawl.row;
        if (fate.positionKnown) {
          fate.distance = worldDistance(ped.ped.position, atlasSaloons()[brawl.row].point);
        }
      }
    }
    if (judgedBy == nullptr) {
      for (const Brawl& brawl : brawls) {
        if (brawl.row == fate.saloon) judgedBy = &brawl;
      }
    }
    judge(run, judgedBy, fate);
    if (fate.fate == Fate::Absent && (ped.appearsAt || ped.vanishesAt)) {
      fate.why += " (in it";
      if (ped.appearsAt) fate.why += " from " + seconds(*ped.appearsAt);
      if (ped.vanishesAt) fate.why += " until " + seconds(*ped.vanishesAt);
      fate.why += ")";
    }
    analysis.fates.push_back(fate);
  }
  return analysis;
}

}  // namespace fraywick::demo
