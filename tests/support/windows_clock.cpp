// On Windows the test program itself calls the plug-in's code (fraywick_core) directly, and that
// code reads the clock through this program's own KERNEL32 imports. They are pointed at the
// virtual clock before any test runs, as the simulated hook does for the loaded plug-in, so the
// same tests see the same time on both platforms.
#include <gtest/gtest.h>
#include <windows.h>

#include "sim/host.h"

namespace fraywick::testing {
namespace {

class VirtualClockForThisProgram : public ::testing::Environment {
 public:
  void SetUp() override {
    // The keyboard recorder alone imports GetTickCount, so there is always at least one entry.
    ASSERT_GE(sim::redirectClockImports(GetModuleHandleW(nullptr)), 1)
        << "the test program's clock imports could not be redirected";
  }
};

[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new VirtualClockForThisProgram);

}  // namespace
}  // namespace fraywick::testing
