#include "demo/svg_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "demo/atlas.h"
#include "demo/markup.h"

namespace fraywick::demo {
namespace {

constexpr double kScale = 17.0;     // pixels per metre
constexpr double kHalfView = 24.0;  // metres from the trigger point to a panel's edge
constexpr double kPanel = 2 * kHalfView * kScale;
constexpr double kMargin = 24.0;
constexpr double kTitleHeight = 78.0;
constexpr double kLegendWidth = 290.0;
constexpr double kMarker = 7.0;

struct Style {
  Fate fate;
  const char* colour;
  const char* legend;
};

// clang-format off
constexpr Style kStyles[] = {
    {Fate::Brawler,        "#c0392b", "brawler"},
    {Fate::FledBartender,  "#e6a100", "bartender, flees from the player"},
    {Fate::Player,         "#1f5fa8", "the player (never recruited)"},
    {Fate::Female,         "#8e44ad", "left out: female"},
    {Fate::TooFar,         "#6f7c80", "left out: beyond 20 m"},
    {Fate::OtherBartender, "#8d6e63", "left out: a bartender"},
    {Fate::NotHuman,       "#2e8b57", "left out: not human"},
    {Fate::Gone,           "#b0b0b0", "left out: gone"},
    {Fate::Absent,         "#b0b0b0", "not in the world at the brawl"},
    {Fate::NoBrawl,        "#b0b0b0", "no brawl at its saloon"},
};
// clang-format on

const Style& styleOf(Fate fate) {
  for (const Style& style : kStyles) {
    if (style.fate == fate) return style;
  }
  return kStyles[0];
}

std::string num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

struct Point {
  double x = 0;
  double y = 0;
};

// One saloon's square of the map.
struct Panel {
  std::size_t row = 0;
  Point origin;  // top-left corner in the picture
  sim::Vec3 centre;

