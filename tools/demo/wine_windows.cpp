// The Windows build is what --wine runs; it has no Wine of its own to start.
#include <filesystem>

#include "demo/wine.h"

namespace fraywick::demo {

std::string windowsBinDirectory() {
  return {};
}

std::string pathForWine(const std::string& path) {
  return std::filesystem::absolute(path).string();
}

int runUnderWine(const std::string&, const std::string&, const std::vector<std::string>&,
                 std::string& error) {
  error = "--wine starts the Windows build from the Linux one; this is the Windows build already";
  return -1;
}

}  // namespace fraywick::demo
