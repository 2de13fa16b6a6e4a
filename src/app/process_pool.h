#pragma once
// Child processes run a few at a time, each one's standard output collected whole, handed on
// in the order the children were listed however they finish.

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tolmar {

struct ChildRun {
  explicit ChildRun(std::vector<std::string> arguments) : args(std::move(arguments)) {}

  std::vector<std::string> args;  // args[0] is the program, a path
  std::string out;                // its standard output
  bool started = false;
  int startError = 0;  // errno when it could not be started
  bool done = false;
  int exitStatus = -1;  // -1 when it did not exit by itself (a signal)
  bool ok() const { return done && exitStatus == 0; }
};

struct PoolCalls {
  // True when the later child must not start while the earlier one runs (both edit one file).
  std::function<bool(std::size_t earlier, std::size_t later)> clash;
  // A child that could not be started; it counts as done, with no output.
  std::function<void(std::size_t)> startFailed;
  // Child i has ended (its output is complete), in the order children end.
  std::function<void(std::size_t)> ended;
  // Child i and every child before it are done: called once for each, in list order.
  std::function<void(std::size_t)> ready;
  // After every wake-up while children remain: how many have finished.
  std::function<void(std::size_t finished)> waiting;
};

// Runs every child, at most `limit` at once, and returns when all are done.
void runChildren(std::vector<ChildRun>& children, int limit, const PoolCalls& calls);

}  // namespace tolmar
