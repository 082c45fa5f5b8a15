// What the demo knows about the game world for its reports and maps: the saloons the plug-in
// watches (by label, bartender and trigger point) and the names behind the model hashes it
// meets. The saloons are the plug-in's own rows (brawl/saloons.h); the atlas only puts names and
// points on what the natives show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/world.h"

namespace fraywick::demo {

struct AtlasSaloon {
  const char* name;
  const char* bartenderName;  // nullptr: the game knows the model only by its hash
  std::uint32_t bartenderLiteral;
  sim::Vec3 point;

  std::uint32_t bartenderModel() const;
};

std::span<const AtlasSaloon> atlasSaloons();

// The row whose trigger point has exactly these coordinates, as isEventInSphere was asked.
std::optional<std::size_t> saloonAt(sim::Vec3 point);

// The saloon by its label, letter case ignored ("valentine" finds "Valentine").
std::optional<std::size_t> saloonNamed(std::string_view name);

// The saloon whose trigger point is nearest.
std::size_t nearestSaloon(sim::Vec3 point);

// Distance as the simulated game measures it (32-bit floats, vertical axis included).
float worldDistance(sim::Vec3 a, sim::Vec3 b);

// A readable name for a model hash: a bartender model of the table, or a name that the scenario
// used; otherwise the hash in hex.
class ModelNames {
 public:
  ModelNames();
  void add(std::string_view name);
  std::string nameOf(std::uint32_t model) const;

 private:
  struct Entry {
    std::uint32_t hash;
    std::string name;
  };
  std::vector<Entry> entries_;
};

// The saloons whose bartender has this model (rows 1 and 11 share one), joined with " and ".
std::string bartenderOf(std::uint32_t model);

}  // namespace fraywick::demo