  Point toPicture(sim::Vec3 at) const {
    return {origin.x + kPanel / 2 + (at.x - centre.x) * kScale,
            origin.y + kPanel / 2 - (at.y - centre.y) * kScale};
  }
  bool inView(sim::Vec3 at) const {
    return std::abs(at.x - centre.x) <= kHalfView - 1 && std::abs(at.y - centre.y) <= kHalfView - 1;
  }
  // A ped beyond the edge is pinned to it, in its direction.
  Point pinned(sim::Vec3 at) const {
    const double dx = at.x - centre.x, dy = at.y - centre.y;
    const double reach = std::max(std::abs(dx), std::abs(dy));
    const double k = (kHalfView - 1.2) / reach;
    return toPicture(
        {static_cast<float>(centre.x + dx * k), static_cast<float>(centre.y + dy * k), at.z});
  }
};

std::string marker(Point p, const PedFate& fate, bool human, bool pinned) {
  const Style& style = styleOf(fate.fate);
  const std::string fill =
      pinned || fate.fate == Fate::Absent || fate.fate == Fate::Gone || fate.fate == Fate::NoBrawl
          ? "#f7f1e3"
          : style.colour;
  const std::string stroke =
      std::string(" fill=\"") + fill + "\" stroke=\"" + style.colour + "\" stroke-width=\"2\"";
  if (fate.fate == Fate::Player) {
    const double r = kMarker + 2;
    return "<path d=\"M" + num(p.x) + " " + num(p.y - r) + " L" + num(p.x + r) + " " + num(p.y) +
           " L" + num(p.x) + " " + num(p.y + r) + " L" + num(p.x - r) + " " + num(p.y) + " Z\"" +
           stroke + "/>";
  }
  if (!human) {
    const double r = kMarker + 1;
    return "<path d=\"M" + num(p.x) + " " + num(p.y - r) + " L" + num(p.x + r) + " " +
           num(p.y + r * 0.8) + " L" + num(p.x - r) + " " + num(p.y + r * 0.8) + " Z\"" + stroke +
           "/>";
  }
  const double r = fate.fate == Fate::FledBartender ? kMarker + 1.5 : kMarker;
  return "<circle cx=\"" + num(p.x) + "\" cy=\"" + num(p.y) + "\" r=\"" + num(r) + "\"" + stroke +
         "/>";
}

// An arrow between two markers, bent a little to its right so that two brawlers who were sent
// at each other get two arrows side by side instead of one line.
std::string fightArrow(Point from, Point to) {
  const double dx = to.x - from.x, dy = to.y - from.y;
  const double length = std::hypot(dx, dy);
  if (length < 2 * kMarker + 4) return {};
  const double ux = dx / length, uy = dy / length;
  const Point a{from.x + ux * (kMarker + 2), from.y + uy * (kMarker + 2)};
  const Point b{to.x - ux * (kMarker + 5), to.y - uy * (kMarker + 5)};
  const double bend = std::min(18.0, length * 0.15);
  const Point c{(a.x + b.x) / 2 - uy * bend, (a.y + b.y) / 2 + ux * bend};
  return "<path d=\"M" + num(a.x) + " " + num(a.y) + " Q" + num(c.x) + " " + num(c.y) + " " +
         num(b.x) + " " + num(b.y) +
         "\" fill=\"none\" stroke=\"#8b1a1a\" stroke-width=\"1.6\" stroke-opacity=\"0.75\" "
         "marker-end=\"url(#fight)\"/>";
}

// A trigger event: a five-pointed star.
std::string starPath(Point at) {
  std::string d;
  for (int i = 0; i < 10; ++i) {
    const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
    const double r = i % 2 == 0 ? 10 : 4;
    d += (i == 0 ? "M" : " L") + num(at.x + r * std::cos(angle)) + " " +
         num(at.y + r * std::sin(angle));
  }
  return "<path d=\"" + d + " Z\" fill=\"#f1c40f\" stroke=\"#d35400\" stroke-width=\"1.5\"/>";
}

void writeDefs(std::ostream& out) {
  out << R"(<defs>
  <marker id="fight" viewBox="0 0 10 10" refX="8" refY="5" markerWidth="11" markerHeight="11" markerUnits="userSpaceOnUse" orient="auto-start-reverse">
    <path d="M0 0 L10 5 L0 10 Z" fill="#8b1a1a"/>
  </marker>
  <marker id="flee" viewBox="0 0 10 10" refX="8" refY="5" markerWidth="16" markerHeight="16" markerUnits="userSpaceOnUse" orient="auto-start-reverse">
    <path d="M0 0 L10 5 L0 10 Z" fill="#b07d00"/>
  </marker>
  <pattern id="boards" width="24" height="60" patternUnits="userSpaceOnUse">
    <rect width="24" height="60" fill="#f3ead5"/>
    <path d="M0 0 V60 M24 0 V60" stroke="#e7dcc1" stroke-width="1"/>
    <path d="M0 30 H24" stroke="#ece2ca" stroke-width="1"/>
  </pattern>
</defs>
)";
}

void writePanel(const Run& run, const Analysis& analysis, const Panel& panel, std::ostream& out) {
  const AtlasSaloon& saloon = atlasSaloons()[panel.row];
  const Point o = panel.origin;
  const Point c = panel.toPicture(panel.centre);
  out << "<g>\n";
  out << "<rect x=\"" << num(o.x) << "\" y=\"" << num(o.y) << "\" width=\"" << num(kPanel)
      << "\" height=\"" << num(kPanel)
      << "\" fill=\"url(#boards)\" stroke=\"#6b4f2a\" stroke-width=\"2\" rx=\"6\"/>\n";
  // A 5 m grid, so distances can be read off the map.
  for (int m = -20; m <= 20; m += 5) {
    const double x = c.x + m * kScale, y = c.y - m * kScale;
    out << "<path d=\"M" << num(x) << " " << num(o.y + 2) << " V" << num(o.y + kPanel - 2) << " M"
        << num(o.x + 2) << " " << num(y) << " H" << num(o.x + kPanel - 2)
        << "\" stroke=\"#d9cba8\" stroke-width=\"0.8\" stroke-dasharray=\"2 4\"/>\n";
  }
  out << "<circle cx=\"" << num(c.x) << "\" cy=\"" << num(c.y) << "\" r=\"" << num(20 * kScale)
      << "\" fill=\"#c9a66b\" fill-opacity=\"0.12\" stroke=\"#8b5a2b\" stroke-width=\"2\" "
         "stroke-dasharray=\"10 6\"/>\n";
  out << "<circle cx=\"" << num(c.x) << "\" cy=\"" << num(c.y) << "\" r=\"" << num(8 * kScale)
      << "\" fill=\"#e67e22\" fill-opacity=\"0.10\" stroke=\"#d35400\" stroke-width=\"2\"/>\n";
  out << "<text x=\"" << num(c.x) << "\" y=\"" << num(c.y - 20 * kScale + 16)
      << "\" class=\"ring\" fill=\"#8b5a2b\">20 m: who joins</text>\n";
  out << "<text x=\"" << num(c.x) << "\" y=\"" << num(c.y + 8 * kScale + 15)
      << "\" class=\"ring\" fill=\"#d35400\">8 m: trigger events</text>\n";
  out << "<path d=\"M" << num(c.x - 9) << " " << num(c.y) << " H" << num(c.x + 9) << " M"
      << num(c.x) << " " << num(c.y - 9) << " V" << num(c.y + 9)
      << "\" stroke=\"#3b2a14\" stroke-width=\"2\"/>\n";
  out << "<text x=\"" << num(c.x + 6) << "\" y=\"" << num(c.y + 18)
      << "\" class=\"small\">trigger point</text>\n";

  // Events of the scenario that lie within the panel.
  for (const ScenarioEvent& event : run.scenario.events) {
    if (!panel.inView(event.position)) continue;
    out << starPath(panel.toPicture(event.position)) << "\n";
  }

  std::vector<Point> where(run.scenario.peds.size());
  std::vector<bool> shown(run.scenario.peds.size(), false);
  std::vector<bool> placed(run.scenario.peds.size(), false);  // on this panel or another
  for (const PedFate& fate : analysis.fates) {
    // A recorded ped whose position was never asked, or is no number, has no place on the map.
    placed[fate.ped] = fate.positionKnown;
    if (fate.saloon != panel.row || !fate.positionKnown) continue;
    const sim::Vec3 at = run.scenario.peds[fate.ped].ped.position;
    where[fate.ped] = panel.inView(at) ? panel.toPicture(at) : panel.pinned(at);
    shown[fate.ped] = true;
  }
  const auto indexOf = [&](std::int32_t handle) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < run.scenario.peds.size(); ++i) {
      if (run.scenario.peds[i].ped.handle == handle) return i;
    }
    return std::nullopt;
  };

  // Arrows first, so the markers sit on top of them.
  for (const PedFate& fate : analysis.fates) {
    if (fate.saloon != panel.row || !shown[fate.ped]) continue;
    if (fate.fate == Fate::Brawler && fate.fightTarget) {
      const auto target = indexOf(*fate.fightTarget);
      if (target && shown[*target]) out << fightArrow(where[fate.ped], where[*target]) << "\n";
    }
    if (fate.fate == Fate::FledBartender && fate.fleeingFrom) {
      const auto threat = indexOf(*fate.fleeingFrom);
      // Away from a player whose position is not known points nowhere.
      if (!threat || !placed[*threat]) continue;
      const sim::Vec3 me = run.scenario.peds[fate.ped].ped.position;
      const sim::Vec3 them = run.scenario.peds[*threat].ped.position;
      double dx = me.x - them.x, dy = me.y - them.y;
      const double length = std::hypot(dx, dy);
      if (length == 0) continue;
      dx /= length;
      dy /= length;
      const Point a = where[fate.ped];
      const Point from{a.x + dx * (kMarker + 4), a.y - dy * (kMarker + 4)};
      const Point to{a.x + dx * 7 * kScale, a.y - dy * 7 * kScale};
      out << "<path d=\"M" << num(from.x) << " " << num(from.y) << " L" << num(to.x) << " "
          << num(to.y)
          << "\" stroke=\"#b07d00\" stroke-width=\"3\" stroke-dasharray=\"7 4\" "
             "marker-end=\"url(#flee)\"/>\n";
      out << "<text x=\"" << num(to.x + 6) << "\" y=\"" << num(to.y + 4)
          << "\" class=\"small\" fill=\"#8a6200\">flees, away from the player</text>\n";
    }
  }

  for (const PedFate& fate : analysis.fates) {
    if (fate.saloon != panel.row || !shown[fate.ped]) continue;
    const ScenarioPed& ped = run.scenario.peds[fate.ped];
    const bool pinned = !panel.inView(ped.ped.position);
    const Point p = where[fate.ped];
    out << "<g><title>" << markupEscaped(ped.ped.label + ": " + fate.why) << "</title>"
        << marker(p, fate, ped.ped.human, pinned) << "</g>\n";
    std::string label = ped.ped.label;
    // A top-down map hides height, which the recruitment radius counts.
    const double rise = ped.ped.position.z - panel.centre.z;
    if (rise >= 2) label += ", " + num(rise) + " m up";
    if (rise <= -2) label += ", " + num(-rise) + " m down";
    // Near the edge of the radius, or off the map, the distance says more than the position.
    const bool nearTheEdge = fate.distance >= 19.5f && fate.distance <= 20.5f;
    if (std::isfinite(fate.distance) && (pinned || fate.fate == Fate::TooFar || nearTheEdge)) {
      char text[32];
      std::snprintf(text, sizeof text, ", %.4g m away", static_cast<double>(fate.distance));
      label += text;
    }
    // Labels go to the side of the marker that faces away from the picture's edge.
    const bool left = p.x > o.x + kPanel - 130;
    out << "<text x=\"" << num(p.x + (left ? -11 : 11)) << "\" y=\"" << num(p.y + 4)
        << "\" class=\"name\"" << (left ? " text-anchor=\"end\"" : "") << ">"
        << markupEscaped(label) << "</text>\n";
  }

  // Panel caption, compass and scale bar.
  std::string caption = std::string(saloon.name) + " (row " + std::to_string(panel.row) + ")";
  for (const Detection& d : analysis.detections) {
    if (d.row != panel.row) continue;
    char when[96];
    std::snprintf(when, sizeof when, ": brawl from frame %d, %.3f s in", d.frame,
                  static_cast<double>(d.sinceStartMs) / 1000.0);
    caption += when;
  }
  out << "<text x=\"" << num(o.x + 12) << "\" y=\"" << num(o.y + 24) << "\" class=\"caption\">"
      << markupEscaped(caption) << "</text>\n";
  std::string notes;
  for (const ScenarioEvent& event : run.scenario.events) {
    if (!panel.inView(event.position)) continue;
    char text[96];
    std::snprintf(text, sizeof text, "event 0x%08X active %.1f to %.1f s",
                  static_cast<unsigned>(event.type), static_cast<double>(event.from) / 1000.0,
                  static_cast<double>(event.until) / 1000.0);
    notes += (notes.empty() ? "" : "; ") + std::string(text);
  }
  for (const ScenarioGuard& guard : run.scenario.guards) {
    char text[96];
    std::snprintf(text, sizeof text, "plug-in held off %.1f to %.1f s",
                  static_cast<double>(guard.from) / 1000.0,
                  static_cast<double>(guard.until) / 1000.0);
    notes += (notes.empty() ? "" : "; ") + std::string(text);
  }
  std::size_t notAsked = 0, notFinite = 0;
  for (const PedFate& fate : analysis.fates) {
    if (fate.saloon != panel.row || fate.positionKnown) continue;
    ++(fate.positionNotFinite ? notFinite : notAsked);
  }
  for (const auto& [count, why] : {std::pair{notAsked, "position not asked"},
                                   std::pair{notFinite, "position not a finite number"}}) {
    if (count == 0) continue;
    notes += (notes.empty() ? "" : "; ") + std::to_string(count) + (count == 1 ? " ped" : " peds") +
             " not shown: " + why;
  }
  if (!notes.empty()) {
    out << "<text x=\"" << num(o.x + 12) << "\" y=\"" << num(o.y + 42) << "\" class=\"small\">"
        << markupEscaped(notes) << "</text>\n";
  }
  const Point n{o.x + kPanel - 28, o.y + 46};
  out << "<path d=\"M" << num(n.x) << " " << num(n.y - 18) << " L" << num(n.x + 7) << " "
      << num(n.y) << " L" << num(n.x) << " " << num(n.y - 5) << " L" << num(n.x - 7) << " "
      << num(n.y) << " Z\" fill=\"#3b2a14\"/>\n";
  out << "<text x=\"" << num(n.x) << "\" y=\"" << num(n.y + 14)
      << "\" class=\"small\" text-anchor=\"middle\">N</text>\n";
  const Point s{o.x + 16, o.y + kPanel - 18};
  out << "<path d=\"M" << num(s.x) << " " << num(s.y - 5) << " V" << num(s.y) << " H"
      << num(s.x + 5 * kScale) << " V" << num(s.y - 5)
      << "\" fill=\"none\" stroke=\"#3b2a14\" stroke-width=\"1.5\"/>\n";
  out << "<text x=\"" << num(s.x + 5 * kScale + 6) << "\" y=\"" << num(s.y)
      << "\" class=\"small\">5 m</text>\n";
  out << "</g>\n";
}

