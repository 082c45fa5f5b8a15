// Fuzzes the reader of the diagnostic build's recordings (fraywick-sim --explain / --replay). Any
// bytes must either read or get one message naming a line and what was expected. A recording that
// reads must make a run that the analysis and the report take without a fault; what it reads must
// say so when it was cut short; and every prefix of it either reads as cut short, explained with
// the note that says where, or gets that one message, or reads whole where it ends on its final
// line short of that line's end: never anything worse.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "demo/analysis.h"
#include "demo/recording.h"
#include "demo/report.h"

namespace {

using fraywick::demo::RecordedStep;
using fraywick::demo::Recording;
using fraywick::demo::ScenarioError;

[[noreturn]] void broken(const char* what, int line) {
  std::fprintf(stderr, "recording_fuzz: invariant broken at line %d: %s\n", line, what);
  std::abort();
}
#define CHECK(condition) ((condition) ? void(0) : broken(#condition, __LINE__))

int lineCount(std::string_view bytes) {
  int lines = 1;
  for (const char c : bytes) lines += c == '\n';
  return lines;
}

bool reads(std::string_view bytes, Recording& recording, ScenarioError& error) {
  const bool ok = fraywick::demo::parseRecording(bytes, "fuzz.txt", recording, error);
  if (!ok) {
    // One message: the file, a line within it (or just past its end), what was expected.
    CHECK(error.file == "fuzz.txt");
    CHECK(error.line >= 1 && error.line <= lineCount(bytes) + 1);
    CHECK(error.message.starts_with("expected "));
    CHECK(error.message.find('\n') == std::string::npos);
  }
  return ok;
}

// The explanation of what read, as fraywick-sim --explain gives it: the run, its analysis and the
// report, which names the cut of a recording cut short.
void explains(const Recording& recording) {
  const fraywick::demo::Run run = fraywick::demo::runOfRecording(recording);
  CHECK(run.calls.size() == recording.calls);
  CHECK(run.loadCalls <= run.unloadFirst && run.unloadFirst <= run.calls.size());
  for (const fraywick::demo::Frame& frame : run.frames) {
    CHECK(frame.firstCall <= frame.endCall && frame.endCall <= run.calls.size());
  }
  bool analysed = false;
  std::ostringstream report;
  try {
    const fraywick::demo::Analysis analysis = fraywick::demo::analyse(run);
    analysed = analysis.fates.size() == run.scenario.peds.size();
    fraywick::demo::writeReport(run, analysis, report);
  } catch (...) {
    analysed = false;
  }
  CHECK(analysed);
  const std::string note = fraywick::demo::cutNote(recording);
  CHECK(note.empty() != recording.cut.has_value());
  CHECK(note.empty() || report.str().find("  ends      " + note + "\n") != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Recording recording;
  ScenarioError error;
  if (!reads(bytes, recording, error)) return 0;

  // What read is whole up to its final line (which may lack its newline), or was cut short and
  // keeps only complete frames; its steps count its calls and frames.
  const std::string_view lastLine = bytes.substr(bytes.rfind('\n') + 1);
  CHECK(recording.cut.has_value() || lastLine.empty() || lastLine.starts_with("end ") ||
        lastLine.starts_with("capped "));
  std::size_t calls = 0;
  int lastFrame = 0;
  for (const RecordedStep& step : recording.steps) {
    calls += step.kind == RecordedStep::Kind::Call;
    CHECK(step.frame >= -1 && step.frame <= recording.frames);
    CHECK(!recording.cut || step.frame <= recording.cut->afterFrame);
    CHECK(step.frame == -1 || step.frame >= lastFrame);
    CHECK(lastFrame != -1 || step.frame == -1);
    lastFrame = step.frame;
    CHECK(!fraywick::demo::describeStep(step).empty());
  }
  CHECK(calls == recording.calls);
  explains(recording);

  // Cut from its end, it reads as cut short or gets the one message (reads() checks that). It
  // reads whole only where it ends on its own final line, short of that line's end: a whole
  // recording that lost only its last line end, or one whose final line had more after it.
  for (const std::size_t length : {size - 1, size / 2}) {
    const std::string_view prefix = bytes.substr(0, length);
    Recording cut;
    if (!reads(prefix, cut, error)) continue;
    explains(cut);
    if (cut.cut) {
      CHECK(cut.frames <= recording.frames);
      continue;
    }
    const std::string_view last = prefix.substr(prefix.rfind('\n') + 1);
    CHECK(last.starts_with("end ") || last.starts_with("capped "));
    const bool lineEndLost =
        bytes.substr(length).find_first_not_of("\r\n") == std::string_view::npos;
    CHECK(recording.cut.has_value() || (lineEndLost && cut.steps.size() == recording.steps.size()));
  }
  return 0;
}
