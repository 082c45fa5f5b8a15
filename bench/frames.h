// The frames the benchmarks time, set up against the simulated hook in its null-game mode, and
// their native-call floor: the same hook calls with the same slots, replayed from a trace.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fraywick::bench {

enum class Frame {
  Idle,   // the director ends at the one-second gate
  Scan,   // 13 saloons x 5 event tests and a full 256-ped snapshot, no hit
  Brawl,  // a hit at one saloon with 256 eligible peds around it
};

const char* frameName(Frame frame);

// A fresh simulated world for the frame, in null-game mode: nothing recorded, no side effects,
// no callback. The saloon table is filled by a first pass, so a timed pass is a steady one.
void prepareWorld(Frame frame);

// Puts the director's memory where the frame starts from; cheap enough to sit in a timed loop.
void prepareState(Frame frame);

// One hook call of a frame, as the plug-in made it.
struct TraceStep {
  bool snapshot = false;  // worldGetAllPeds rather than a native
  std::uint64_t hash = 0;
  std::uint32_t firstSlot = 0;
  std::uint32_t slotCount = 0;
  int capacity = 0;
};

struct Trace {
  std::vector<TraceStep> steps;
  std::vector<std::uint64_t> slots;
  std::size_t nativeCount() const;
};

// Runs one frame of the plug-in with the recorder on and keeps what it called. Leaves the world
// in null-game mode again and the director's memory as prepareState left it.
Trace recordFrame(Frame frame);

// Makes exactly the trace's calls, with nothing in between but walking the trace.
void replay(const Trace& trace);

// A settings file of the given size, sections of keys with values and a few comments.
std::string makeIniText(std::size_t bytes);

}  // namespace fraywick::bench
