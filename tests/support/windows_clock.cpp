// On Windows the test program itself calls the plug-in's code (fraywick_core) directly, and that
// code reads the clock through this program's own KERNEL32 imports. GetTickCount, which the
// keyboard recorder reads, is pointed at the virtual clock before any test runs, as the
// simulated hook does for the loaded plug-in, so the same tests see the same time on both
// platforms.
//
// GetTickCount64 stays real here: this program's statically linked thread library measures its
// timed waits with it, and on a clock that only moves with the script ticks a sleep or a timed
// wait would never end. (No code of the plug-in that reads it is called directly; the director
// runs inside the loaded plug-in, whose own imports are all redirected.)
#include <gtest/gtest.h>
#include <windows.h>

#include "sim/host.h"

namespace fraywick::testing {
namespace {

class VirtualClockForThisProgram : public ::testing::Environment {
 public:
  void SetUp() override {
    // The keyboard recorder imports GetTickCount, so there is exactly one entry.
    ASSERT_EQ(sim::redirectClockImports(GetModuleHandleW(nullptr), false), 1)
        << "the test program's clock imports could not be redirected";
  }
};

[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new VirtualClockForThisProgram);

}  // namespace
}  // namespace fraywick::testing
