// The recording layer of the diagnostic build, Fraywick-diag: it sits between the plug-in and the
// script hook, forwards every call unchanged, and writes down what the plug-in asked and what the
// game answered, so that a player's session can be explained and replayed later
// (fraywick-sim --explain / --replay; docs/diagnostics.md).
//
// hook.h binds the plug-in's nine hook declarations and its GetTickCount64 read to the
// fraywickDiag_ functions below when the plug-in is compiled with FRAYWICK_DIAG_RECORDING. This
// file is compiled without it: the calls it makes reach the real hook.
//
// It runs inside the game: it throws nothing, allocates one buffer per load (freed at detach),
// and stops for good, leaving the plug-in to go on alone, when the file cannot be written or the
// recording reaches its size cap. A load moves the recordings of earlier loads aside, and hands
// its first lines to the operating system, when the script starts, before the plug-in's first
// native call; each frame's lines follow at the frame's scriptWait. So a crash or a forced quit
// loses at most the frame in progress, even in the first frame. The format is written once, in
// recording_format.h.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diag/native_signatures.h"
#include "diag/recording_format.h"
#include "host/hook.h"

#ifndef FRAYWICK_RECORDING_CAP
#define FRAYWICK_RECORDING_CAP (256ull << 20)
#endif
#ifndef FRAYWICK_VERSION
#define FRAYWICK_VERSION "0.0.0"
#endif
#ifndef FRAYWICK_BUILD_ID
#define FRAYWICK_BUILD_ID "unknown"
#endif

