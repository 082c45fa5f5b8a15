// The brawl director: watches the saloons and starts their brawls.
#pragma once

namespace fraywick {

// One pass of the director, made once per script tick while the guard allows it.
void runBrawlDirector();

}  // namespace fraywick
