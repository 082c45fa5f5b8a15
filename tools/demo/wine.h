// Running the Windows build of fraywick-sim under Wine, from the native one.
#pragma once

#include <string>
#include <vector>

namespace fraywick::demo {

// Where the Windows build keeps fraywick-sim.exe and Fraywick.asi: FRAYWICK_WINDOWS_BIN if set,
// else build/windows/bin beside the build that holds this program.
std::string windowsBinDirectory();

// A path for a Windows program under Wine: made absolute, then put on Wine's Z: drive, which
// maps the whole Linux file system.
std::string pathForWine(const std::string& path);

// Runs `program` with `args` through the Wine launcher and waits for it. Returns its exit
// status, or -1 with `error` set when it could not be started.
int runUnderWine(const std::string& launcher, const std::string& program,
                 const std::vector<std::string>& args, std::string& error);

}  // namespace fraywick::demo