namespace fraywick::diag {
namespace {

constexpr std::uint64_t kCapBytes = FRAYWICK_RECORDING_CAP;
// The recordings of earlier loads together: three full ones. With the newest, a player's disk
// never holds more than four.
constexpr std::uint64_t kEarlierBytes = 3 * kCapBytes;
// Written out at every scriptWait. A brawl frame of 256 peds writes about 10 MB: only a frame
// that fills the buffer whole is written out in the middle.
constexpr std::size_t kBufferBytes = 4u << 20;
// The longest line but the start line: a snapshot of 256 handles.
constexpr std::size_t kLongestCallLine = 4096;
constexpr std::size_t kMaxSlots = 32;
constexpr std::size_t kMaxPeds = 256;
constexpr std::size_t kMaxText = 255;

enum class Phase : std::uint8_t { Off, Load, Running, Unload, Stopped };

// Addresses differ from load to load; the recording numbers them in order of appearance, as the
// trace does. A handful is all one load ever passes.
struct Tokens {
  std::uint64_t seen[8];
  std::size_t count;
};

struct Recorder {
  Phase phase;
  char* buffer;
  std::size_t used;
  std::FILE* file;
  std::uint64_t flushed;  // bytes already in the file
  std::uint64_t records;  // lines after the header
  std::uint64_t frame;    // 1 + the scriptWaits so far
  ScriptMain entry;       // the plug-in's script entry, run by recordedEntry
  // The native call being made.
  std::uint64_t hash;
  std::uint64_t slots[kMaxSlots];
  std::size_t slotCount;
  Tokens modules;
  Tokens functions;
};

// Zero-initialised with the module, like the plug-in's own state: Phase::Off.
Recorder recorder;

// ----- building lines in the buffer -----

void put(const char* text, std::size_t length) {
  std::memcpy(recorder.buffer + recorder.used, text, length);
  recorder.used += length;
}
void put(const char* text) {
  put(text, std::strlen(text));
}
void putChar(char c) {
  recorder.buffer[recorder.used++] = c;
}

void putHex(std::uint64_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char* out = recorder.buffer + recorder.used;
  out[0] = '0';
  out[1] = 'x';
  for (int i = digits - 1; i >= 0; --i) {
    out[2 + i] = kDigits[value & 0xF];
    value >>= 4;
  }
  recorder.used += 2 + static_cast<std::size_t>(digits);
}

void putDecimal(std::uint64_t value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) putChar(digits[--n]);
}

void putToken(Tokens& tokens, const char* kind, std::uint64_t address) {
  putChar(' ');
  if (address == 0) {
    put("null");
    return;
  }
  std::size_t number = 0;
  while (number < tokens.count && tokens.seen[number] != address) ++number;
  if (number == tokens.count && tokens.count < sizeof tokens.seen / sizeof tokens.seen[0]) {
    tokens.seen[tokens.count++] = address;
  }
  put(kind);
  putChar('#');
  putDecimal(number + 1);
}

// A text as the trace shows it: in double quotes, '"' and '\' escaped, any other byte outside
// printable ASCII as \xNN.
void putQuotedByte(unsigned char byte) {
  if (byte == '"' || byte == '\\') {
    putChar('\\');
    putChar(static_cast<char>(byte));
  } else if (byte < 0x20 || byte >= 0x7F) {
    putChar('\\');
    putChar('x');
    static constexpr char kDigits[] = "0123456789ABCDEF";
    putChar(kDigits[byte >> 4]);
    putChar(kDigits[byte & 0xF]);
  } else {
    putChar(static_cast<char>(byte));
  }
}

void putWhen() {
  switch (recorder.phase) {
    case Phase::Load:
      put("load");
      return;
    case Phase::Unload:
      put("unload");
      return;
    default:
      putDecimal(recorder.frame);
      return;
  }
}

// ----- earlier recordings -----

// "Fraywick-recording.txt" for 0, "Fraywick-recording-N.txt" for the earlier ones.
struct RecordingName {
  char text[sizeof kEarlierRecordingStem + sizeof kRecordingExtension + 1];
};
static_assert(kEarlierKept < 10, "one digit per earlier recording");

RecordingName recordingName(int number) {
  RecordingName name{};
  if (number == 0) {
    static_assert(sizeof kRecordingFileName <= sizeof name.text);
    std::memcpy(name.text, kRecordingFileName, sizeof kRecordingFileName);
    return name;
  }
  char* out = name.text;
  std::memcpy(out, kEarlierRecordingStem, sizeof kEarlierRecordingStem - 1);
  out += sizeof kEarlierRecordingStem - 1;
  *out++ = static_cast<char>('0' + number);
  std::memcpy(out, kRecordingExtension, sizeof kRecordingExtension);
  return name;
}

// A file whose size ftell cannot tell (its long is 32 bits on Windows) is too big to keep.
constexpr std::int64_t kTooBigToKeep = static_cast<std::int64_t>(kEarlierBytes) + 1;

// Fraywick-recording.txt (0) and the earlier ones (1 to kEarlierKept).
constexpr int kPlaces = kEarlierKept + 1;

// What a name holds, as far as the C library tells. Only "nothing" is free to move a recording
// to or to start one at: natively rename replaces a file that is there, and fopen "wb" empties it.
enum class Held : std::uint8_t { Nothing, Recording, Other };

struct Place {
  Held held;
  std::int64_t size;  // of a recording
  // A rename or remove of it failed in this load: it stays where it is and keeps its place.
  bool stuck;
};

// A recording is a file that reads. Anything else there (a folder; a file the layer may not
// read) is left alone: never moved, removed or written over.
Place probe(int number) {
  const RecordingName name = recordingName(number);
  errno = 0;
  std::FILE* file = std::fopen(name.text, "rb");
  if (file == nullptr) return {errno == ENOENT ? Held::Nothing : Held::Other, 0, false};
  char first = 0;
  const bool readable = std::fread(&first, 1, 1, file) == 1 || std::ferror(file) == 0;
  long size = -1;
  if (readable && std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
  std::fclose(file);
  if (!readable) return {Held::Other, 0, false};
  return {Held::Recording, size < 0 ? kTooBigToKeep : size, false};
}

// A recording that cannot be removed (read-only, or held open, on Windows) stays where it is.
void drop(Place& place, int number) {
  if (std::remove(recordingName(number).text) == 0) {
    place = {Held::Nothing, 0, false};
  } else {
    place.stuck = true;
  }
}

// Before the first native call of a load: when Fraywick-recording.txt is taken, it moves to -1,
// each earlier one a number up; those beyond -kEarlierKept, or beyond kEarlierBytes together, go.
// A name that cannot be moved or removed stays where it is and costs only its own place: the
// others move on around it, each to the lowest free place above its own, the oldest first, so
// that none is ever renamed onto a name that holds something.
// Returns the file the new recording is written to: Fraywick-recording.txt or, when that name is
// still taken, the lowest free number, so the newest file is always the newest recording. Null
// when no name is free or none can be made.
std::FILE* makeRecordingFile() {
  Place places[kPlaces];
  for (int number = 0; number < kPlaces; ++number) places[number] = probe(number);

  std::int64_t total = 0;  // of the recordings that become earlier ones, the newest first
  for (int number = 0; number < kPlaces; ++number) {
    if (places[number].held != Held::Recording) continue;
    total += places[number].size;
    if (total > static_cast<std::int64_t>(kEarlierBytes)) drop(places[number], number);
  }

  // Nothing moves while the newest name is free.
  for (int number = places[0].held == Held::Nothing ? -1 : kPlaces - 1; number >= 0; --number) {
    Place& from = places[number];
    if (from.held != Held::Recording || from.stuck) continue;
    int to = number + 1;
    while (to < kPlaces && places[to].held != Held::Nothing) ++to;
    if (to == kPlaces) {
      drop(from, number);  // no place left for the oldest that can move
      continue;
    }
    // Asked once more right before: what holds nothing now is safe to rename onto.
    if (probe(to).held == Held::Nothing &&
        std::rename(recordingName(number).text, recordingName(to).text) == 0) {
      places[to] = from;
      from = {Held::Nothing, 0, false};
    } else {
      from.stuck = true;
    }
  }

  for (int number = 0; number < kPlaces; ++number) {
    if (places[number].held != Held::Nothing || probe(number).held != Held::Nothing) continue;
    if (std::FILE* file = std::fopen(recordingName(number).text, "wb")) return file;
  }
  return nullptr;
}

// ----- the file -----

void stop() {
  if (recorder.file != nullptr) std::fclose(recorder.file);
  recorder.file = nullptr;
  std::free(recorder.buffer);
  recorder.buffer = nullptr;
  recorder.used = 0;
  recorder.phase = Phase::Stopped;
}

// Hands the buffer to the operating system (fflush: the C runtime keeps nothing back), where it
// survives the process. The file is made at the first write, in the current directory, after the
// earlier recordings were moved aside. Any failure stops the recording: the plug-in goes on as
// the shipped one.
bool writeOut() {
  if (recorder.file == nullptr) {
    recorder.file = makeRecordingFile();
    if (recorder.file == nullptr) {
      stop();
      return false;
    }
  }
  if (recorder.used != 0 &&
      (std::fwrite(recorder.buffer, 1, recorder.used, recorder.file) != recorder.used ||
       std::fflush(recorder.file) != 0)) {
    stop();
    return false;
  }
  recorder.flushed += recorder.used;
  recorder.used = 0;
  return true;
}

bool recording() {
  return recorder.buffer != nullptr &&
         (recorder.phase == Phase::Load || recorder.phase == Phase::Running ||
          recorder.phase == Phase::Unload);
}

// Makes room for a line of at most `length` bytes. False when the recording has stopped.
bool room(std::size_t length) {
  if (!recording()) return false;
  if (recorder.used + length + 1 > kBufferBytes && !writeOut()) return false;
  return true;
}

void putFinalLine(const char* word) {
  put(word);
  putChar(' ');
  putDecimal(recorder.records);
  putChar('\n');
}

// Ends the line begun at `start`. A line that would carry the recording past its cap is dropped
// and the cap's final line written instead, and the recording stops.
void endLine(std::size_t start) {
  putChar('\n');
  constexpr std::size_t kFinalLine = sizeof kCappedWord + 24;
  if (recorder.flushed + recorder.used + kFinalLine > kCapBytes) {
    recorder.used = start;
    putFinalLine(kCappedWord);
    writeOut();
    stop();
    return;
  }
  ++recorder.records;
}

void begin() {
  recorder = Recorder{};
  recorder.buffer = static_cast<char*>(std::malloc(kBufferBytes));
  if (recorder.buffer == nullptr) {
    recorder.phase = Phase::Stopped;
    return;
  }
  recorder.phase = Phase::Load;
  recorder.frame = 1;
  put(kFormatLine);
  putDecimal(kFormatVersion);
  putChar('\n');
  put(kPluginLine);
  put(FRAYWICK_VERSION " build " FRAYWICK_BUILD_ID "\n");
}

// ----- the start of the script entry, with the Fraywick.ini it will find -----

constexpr char kSettingsFileName[] = "Fraywick.ini";

void recordStart() {
  if (!room(kLongestCallLine)) return;
  std::size_t start = recorder.used;
  putWhen();
  put(" start ini ");
  std::FILE* ini = std::fopen(kSettingsFileName, "rb");
  if (ini == nullptr) {
    put(kNoIniWord);
    endLine(start);
    return;
  }
  // The size first, so the reader knows how much text to expect.
  long size = -1;
  if (std::fseek(ini, 0, SEEK_END) == 0) size = std::ftell(ini);
  // Back to the start, or the text read would not be the file's: kept as a file not read.
  if (std::fseek(ini, 0, SEEK_SET) != 0) size = -1;
  if (size < 0 || static_cast<std::uint64_t>(size) > kMaxIniBytes) {
    std::fclose(ini);
    put(kIniNotKeptWord);
    putChar(' ');
    putDecimal(size < 0 ? 0 : static_cast<std::uint64_t>(size));
    endLine(start);
    return;
  }
  // Escaped, the file takes at most four bytes per byte.
  const std::size_t length = static_cast<std::size_t>(size);
  if (recorder.used + 4 * length + 64 > kBufferBytes) {
    recorder.used = start;
    if (!writeOut() || !room(kLongestCallLine)) {
      std::fclose(ini);
      return;
    }
    start = recorder.used;
    putWhen();
    put(" start ini ");
  }
  putDecimal(length);
  put(" \"");
  unsigned char chunk[1024];  // small: this runs on the script fiber's stack
  std::size_t total = 0;
  for (std::size_t got; total < length && (got = std::fread(chunk, 1, sizeof chunk, ini)) > 0;) {
    for (std::size_t i = 0; i < got && total < length; ++i, ++total) putQuotedByte(chunk[i]);
  }
  std::fclose(ini);
  // A file that shrank while it was read: its bytes are what they are, the count says so.
  while (total < length) {
    putQuotedByte(0);
    ++total;
  }
  putChar('"');
  endLine(start);
}

void recordedEntry() {
  if (recording()) {
    recorder.phase = Phase::Running;
    recordStart();
    // Out before the plug-in's first native call, which may be the one that crashes the game: the
    // recording then exists, cut short in frame 1, and the earlier ones have moved aside. Here on
    // the script fiber, not in the attach, which holds the loader's lock.
    if (recording()) writeOut();
  }
  if (recorder.entry != nullptr) recorder.entry();
}

// ----- one line per call -----

void recordHookCall(const char* name, std::uint64_t argument, Tokens* tokens, const char* kind) {
  if (!room(kLongestCallLine)) return;
  const std::size_t start = recorder.used;
  putWhen();
  putChar(' ');
  put(name);
  if (tokens != nullptr) {
    putToken(*tokens, kind, argument);
  } else {
    putChar(' ');
    putHex(argument, 16);
  }
  endLine(start);
}

void recordRegister(HMODULE module, ScriptMain entry) {
  if (!room(kLongestCallLine)) return;
  const std::size_t start = recorder.used;
  putWhen();
  put(" scriptRegister");
  putToken(recorder.modules, "module", reinterpret_cast<std::uintptr_t>(module));
  putToken(recorder.functions, "function", reinterpret_cast<std::uintptr_t>(entry));
  endLine(start);
}

void recordNative(const UINT64* results) {
  if (!room(kLongestCallLine)) return;
  const std::size_t start = recorder.used;
  const NativeSignature& info = nativeSignature(recorder.hash);
  putWhen();
  put(" native ");
  putHex(recorder.hash, 16);
  putChar(' ');
  put(info.name);
  for (std::size_t i = 0; i < recorder.slotCount; ++i) {
    putChar(' ');
    if (i == 0 && info.text && recorder.slots[0] != 0) {
      // The slot holds the address of the plug-in's own text, as the hook receives it.
      // NOLINTNEXTLINE(performance-no-int-to-ptr)
      const auto* text = reinterpret_cast<const unsigned char*>(recorder.slots[0]);
      putChar('"');
      for (std::size_t n = 0; n < kMaxText && text[n] != 0; ++n) putQuotedByte(text[n]);
      putChar('"');
    } else if (i == 0 && info.text) {
      put("null");
    } else {
      putHex(recorder.slots[i], 16);
    }
  }
  if (info.resultSlots > 0) {
    put(" ->");
    for (int i = 0; i < info.resultSlots; ++i) {
      putChar(' ');
      putHex(results != nullptr ? results[i] : 0, 16);
    }
  }
  endLine(start);
}

}  // namespace
}  // namespace fraywick::diag

