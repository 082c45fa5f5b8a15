// The benchmark frames once more, compiled with the plug-in's names under fraywickDiag (see
// diag_side.h and bench/CMakeLists.txt): here runScriptPass and the director's state are the
// diagnostic build's.
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "diag_side.h"
#include "frames.cpp"
#include "plugin/script.h"

namespace fraywick::bench::diag {
namespace {

std::filesystem::path previousDir;
std::filesystem::path recordingDir;

}  // namespace

void prepareWorld(int frame) {
  bench::prepareWorld(static_cast<Frame>(frame));
}

void prepareState(int frame) {
  bench::prepareState(static_cast<Frame>(frame));
}

void pass() {
  runScriptPass();
}

void startRecording() {
  std::error_code ignored;
  previousDir = std::filesystem::current_path(ignored);
  recordingDir = std::filesystem::temp_directory_path(ignored) /
                 ("fraywick-bench-recording-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(recordingDir, ignored);
  std::filesystem::current_path(recordingDir, ignored);
  attachPlugin(nullptr);
}

void stopRecording() {
  detachPlugin(nullptr);
  std::error_code ignored;
  std::filesystem::current_path(previousDir, ignored);
  std::filesystem::remove_all(recordingDir, ignored);
}

}  // namespace fraywick::bench::diag