void writeLegend(const Analysis& analysis, double x, double y, std::ostream& out) {
  std::vector<const Style*> used;
  for (const Style& style : kStyles) {
    const auto count = std::count_if(analysis.fates.begin(), analysis.fates.end(),
                                     [&](const PedFate& f) { return f.fate == style.fate; });
    if (count > 0) used.push_back(&style);
  }
  const double height = 56 + 24.0 * (used.size() + 4);
  out << "<g>\n<rect x=\"" << num(x) << "\" y=\"" << num(y) << "\" width=\""
      << num(kLegendWidth - 16) << "\" height=\"" << num(height)
      << "\" fill=\"#fffaf0\" stroke=\"#6b4f2a\" stroke-width=\"1.5\" rx=\"6\"/>\n";
  out << "<text x=\"" << num(x + 14) << "\" y=\"" << num(y + 26)
      << "\" class=\"caption\">Legend</text>\n";
  double line = y + 54;
  for (const Style* style : used) {
    const auto count = std::count_if(analysis.fates.begin(), analysis.fates.end(),
                                     [&](const PedFate& f) { return f.fate == style->fate; });
    PedFate sample;
    sample.fate = style->fate;
    out << marker({x + 24, line - 4}, sample, style->fate != Fate::NotHuman, false) << "\n";
    out << "<text x=\"" << num(x + 42) << "\" y=\"" << num(line) << "\" class=\"name\">"
        << markupEscaped(style->legend) << " (" << count << ")</text>\n";
    line += 24;
  }
  out << starPath({x + 24, line - 4}) << "\n";
  out << "<text x=\"" << num(x + 42) << "\" y=\"" << num(line)
      << "\" class=\"name\">trigger event (times: see caption)</text>\n";
  line += 24;
  out << "<path d=\"M" << num(x + 12) << " " << num(line - 4) << " H" << num(x + 36)
      << "\" stroke=\"#8b1a1a\" stroke-width=\"1.6\" marker-end=\"url(#fight)\"/>\n";
  out << "<text x=\"" << num(x + 42) << "\" y=\"" << num(line)
      << "\" class=\"name\">sent to fight</text>\n";
  line += 24;
  out << "<path d=\"M" << num(x + 12) << " " << num(line - 4) << " H" << num(x + 36)
      << "\" stroke=\"#b07d00\" stroke-width=\"3\" stroke-dasharray=\"7 4\" "
         "marker-end=\"url(#flee)\"/>\n";
  out << "<text x=\"" << num(x + 42) << "\" y=\"" << num(line)
      << "\" class=\"name\">flight, away from the player</text>\n";
  line += 24;
  out << "<circle cx=\"" << num(x + 24) << "\" cy=\"" << num(line - 4)
      << "\" r=\"7\" fill=\"#f7f1e3\" stroke=\"#6f7c80\" stroke-width=\"2\"/>\n";
  out << "<text x=\"" << num(x + 42) << "\" y=\"" << num(line)
      << "\" class=\"name\">hollow: off the map, or not there</text>\n";
  out << "</g>\n";
}

}  // namespace

