#include "frames.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "brawl/director.h"
#include "brawl/saloons.h"
#include "host/hook.h"
#include "plugin/script.h"
#include "sim/host.h"
#include "sim/world.h"

namespace fraywick::bench {
namespace {

// Saloon 0's trigger point, where the brawl frame's peds stand and its event fires.
constexpr sim::Vec3 kSaloonPoint{kSaloonSources[0].x, kSaloonSources[0].y, kSaloonSources[0].z};
constexpr std::uint32_t kTownsfolkModel = 0x1234ABCD;     // no saloon's bartender
constexpr std::uint32_t kFirstTriggerEvent = 0x2CA3408A;  // EVENT_SHOCKING_INTERESTING_MELEE_FIGHT

void enterNullGame(sim::World& world) {
  world.recording = false;
  world.effects = false;
  world.afterNative = nullptr;
}

// 256 peds that pass every filter, spread over a disc of 15 m around the point, and the player
// behind them, so the snapshot holds exactly the 256 candidates.
void addCrowd(sim::World& world, sim::Vec3 centre) {
  for (int i = 0; i < static_cast<int>(kSnapshotCapacity); ++i) {
    sim::Ped ped;
    ped.handle = 1000 + i;
    const float angle = 0.1f * static_cast<float>(i);
    const float radius = 15.0f * static_cast<float>(i % 16) / 16.0f;
    ped.position = {centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle),
                    centre.z};
    ped.model = kTownsfolkModel;
    world.peds.push_back(ped);
  }
}

void addPlayer(sim::World& world) {
  sim::Ped player;
  player.handle = 1;
  player.player = true;
  player.position = {0, 0, 0};
  world.peds.push_back(player);
}

}  // namespace

const char* frameName(Frame frame) {
  switch (frame) {
    case Frame::Idle:
      return "idle";
    case Frame::Scan:
      return "scan";
    case Frame::Brawl:
      return "brawl";
  }
  return "?";
}

std::size_t Trace::nativeCount() const {
  std::size_t count = 0;
  for (const TraceStep& step : steps) count += step.snapshot ? 0 : 1;
  return count;
}

void prepareWorld(Frame frame) {
  sim::resetWorld();
  sim::World& world = sim::world();
  enterNullGame(world);
  switch (frame) {
    case Frame::Idle:
      addPlayer(world);
      break;
    case Frame::Scan:
      // Far from every saloon: only the snapshot's size matters here.
      addCrowd(world, {0, 0, 0});
      addPlayer(world);
      break;
    case Frame::Brawl:
      addCrowd(world, kSaloonPoint);
      addPlayer(world);
      world.events.push_back({kFirstTriggerEvent, kSaloonPoint, 0, UINT64_MAX});
      break;
  }
  // The first pass fills the saloon table; it must not be the one that is timed.
  brawlState = BrawlState{};
  runScriptPass();
  prepareState(frame);
}

void prepareState(Frame frame) {
  switch (frame) {
    case Frame::Idle:
      // The last scan was just now: the gate closes.
      brawlState.lastScanTime = static_cast<std::uint32_t>(sim::world().clockMs);
      break;
    case Frame::Scan:
      brawlState.lastScanTime = 0;  // nothing has started, so nothing else to undo
      break;
    case Frame::Brawl:
      brawlState = BrawlState{};
      break;
  }
}

Trace recordFrame(Frame frame) {
  sim::World& world = sim::world();
  prepareState(frame);
  world.calls.clear();
  world.recording = true;
  runScriptPass();
  world.recording = false;

  Trace trace;
  for (const sim::Call& call : world.calls) {
    TraceStep step;
    if (call.kind == sim::CallKind::WorldGetAllPeds) {
      step.snapshot = true;
      step.capacity = static_cast<int>(call.args.at(0));
    } else {
      step.hash = call.hash;
      step.firstSlot = static_cast<std::uint32_t>(trace.slots.size());
      step.slotCount = static_cast<std::uint32_t>(call.args.size());
      trace.slots.insert(trace.slots.end(), call.args.begin(), call.args.end());
    }
    trace.steps.push_back(step);
  }
  world.calls.clear();
  world.calls.shrink_to_fit();
  prepareState(frame);
  return trace;
}

void replay(const Trace& trace) {
  int handles[kSnapshotCapacity];
  const std::uint64_t* slot = trace.slots.data();
  for (const TraceStep& step : trace.steps) {
    if (step.snapshot) {
      benchmark::DoNotOptimize(worldGetAllPeds(handles, step.capacity));
      continue;
    }
    nativeInit(step.hash);
    for (std::uint32_t i = 0; i < step.slotCount; ++i) nativePush64(*slot++);
    benchmark::DoNotOptimize(nativeCall());
  }
}

std::string makeIniText(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 128);
  char line[128];
  for (int section = 0; text.size() < bytes; ++section) {
    std::snprintf(line, sizeof line, "\n; block %d\n[Section %d]\n", section, section);
    text += line;
    for (int key = 0; key < 24 && text.size() < bytes; ++key) {
      std::snprintf(line, sizeof line, "Key%02d = value %d of section %d\n", key, key, section);
      text += line;
    }
  }
  text.resize(bytes, '\n');
  return text;
}

}  // namespace fraywick::bench