using fraywick::diag::recorder;
namespace diag = fraywick::diag;

extern "C" {

void fraywickDiag_scriptRegister(HMODULE module, ScriptMain entry) {
  // The first call of every load: a fresh recording.
  if (recorder.phase != diag::Phase::Load && recorder.phase != diag::Phase::Running) diag::begin();
  recorder.entry = entry;
  diag::recordRegister(module, entry);
  scriptRegister(module, entry != nullptr ? diag::recordedEntry : nullptr);
}

void fraywickDiag_scriptUnregister(HMODULE module) {
  if (diag::recording()) recorder.phase = diag::Phase::Unload;
  diag::recordHookCall("scriptUnregister", reinterpret_cast<std::uintptr_t>(module),
                       &recorder.modules, "module");
  scriptUnregister(module);
}

void fraywickDiag_scriptWait(DWORD milliseconds) {
  diag::recordHookCall("scriptWait", milliseconds, nullptr, nullptr);
  ++recorder.frame;
  // The frame has ended: its lines leave the process now, before the game goes on.
  if (diag::recording()) diag::writeOut();
  scriptWait(milliseconds);
}

void fraywickDiag_nativeInit(UINT64 hash) {
  recorder.hash = hash;
  recorder.slotCount = 0;
  nativeInit(hash);
}

void fraywickDiag_nativePush64(UINT64 slot) {
  if (recorder.slotCount < diag::kMaxSlots) recorder.slots[recorder.slotCount++] = slot;
  nativePush64(slot);
}

UINT64* fraywickDiag_nativeCall() {
  UINT64* results = nativeCall();
  diag::recordNative(results);
  return results;
}

int fraywickDiag_worldGetAllPeds(int* peds, int capacity) {
  const int count = worldGetAllPeds(peds, capacity);
  if (!diag::room(diag::kLongestCallLine)) return count;
  const std::size_t start = recorder.used;
  diag::putWhen();
  diag::put(" worldGetAllPeds ");
  diag::putHex(static_cast<std::uint32_t>(capacity), 16);
  diag::put(" -> ");
  diag::putHex(static_cast<std::uint32_t>(count), 16);
  // The handles the plug-in goes on to read: as many as the count says, within its buffer.
  int shown = count < capacity ? count : capacity;
  if (shown > static_cast<int>(diag::kMaxPeds)) shown = static_cast<int>(diag::kMaxPeds);
  diag::put(" :");
  for (int i = 0; i < shown; ++i) {
    diag::putChar(' ');
    diag::putHex(static_cast<std::uint32_t>(peds[i]), 8);
  }
  diag::endLine(start);
  return count;
}

void fraywickDiag_keyboardHandlerRegister(KeyboardHandler handler) {
  diag::recordHookCall("keyboardHandlerRegister", reinterpret_cast<std::uintptr_t>(handler),
                       &recorder.functions, "function");
  keyboardHandlerRegister(handler);
}

void fraywickDiag_keyboardHandlerUnregister(KeyboardHandler handler) {
  diag::recordHookCall("keyboardHandlerUnregister", reinterpret_cast<std::uintptr_t>(handler),
                       &recorder.functions, "function");
  keyboardHandlerUnregister(handler);
  // The last call of the detach: the recording is complete.
  if (diag::room(diag::kLongestCallLine)) {
    diag::putFinalLine(diag::kEndWord);
    diag::writeOut();
  }
  if (recorder.phase != diag::Phase::Off) diag::stop();
}

UINT64 fraywickDiag_GetTickCount64() {
  const UINT64 now = GetTickCount64();
  if (!diag::room(diag::kLongestCallLine)) return now;
  const std::size_t start = recorder.used;
  diag::putWhen();
  diag::put(" GetTickCount64 -> ");
  diag::putHex(now, 16);
  diag::endLine(start);
  return now;
}

}  // extern "C"