void writeSvgMap(const Run& run, const Analysis& analysis, std::ostream& out) {
  std::vector<std::size_t> rows;
  for (const Detection& d : analysis.detections) {
    if (std::find(rows.begin(), rows.end(), d.row) == rows.end()) rows.push_back(d.row);
  }
  for (const PedFate& fate : analysis.fates) {
    if (std::find(rows.begin(), rows.end(), fate.saloon) == rows.end()) rows.push_back(fate.saloon);
  }
  if (rows.empty()) rows.push_back(0);

  const std::size_t columns = std::min<std::size_t>(rows.size(), 2);
  const std::size_t lines = (rows.size() + columns - 1) / columns;
  const double width = kMargin + columns * (kPanel + kMargin) + kLegendWidth;
  const double height = kTitleHeight + lines * (kPanel + kMargin) + kMargin / 2;

  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(width) << "\" height=\""
      << num(height) << "\" viewBox=\"0 0 " << num(width) << " " << num(height) << "\">\n";
  out << "<title>" << markupEscaped("Fraywick: " + run.scenario.title) << "</title>\n";
  out << R"(<style>
  text { font-family: 'DejaVu Sans', Verdana, sans-serif; fill: #2b1d0e; }
  .title { font-size: 24px; font-weight: bold; }
  .subtitle { font-size: 13px; fill: #5a4630; }
  .caption { font-size: 15px; font-weight: bold; }
  .name { font-size: 12px; paint-order: stroke; stroke: #f7f1e3; stroke-width: 3px; stroke-linejoin: round; }
  .small { font-size: 10.5px; fill: #5a4630; }
  .ring { font-size: 11px; text-anchor: middle; font-style: italic; }
</style>
)";
  writeDefs(out);
  out << "<rect width=\"100%\" height=\"100%\" fill=\"#efe6d0\"/>\n";
  out << "<text x=\"" << num(kMargin) << "\" y=\"36\" class=\"title\">"
      << markupEscaped("Fraywick: " + run.scenario.title) << "</text>\n";
  std::string subtitle;
  if (analysis.detections.empty()) {
    subtitle = "No trigger event was detected at any saloon.";
  } else {
    const std::size_t brawlers =
        std::count_if(analysis.fates.begin(), analysis.fates.end(),
                      [](const PedFate& f) { return f.fate == Fate::Brawler; });
    subtitle = std::to_string(analysis.detections.size()) +
               (analysis.detections.size() == 1 ? " saloon" : " saloons") + " brawled; " +
               std::to_string(brawlers) + " brawlers. Top-down, north up, grid lines every 5 m.";
  }
  out << "<text x=\"" << num(kMargin) << "\" y=\"60\" class=\"subtitle\">"
      << markupEscaped(subtitle) << "</text>\n";

  for (std::size_t i = 0; i < rows.size(); ++i) {
    Panel panel;
    panel.row = rows[i];
    panel.origin = {kMargin + (i % columns) * (kPanel + kMargin),
                    kTitleHeight + (i / columns) * (kPanel + kMargin)};
    panel.centre = atlasSaloons()[rows[i]].point;
    writePanel(run, analysis, panel, out);
  }
  writeLegend(analysis, kMargin + columns * (kPanel + kMargin), kTitleHeight, out);
  out << "</svg>\n";
}

}  // namespace fraywick::demo
