#include "support/raised_exceptions.h"

#include <windows.h>

#include <atomic>

namespace fraywick::testing {
namespace {

std::atomic<int> raisedCount{0};
std::atomic<int> threadNameCount{0};
std::atomic<std::uint32_t> firstRaised{0};

LONG WINAPI countException(EXCEPTION_POINTERS* info) {
  const std::uint32_t code = info->ExceptionRecord->ExceptionCode;
  std::uint32_t none = 0;
  firstRaised.compare_exchange_strong(none, code);
  raisedCount.fetch_add(1);
  if (code != kThreadNameException) return EXCEPTION_CONTINUE_SEARCH;
  // Nothing else in a test program would catch it.
  threadNameCount.fetch_add(1);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

RaisedExceptions::RaisedExceptions() {
  raisedCount = 0;
  threadNameCount = 0;
  firstRaised = 0;
  handler_ = AddVectoredExceptionHandler(1, countException);
}

RaisedExceptions::~RaisedExceptions() {
  RemoveVectoredExceptionHandler(handler_);
}

int RaisedExceptions::count() const {
  return raisedCount;
}

int RaisedExceptions::threadNames() const {
  return threadNameCount;
}

std::uint32_t RaisedExceptions::firstCode() const {
  return firstRaised;
}

}  // namespace fraywick::testing
