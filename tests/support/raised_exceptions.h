// Windows only: every exception raised anywhere in the process while one of these lives, counted
// by a vectored handler that goes first. On Windows a C++ throw is raised as well, so the game's
// crash reporters and the debuggers attached to it see it too.
#pragma once

#if defined(_WIN32)

#include <cstdint>

namespace fraywick::testing {

// The exception games and debuggers raise to name a thread.
inline constexpr std::uint32_t kThreadNameException = 0x406D1388;

class RaisedExceptions {
 public:
  // Registers the handler as the process's first; only one may live at a time.
  RaisedExceptions();
  ~RaisedExceptions();
  RaisedExceptions(const RaisedExceptions&) = delete;
  RaisedExceptions& operator=(const RaisedExceptions&) = delete;

  int count() const;
  // Of them, those that named a thread (kThreadNameException), which this handler takes as
  // handled, as a debugger would; every other exception goes on to the handlers after it.
  int threadNames() const;
  // The code of the first exception counted; 0 while there was none.
  std::uint32_t firstCode() const;

 private:
  void* handler_;
};

}  // namespace fraywick::testing

#endif  // _WIN32
