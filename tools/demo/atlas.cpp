#include "demo/atlas.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "brawl/saloons.h"

namespace fraywick::demo {
namespace {

// The plug-in's own saloons, read from its rows: a hit the plug-in reports always lands on a row
// here, and no copy can drift from what it watches.
const std::array<AtlasSaloon, kSaloonCount>& atlas() {
  static const std::array<AtlasSaloon, kSaloonCount> saloons = [] {
    std::array<AtlasSaloon, kSaloonCount> rows{};
    for (std::size_t row = 0; row < kSaloonCount; ++row) {
      const SaloonSource& source = kSaloonSources[row];
      rows[row] = {
          source.name, source.bartenderName, source.bartenderHash, {source.x, source.y, source.z}};
    }
    return rows;
  }();
  return saloons;
}

bool sameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::uint32_t AtlasSaloon::bartenderModel() const {
  return bartenderName != nullptr ? sim::hashOfName(bartenderName) : bartenderLiteral;
}

std::span<const AtlasSaloon> atlasSaloons() {
  return atlas();
}

std::optional<std::size_t> saloonAt(sim::Vec3 point) {
  const auto& saloons = atlas();
  for (std::size_t row = 0; row < saloons.size(); ++row) {
    const sim::Vec3& at = saloons[row].point;
    if (at.x == point.x && at.y == point.y && at.z == point.z) return row;
  }
  return std::nullopt;
}

std::optional<std::size_t> saloonNamed(std::string_view name) {
  const auto& saloons = atlas();
  for (std::size_t row = 0; row < saloons.size(); ++row) {
    if (sameLetters(saloons[row].name, name)) return row;
  }
  return std::nullopt;
}

std::size_t nearestSaloon(sim::Vec3 point) {
  const auto& saloons = atlas();
  std::size_t best = 0;
  for (std::size_t row = 1; row < saloons.size(); ++row) {
    if (worldDistance(point, saloons[row].point) < worldDistance(point, saloons[best].point)) {
      best = row;
    }
  }
  return best;
}

float worldDistance(sim::Vec3 a, sim::Vec3 b) {
  const float dx = a.x - b.x;
  const float dy = a.y - b.y;
  const float dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

ModelNames::ModelNames() {
  for (const AtlasSaloon& saloon : atlas()) {
    if (saloon.bartenderName != nullptr) add(saloon.bartenderName);
  }
}

void ModelNames::add(std::string_view name) {
  const std::string text(name);
  const std::uint32_t hash = sim::hashOfName(text.c_str());
  for (const Entry& entry : entries_) {
    if (entry.hash == hash) return;
  }
  entries_.push_back({hash, text});
}

std::string ModelNames::nameOf(std::uint32_t model) const {
  for (const Entry& entry : entries_) {
    if (entry.hash == model) return entry.name;
  }
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(model));
  return text;
}

std::string bartenderOf(std::uint32_t model) {
  std::string names;
  for (const AtlasSaloon& saloon : atlas()) {
    if (saloon.bartenderModel() != model) continue;
    if (!names.empty()) names += " and ";
    names += saloon.name;
  }
  return names;
}

}  // namespace fraywick::demo
