// The simulated game world behind the simulated script hook.
//
// Tests and tools describe a world (peds, events, a guard schedule, a clock, a random source),
// drive the plug-in one script tick at a time through sim/host.h, and read back what the plug-in
// did: every hook and native call in order, and the effects of the natives on the peds.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#if defined(FRAYWICK_SIM_BUILDING)
#define SIM_API __declspec(dllexport)
#else
#define SIM_API __declspec(dllimport)
#endif
#else
#define SIM_API __attribute__((visibility("default")))
#endif

namespace sim {

struct Vec3 {
  float x = 0;
  float y = 0;
  float z = 0;
};

// What the natives did to a ped; read back by tests and by the demo's report.
struct PedEffects {
  bool invincibleCleared = false;     // setEntityInvincible(p, 0)
  bool tasksCleared = false;          // clearTasks
  bool eventBlockingCleared = false;  // setEventBlocking(p, 0)
  std::optional<std::int32_t> fleeingFrom;
  bool weaponsRemoved = false;
  std::optional<std::uint32_t> equippedWeapon;
  std::vector<int> combatAttributes;  // setConfigFlag(p, n, 1), in the order they were set
  std::optional<std::uint32_t> relationshipGroup;
  std::optional<std::int32_t> fightTarget;
};

struct Ped {
  std::int32_t handle = 0;
  bool exists = true;
  bool player = false;
  bool human = true;
  bool male = true;
  Vec3 position;
  std::uint32_t model = 0;
  std::string label;  // for reports only
  PedEffects effects;
};

struct Event {
  std::uint32_t type = 0;
  Vec3 position;
  std::uint64_t activeFrom = 0;   // virtual ms, inclusive
  std::uint64_t activeUntil = 0;  // virtual ms, exclusive
};

// queryByName("mudtown2") answers `value` while the clock is in [from, until).
struct GuardSpan {
  std::uint64_t from = 0;
  std::uint64_t until = 0;
  std::int32_t value = 0;
};

enum class CallKind {
  ScriptRegister,
  ScriptUnregister,
  ScriptWait,
  KeyboardHandlerRegister,
  KeyboardHandlerUnregister,
  WorldGetAllPeds,
  Native,
};

// Defined here, not exported: a reader of recordings that loads no hook names calls with it too.
inline const char* callKindName(CallKind kind) {
  switch (kind) {
    case CallKind::ScriptRegister:
      return "scriptRegister";
    case CallKind::ScriptUnregister:
      return "scriptUnregister";
    case CallKind::ScriptWait:
      return "scriptWait";
    case CallKind::KeyboardHandlerRegister:
      return "keyboardHandlerRegister";
    case CallKind::KeyboardHandlerUnregister:
      return "keyboardHandlerUnregister";
    case CallKind::WorldGetAllPeds:
      return "worldGetAllPeds";
    case CallKind::Native:
      return "native";
  }
  return "?";
}

// One call the plug-in made into the hook. For a native call: the hash, every pushed slot and
// the first result slots as the native left them. For the hook's own functions: their arguments
// (pointers as addresses) and, for worldGetAllPeds, the count it returned.
struct Call {
  CallKind kind = CallKind::Native;
  std::uint64_t hash = 0;
  std::vector<std::uint64_t> args;
  std::vector<std::uint64_t> results;
  bool unknownNative = false;
};

// The game's name hash: Jenkins one-at-a-time over the ASCII-lower-cased bytes. Defined here, as
// callKindName is, for the reader of recordings that loads no hook.
inline std::uint32_t hashOfName(const char* name) {
  std::uint32_t hash = 0;
  for (const char* c = name; *c != '\0'; ++c) {
    unsigned char byte = static_cast<unsigned char>(*c);
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte - 'A' + 'a');
    hash += byte;
    hash += hash << 10;
    hash ^= hash >> 6;
  }
  hash += hash << 3;
  hash ^= hash >> 11;
  hash += hash << 15;
  return hash;
}

