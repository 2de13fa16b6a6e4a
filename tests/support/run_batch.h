#pragma once
// Runs the tolmar-batch executable and captures what it prints.

#include <string>
#include <vector>

namespace tolmar::test {

struct BatchRun {
  int status = -1;  // exit status, -1 when it did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// `args` is appended to the executable's path as shell text (quote paths yourself).
BatchRun runBatch(const std::string& args);
// The same, killed after `seconds` (a run that should end but might not: status 137 then).
BatchRun runBatch(const std::string& args, int seconds);

// `s` as one word of shell text, whatever it holds.
std::string shellQuoted(const std::string& s);
// The lines of a run's output, without their line ends.
std::vector<std::string> lines(const std::string& text);

}  // namespace tolmar::test
