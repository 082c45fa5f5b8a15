// A top-down map of each saloon of a run: the trigger point with its 8 m event circle and 20 m
// recruitment circle, every ped as a marker coloured by its fate, an arrow from each brawler to
// the one it was sent to fight, the bartender's flight away from the player, a legend and a
// title. North is up; one panel per saloon that brawled or has peds standing at it.
#pragma once

#include <ostream>

#include "demo/analysis.h"
#include "demo/run.h"

namespace fraywick::demo {

void writeSvgMap(const Run& run, const Analysis& analysis, std::ostream& out);

}  // namespace fraywick::demo
