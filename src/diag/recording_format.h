// The recording that the diagnostic build writes: its file name and the words that frame it.
// Both its writer (recorder.cpp, inside the game) and its reader (fraywick-sim) take them from
// here, and this is the one description of the format (docs/diagnostics.md tells what it is for).
// A short recording:
//
//   # Fraywick recording, format 1
//   # plugin 1.2.0-dev+615a85ebb8ff build Windows-x86_64 Clang-16.0.6 615a85ebb8ff
//   load scriptRegister module#1 function#1
//   load keyboardHandlerRegister function#2
//   1 start ini 30 "[Fraywick]\x0D\x0AFemaleBrawlers=1\x0D\x0A"
//   1 native 0xE97BD36574F8B0A6 queryByName "mudtown2" -> 0x0000000000000000
//   1 GetTickCount64 -> 0x0000000000989680
//   1 worldGetAllPeds 0x0000000000000100 -> 0x0000000000000002 : 0x00000011 0x00000012
//   1 scriptWait 0x0000000000000000
//   unload scriptUnregister module#1
//   unload keyboardHandlerUnregister function#2
//   end 9
//
// The plug-in line gives the version in words (1.2.0 for the release, 1.2.0-dev+<commit> for a
// build between releases), then the system, the compiler and the commit that built it.
// Native and hook lines are those of the trace, with every result slot in full and, for
// worldGetAllPeds, the handles the plug-in read. "start" marks each start of the script entry
// with the Fraywick.ini it found ("ini none": no file; "ini not-kept N": a file of N bytes, too
// big to keep). The last line is "end N" (N lines after the header) or, when the recording
// reached its size cap, "capped N"; a file without either was cut short, as when the game crashed
// or was killed: each frame's lines are written out when the frame ends, so such a file holds
// every frame but the one in progress.
//
// A load never overwrites an earlier recording: the newest is Fraywick-recording.txt, and the one
// before it moves to Fraywick-recording-1.txt, that one to -2, and so on up to -5; older ones go,
// and so do those that would take the earlier ones together past three full recordings. A name
// that cannot be moved stays and costs only its own place; where Fraywick-recording.txt is such
// a name, the newest takes the lowest free number instead: the newest is the file changed last.
#pragma once

#include <cstddef>

namespace fraywick::diag {

inline constexpr char kRecordingFileName[] = "Fraywick-recording.txt";
// The earlier ones: the stem, a number from 1 (the one before the newest) to kEarlierKept, then
// the extension.
inline constexpr char kEarlierRecordingStem[] = "Fraywick-recording-";
inline constexpr char kRecordingExtension[] = ".txt";
inline constexpr int kEarlierKept = 5;
inline constexpr int kFormatVersion = 1;
inline constexpr char kFormatLine[] = "# Fraywick recording, format ";
inline constexpr char kPluginLine[] = "# plugin ";
inline constexpr char kEndWord[] = "end";
inline constexpr char kCappedWord[] = "capped";
inline constexpr char kNoIniWord[] = "none";
inline constexpr char kIniNotKeptWord[] = "not-kept";
// A settings file larger than this is noted by its size only.
inline constexpr std::size_t kMaxIniBytes = 512u << 10;

}  // namespace fraywick::diag
