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
#include "sim/host.h"

namespace fraywick::bench::diag {
namespace {

std::filesystem::path previousDir;
std::filesystem::path recordingDir;
Frame loopFrame = Frame::Idle;

// ScriptEntry's loop, without its settings read, over one kind of frame.
void frameLoop() {
  for (;;) {
    bench::prepareState(loopFrame);
    runScriptPass();
    scriptWait(0);
  }
}

}  // namespace

void prepareWorld(int frame) {
  bench::prepareWorld(static_cast<Frame>(frame));
}

void startRecording(int frame) {
  std::error_code ignored;
  previousDir = std::filesystem::current_path(ignored);
  recordingDir = std::filesystem::temp_directory_path(ignored) /
                 ("fraywick-bench-recording-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(recordingDir, ignored);
  std::filesystem::current_path(recordingDir, ignored);
  loopFrame = static_cast<Frame>(frame);
  attachPlugin(nullptr);
  // The benchmark's loop in ScriptEntry's place; the recording layer runs it as its entry.
  scriptRegister(nullptr, &frameLoop);
  sim::tick();
}

void stopRecording() {
  detachPlugin(nullptr);
  std::error_code ignored;
  std::filesystem::current_path(previousDir, ignored);
  std::filesystem::remove_all(recordingDir, ignored);
}

}  // namespace fraywick::bench::diag
