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
// what those show of a saloon is what the plug-in watches. Each coordinate is the shortest
// decimal that rounds to the intended float.
// clang-format off
inline constexpr std::array<SaloonSource, kSaloonCount> kSaloonSources = {{
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
