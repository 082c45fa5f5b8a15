// What a run shows: where and when a brawl was triggered, what became of every ped, and what
// each kind of frame cost. Everything is read back from the calls the plug-in made and from what
// the natives did to the peds, never from a second copy of the plug-in's rules. A simulated run
// and a recorded session (runOfRecording) go through the same analysis.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "demo/run.h"

namespace fraywick::demo {

struct Detection {
  int frame = 0;
  std::uint64_t sinceStartMs = 0;
  std::size_t row = 0;  // the saloon, by its row in the plug-in's table
  std::uint32_t eventType = 0;
  float radius = 0;          // of the sphere the event was found in, as the plug-in asked it
  std::size_t brawlers = 0;  // peds the brawl recruited
  bool bartenderFled = false;
};

// What the calls show of one saloon's chances: how many scans tested it for a trigger event, and
// how many scans after its brawl left it out.
struct SaloonWatch {
  int scans = 0;
  int scansAfterBrawl = 0;
};

// Why a brawl did or did not start, as the calls show it: the guard, the scans, the player, the
// tests of each saloon. Counted from the calls alone, like everything here.
struct Watch {
  int frames = 0;
  std::string guardName;  // the game's script that the guard query asked about, as it asked
  int guardedFrames = 0;  // the guard answered "loaded" and the director made no call
  int firstGuarded = 0, lastGuarded = 0;
  int guardSpans = 0;                // runs of consecutive guarded frames
  int scans = 0;                     // frames in which the director asked for the player ped
  int scansWithoutPlayer = 0;        // of them, those that went no further: no ped list, no test
  std::optional<float> eventRadius;  // of the event tests, as the plug-in asked them
  std::vector<SaloonWatch> saloons;  // by row
};

enum class Fate {
  Brawler,         // disarmed, flagged, grouped, and (usually) sent to fight
  FledBartender,   // the saloon's bartender, sent fleeing from the player
  Player,          // skipped: the player
  NotHuman,        // skipped: an animal
  Female,          // skipped: female while FemaleBrawlers is off
  TooFar,          // skipped: beyond the 20 m recruitment radius
  OtherBartender,  // skipped: a bartender model (of another saloon, or a second one here)
  Gone,            // listed by the game, but no longer existing when sorted
  Absent,          // not in the world when its saloon brawled
  NoBrawl,         // its saloon never brawled
};

struct PedFate {
  std::size_t ped = 0;     // index into the scenario's peds
  std::size_t saloon = 0;  // the saloon it stands at: the nearest
  Fate fate = Fate::NoBrawl;
  float distance = 0;          // to that saloon's trigger point
  bool distanceAsked = false;  // the plug-in asked the game for this distance itself
  bool positionKnown = true;   // false: a recorded ped whose position was not asked, or not finite
  bool positionNotFinite = false;           // the game answered a position that is no number
  std::optional<std::int32_t> fightTarget;  // from the ped's effects
  std::optional<std::uint32_t> group;
  std::optional<std::int32_t> fleeingFrom;
  std::string why;  // one line for the report
};

struct FrameCost {
  std::string kind;  // "first pass", "idle", "scan", "brawl", "guarded"
  std::string note;  // what this kind of frame does
  int frames = 0;
  std::size_t minNatives = 0;
  std::size_t maxNatives = 0;
  std::size_t minHookCalls = 0;  // besides the natives: scriptWait, worldGetAllPeds
  std::size_t maxHookCalls = 0;
};

struct Analysis {
  std::vector<Detection> detections;
  std::vector<PedFate> fates;  // in the scenario's ped order
  std::vector<FrameCost> costs;
  // Native calls of the first brawl frame, by native, in order of first appearance.
  std::vector<std::pair<std::string, std::size_t>> brawlFrameNatives;
  bool femaleBrawlersSeen = false;  // a brawl sorted peds without asking their sex
  Watch watch;
};

Analysis analyse(const Run& run);

const char* fateLabel(Fate fate);  // "brawler", "flees", "skipped: female", ...

}  // namespace fraywick::demo
