#include "support/run_batch.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace tolmar::test {

std::string shellQuoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

BatchRun runBatch(const std::string& args) {
  return runBatch(args, 0);
}

BatchRun runBatch(const std::string& args, int seconds) {
  BatchRun r;
  std::random_device rd;
  const auto errPath = std::filesystem::temp_directory_path() /
                       ("tolmar-batch-err-" + std::to_string(rd()) + std::to_string(rd()));
#ifdef TOLMAR_BATCH_EXE
  const std::string exe = TOLMAR_BATCH_EXE;
#else
  const std::string exe = "tolmar-batch";
#endif
  const std::string limit =
      seconds > 0 ? "timeout -s KILL " + std::to_string(seconds) + " " : std::string();
  const std::string cmd = limit + exe + " " + args + " 2>'" + errPath.string() + "' </dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream e(errPath);
  std::stringstream ss;
  ss << e.rdbuf();
  r.err = ss.str();
  std::error_code ec;
  std::filesystem::remove(errPath, ec);
  return r;
}

}  // namespace tolmar::test