// The name of a native for traces and reports ("isEventInSphere"), or nullptr if unknown; the
// plug-in's catalogue (host/natives.h) is where it comes from, as are the hashes the world answers.
SIM_API const char* nativeName(std::uint64_t hash);

// Answers from elsewhere than the world's peds and events: a recorded session that is replayed
// (fraywick-sim --replay). While a World has one, every call the plug-in makes goes to it.
class SIM_API Answers {
 public:
  virtual ~Answers() = default;
  // Fills the result slots of a native call with the slots it was pushed.
  virtual void native(std::uint64_t hash, const std::uint64_t* slots, std::size_t count,
                      std::uint64_t* results) = 0;
  // Fills `peds` (room for `capacity`) and returns the count, as worldGetAllPeds.
  virtual int peds(int* peds, int capacity) = 0;
  // What GetTickCount64 answers the plug-in.
  virtual std::uint64_t clock() = 0;
  // The hook's other functions (registration, scriptWait), with their arguments.
  virtual void hookCall(CallKind kind, const std::vector<std::uint64_t>& args) = 0;
};

class SIM_API World {
 public:
  World();

  // ----- the scenario -----
  std::vector<Ped> peds;  // in the order worldGetAllPeds delivers them
  std::vector<Event> events;
  std::vector<GuardSpan> guard;
  std::uint64_t clockMs = 10'000'000;  // GetTickCount64; GetTickCount is its low half
  std::uint64_t clockStepMs = 16;      // added after every script tick
  std::uint64_t randomSeed = 1;

  // ----- knobs for tests of a misbehaving host -----
  std::deque<std::int32_t> forcedRandom;       // answers randomInRange before the generator
  std::optional<std::int32_t> forcedPedCount;  // what worldGetAllPeds returns, whatever it filled
  std::uint32_t resultHighHalf = 0;            // written into the high half of result slots
  std::function<void(World&, const Call&)> afterNative;  // runs after each native is answered
  Answers* answers = nullptr;  // when set, answers every call in place of the world

  // ----- recording -----
  bool recording = true;  // off: nothing is stored per call (benchmarks)
  // Off: natives without a result leave the world as it is. Together with recording off and no
  // afterNative this is the null game of the benchmarks: natives answer what they always answer,
  // at the least cost, and the hook allocates nothing.
  bool effects = true;
  std::vector<Call> calls;
  std::vector<std::string> errors;  // unknown natives and other misuse of the protocol

  // ----- effects of the natives beyond the peds -----
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::int32_t> groupRelationships;

  Ped& addPed(const Ped& ped);
  // The ped with this handle. A world's handles are meant to be unique: the lookup first tries
  // where the last one ended (the plug-in asks about one ped several times, then about the next),
  // so when two peds share a handle, which of them answers may depend on the lookups before.
  Ped* findPed(std::int32_t handle);
  std::int32_t nextHandle() const;

  // ----- the protocol, as the hook's functions forward it -----
  void nativeInit(std::uint64_t hash);
  void nativePush64(std::uint64_t slot);
  std::uint64_t* nativeCall();
  int worldGetAllPeds(int* peds, int capacity);
  void recordHookCall(CallKind kind, std::vector<std::uint64_t> args);

  // Counts calls by kind and, for natives, by hash.
  std::size_t countNative(std::uint64_t hash) const;
  std::size_t countKind(CallKind kind) const;

  std::uint32_t nextRandom();

 private:
  static constexpr std::size_t kMaxSlots = 32;
  void answer();
  // Kept out of line: the null game must not pay for building a record it does not keep.
  [[gnu::noinline]] void recordNative();

  std::uint64_t hash_ = 0;
  bool inCall_ = false;
  std::array<std::uint64_t, kMaxSlots> args_{};
  std::size_t argCount_ = 0;
  std::array<std::uint64_t, kMaxSlots> results_{};
  // What every result slot beyond the first three holds: answers only ever write slots 0 to 2,
  // so the rest need refilling only when the high half changes.
  std::uint64_t restOfResults_ = 0;
  std::size_t lookupHint_ = 0;
  std::uint64_t rngState_ = 0;
  bool rngSeeded_ = false;
};

}  // namespace sim
