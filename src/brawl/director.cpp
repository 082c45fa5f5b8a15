#include "brawl/director.h"

namespace fraywick {

// Not built yet: the director lands with the saloon scan.
void runBrawlDirector() {}

}  // namespace fraywick
