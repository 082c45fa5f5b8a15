#include "demo/atlas.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace fraywick::demo {
namespace {

// clang-format off
constexpr AtlasSaloon kSaloons[] = {
    {"Valentine",    "U_M_M_VALBARTENDER_01", 0,          {-309.5f,    808.69f,  121.3f}},
    {"Valentine2",   "U_M_O_VALBARTENDER_01", 0,          {-241.5f,    769.64f,  118.3f}},
    {"Rhodes",       "U_M_M_RHDBARTENDER_01", 0,          {1335.6f,   -1374.0f,   81.9f}},
    {"Annesburg",    nullptr,                 0xB807927B, {2957.56f,   1350.25f,  47.13f}},
    {"VanHorn",      "U_F_M_VHTBARTENDER_01", 0,          {2946.0f,    523.33f,   45.34f}},
    {"SaintDenis",   "U_M_M_NBXBARTENDER_01", 0,          {2633.99f,  -1227.03f,  53.38f}},
    {"SaintDenis2",  "U_M_M_NBXBARTENDER_02", 0,          {2795.99f,  -1168.52f,  47.93f}},
    {"Blackwater",   "U_M_O_BLWBARTENDER_01", 0,          {-815.43f,  -1317.43f,  43.69f}},
    {"Armadillo",    "U_M_O_ARMBARTENDER_01", 0,          {-3702.72f, -2595.68f, -13.32f}},
    {"Tumbleweed",   "U_M_M_TUMBARTENDER_01", 0,          {-5512.86f, -2912.41f,  -1.75f}},
    {"Strawberry",   nullptr,                 0x627F30B5, {-1776.79f,  -370.35f,  156.96f}},
    {"EmeraldRanch", nullptr,                 0x904CC489, {1448.67f,   373.01f,   89.89f}},
    {"Morningstar",  nullptr,                 0xC05D40F3, {-675.08f,  -1273.12f,  41.91f}},
};
// clang-format on

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
  return kSaloons;
}

std::optional<std::size_t> saloonAt(sim::Vec3 point) {
  for (std::size_t row = 0; row < std::size(kSaloons); ++row) {
    const sim::Vec3& at = kSaloons[row].point;
    if (at.x == point.x && at.y == point.y && at.z == point.z) return row;
  }
  return std::nullopt;
}

std::optional<std::size_t> saloonNamed(std::string_view name) {
  for (std::size_t row = 0; row < std::size(kSaloons); ++row) {
    if (sameLetters(kSaloons[row].name, name)) return row;
  }
  return std::nullopt;
}

std::size_t nearestSaloon(sim::Vec3 point) {
  std::size_t best = 0;
  for (std::size_t row = 1; row < std::size(kSaloons); ++row) {
    if (worldDistance(point, kSaloons[row].point) < worldDistance(point, kSaloons[best].point)) {
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
  for (const AtlasSaloon& saloon : kSaloons) {
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
  for (const AtlasSaloon& saloon : kSaloons) {
    if (saloon.bartenderModel() != model) continue;
    if (!names.empty()) names += " and ";
    names += saloon.name;
  }
  return names;
}

}  // namespace fraywick::demo
